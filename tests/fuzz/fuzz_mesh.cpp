// libFuzzer target of the mesh loaders: every Mesh of the input (read from
// memory) through D3DXLoadSkinMeshFromXof, what it made put to work (sort,
// draw, skin, ray), then the whole input as one mesh through
// D3DXLoadMeshFromXA from a file that lives in memory only (nothing is left
// behind, even when the run is killed).
#include <cstdint>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#include "platform/d3dx9/d3dx9.h"
#include "platform/testing.h"
#include "platform/xfile/dxfile.h"
#include "tests/support/device_fixtures.h"

namespace {

int g_budget;  // Mesh objects one input may make us load

IDirect3DDevice9* Device() {
    static IDirect3DDevice9* device = [] {
        platform_testing::XFileQuietReports(true);
        return device_fixtures::NullDevice(16, 16, false);
    }();
    return device;
}

void Exercise(ID3DXMesh* mesh, ID3DXSkinInfo* skin) {
    std::vector<DWORD> adjacency(size_t(mesh->GetNumFaces()) * 3);
    mesh->OptimizeInplace(D3DXMESHOPT_ATTRSORT, nullptr, adjacency.data(), nullptr, nullptr);
    mesh->DrawSubset(0);
    // The first query of new contents scans every face; the next ones search
    // the ray tree built for them.
    D3DXVECTOR3 origin(0, 0, -10), dir(0, 0, 1);
    for (int i = 0; i < 2; ++i) {
        BOOL hit = FALSE;
        float dist = 0;
        DWORD count = 0;
        ID3DXBuffer* all = nullptr;
        D3DXIntersect(mesh, &origin, &dir, &hit, nullptr, nullptr, nullptr, &dist, nullptr, nullptr);
        D3DXIntersect(mesh, &origin, &dir, &hit, nullptr, nullptr, nullptr, &dist, &all, &count);
        if (all) all->Release();
    }
    if (!skin) return;
    std::vector<D3DXMATRIX> bones(skin->GetNumBones() + 1);
    for (DWORD b = 0; b < skin->GetNumBones(); ++b) bones[b] = *skin->GetBoneOffsetMatrix(b);
    void* src = nullptr;
    if (FAILED(mesh->LockVertexBuffer(D3DLOCK_READONLY, &src))) return;
    std::vector<unsigned char> dst(size_t(mesh->GetNumVertices()) * mesh->GetNumBytesPerVertex());
    skin->UpdateSkinnedMesh(bones.data(), nullptr, src, dst.data());
    mesh->UnlockVertexBuffer();
}

void LoadMesh(IDirectXFileData* object, DWORD options) {
    if (--g_budget < 0) return;
    ID3DXBuffer *adjacency = nullptr, *materials = nullptr;
    DWORD numMaterials = 0;
    ID3DXSkinInfo* skin = nullptr;
    ID3DXMesh* mesh = nullptr;
    if (FAILED(D3DXLoadSkinMeshFromXof(object, options, Device(), &adjacency, &materials, nullptr, &numMaterials,
                                       &skin, &mesh)))
        return;
    if (materials) {
        auto* m = static_cast<const D3DXMATERIAL*>(materials->GetBufferPointer());
        for (DWORD i = 0; i < numMaterials; ++i)
            if (m[i].pTextureFilename) (void)std::string(m[i].pTextureFilename).size();
        materials->Release();
    }
    Exercise(mesh, skin);
    if (adjacency) adjacency->Release();
    if (skin) skin->Release();
    mesh->Release();
}

bool IsType(IDirectXFileData* d, const GUID& g) {
    const GUID* t = nullptr;
    return SUCCEEDED(d->GetType(&t)) && t && IsEqualGUID(*t, g);
}

// Meshes wherever they stand among data objects (references are not followed).
void Walk(IDirectXFileData* d, int depth, DWORD options) {
    if (g_budget < 0 || depth > 64) return;
    if (IsType(d, TID_D3DRMMesh)) {
        LoadMesh(d, options);
        return;
    }
    IDirectXFileObject* child = nullptr;
    while (SUCCEEDED(d->GetNextObject(&child))) {
        void* p = nullptr;
        if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileData, &p))) {
            Walk(static_cast<IDirectXFileData*>(p), depth + 1, options);
            static_cast<IDirectXFileData*>(p)->Release();
        }
        child->Release();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    static IDirectXFile* file = [] {
        IDirectXFile* f = nullptr;
        DirectXFileCreate(&f);
        f->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES);
        f->RegisterTemplates(D3DX9_XTEMPLATES, D3DX9_XTEMPLATE_BYTES);
        return f;
    }();
    Device();
    // The input's last byte picks the index width, so both paths get fuzzed.
    const DWORD options = D3DXMESH_SYSTEMMEM | ((size > 0 && (bytes[size - 1] & 1)) ? D3DXMESH_32BIT : 0);
    g_budget = 64;
    DXFILELOADMEMORY mem = {const_cast<uint8_t*>(bytes), static_cast<DWORD>(size)};
    IDirectXFileEnumObject* e = nullptr;
    if (SUCCEEDED(file->CreateEnumObject(&mem, DXFILELOAD_FROMMEMORY, &e))) {
        IDirectXFileData* d = nullptr;
        while (SUCCEEDED(e->GetNextDataObject(&d))) {
            Walk(d, 0, options);
            d->Release();
        }
        e->Release();
    }

    static const int fd = memfd_create("fuzz_mesh.x", 0);
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (fd >= 0 && ftruncate(fd, 0) == 0 && pwrite(fd, bytes, size, 0) == static_cast<ssize_t>(size)) {
        ID3DXBuffer *adjacency = nullptr, *materials = nullptr;
        DWORD numMaterials = 0;
        ID3DXMesh* mesh = nullptr;
        if (SUCCEEDED(D3DXLoadMeshFromXA(path.c_str(), options, Device(), &adjacency, &materials, nullptr,
                                         &numMaterials, &mesh))) {
            Exercise(mesh, nullptr);
            if (adjacency) adjacency->Release();
            if (materials) materials->Release();
            mesh->Release();
        }
    }
    return 0;
}
