// Mesh loading and software skinning: D3DXLoadSkinMeshFromXof on a
// character-sized skinned mesh and on a mesh of about 50,000 triangles,
// D3DXLoadMeshFromXA on the latter, and UpdateSkinnedMesh per frame for the
// character (the aim: well under 0.2 ms). The run tree's own Ninja.x is
// measured too when it has been generated.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/d3dx9/d3dx9.h"
#include "tests/support/device_fixtures.h"
#include "platform/xfile/dxfile.h"
#include "tools/xsamples/xsamples.h"

namespace {

IDirect3DDevice9* Device() {
    static IDirect3DDevice9* device = device_fixtures::NullDevice(16, 16, false);
    return device;
}

bool IsType(IDirectXFileData* d, const GUID& g) {
    const GUID* t = nullptr;
    return SUCCEEDED(d->GetType(&t)) && t && IsEqualGUID(*t, g);
}

// The first Mesh of a parsed file, top level or in frames; a fresh handle.
IDirectXFileData* FindMesh(IDirectXFileData* d) {
    if (IsType(d, TID_D3DRMMesh)) {
        d->AddRef();
        return d;
    }
    IDirectXFileData* found = nullptr;
    IDirectXFileObject* child = nullptr;
    while (!found && SUCCEEDED(d->GetNextObject(&child))) {
        IDirectXFileData* data = nullptr;
        if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileData, reinterpret_cast<void**>(&data)))) {
            found = FindMesh(data);
            data->Release();
        }
        child->Release();
    }
    return found;
}

IDirectXFileData* ParseAndFind(IDirectXFile* file, std::string& bytes) {
    DXFILELOADMEMORY mem = {&bytes[0], static_cast<DWORD>(bytes.size())};
    IDirectXFileEnumObject* e = nullptr;
    if (FAILED(file->CreateEnumObject(&mem, DXFILELOAD_FROMMEMORY, &e))) return nullptr;
    IDirectXFileData* mesh = nullptr;
    IDirectXFileData* top = nullptr;
    while (!mesh && SUCCEEDED(e->GetNextDataObject(&top))) {
        mesh = FindMesh(top);
        top->Release();
    }
    e->Release();
    return mesh;
}

IDirectXFile* Reader() {
    static IDirectXFile* file = [] {
        IDirectXFile* f = nullptr;
        DirectXFileCreate(&f);
        f->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES);
        return f;
    }();
    return file;
}

// The loader walks a handle's children once, so each round takes a fresh
// handle; the parse is outside the timing.
void LoadSkinMesh(benchmark::State& state, std::string bytes, DWORD options) {
    size_t faces = 0;
    for (auto _ : state) {
        state.PauseTiming();
        IDirectXFileData* object = ParseAndFind(Reader(), bytes);
        state.ResumeTiming();
        if (!object) {
            state.SkipWithError("no mesh");
            break;
        }
        ID3DXBuffer *adjacency = nullptr, *materials = nullptr;
        DWORD numMaterials = 0;
        ID3DXSkinInfo* skin = nullptr;
        ID3DXMesh* mesh = nullptr;
        HRESULT hr = D3DXLoadSkinMeshFromXof(object, options, Device(), &adjacency, &materials, nullptr,
                                             &numMaterials, &skin, &mesh);
        state.PauseTiming();
        object->Release();
        if (FAILED(hr)) {
            state.SkipWithError("the mesh did not load");
            state.ResumeTiming();
            break;
        }
        faces = mesh->GetNumFaces();
        for (IUnknown* p : {static_cast<IUnknown*>(adjacency), static_cast<IUnknown*>(materials),
                            static_cast<IUnknown*>(skin), static_cast<IUnknown*>(mesh)})
            if (p) p->Release();
        state.ResumeTiming();
    }
    state.counters["triangles"] = static_cast<double>(faces);
}

void LoadWholeFile(benchmark::State& state, std::string bytes) {
    const std::string path = "/tmp/bench_mesh_" + std::to_string(::getpid()) + ".x";
    std::ofstream(path, std::ios::binary) << bytes;
    for (auto _ : state) {
        ID3DXMesh* mesh = nullptr;
        ID3DXBuffer* adjacency = nullptr;
        if (FAILED(D3DXLoadMeshFromXA(path.c_str(), D3DXMESH_SYSTEMMEM, Device(), &adjacency, nullptr, nullptr,
                                      nullptr, &mesh))) {
            state.SkipWithError("the file did not load");
            break;
        }
        adjacency->Release();
        mesh->Release();
    }
    std::remove(path.c_str());
}

// One frame of the character's skinning, as the program runs it: the source
// locked read-only, the working copy locked for writing.
void Skin(benchmark::State& state, std::string bytes) {
    IDirectXFileData* object = ParseAndFind(Reader(), bytes);
    ID3DXSkinInfo* skin = nullptr;
    ID3DXMesh* mesh = nullptr;
    if (!object || FAILED(D3DXLoadSkinMeshFromXof(object, D3DXMESH_SYSTEMMEM, Device(), nullptr, nullptr, nullptr,
                                                  nullptr, &skin, &mesh)) ||
        !skin) {
        state.SkipWithError("no skinned mesh");
        if (object) object->Release();
        return;
    }
    object->Release();
    ID3DXMesh* copy = nullptr;
    mesh->CloneMeshFVF(0, mesh->GetFVF(), Device(), &copy);
    std::vector<D3DXMATRIX> bones(skin->GetNumBones());
    for (DWORD b = 0; b < bones.size(); ++b) {
        D3DXMATRIX turn;
        D3DXMatrixRotationY(&turn, 0.01f * b);
        D3DXMatrixMultiply(&bones[b], skin->GetBoneOffsetMatrix(b), &turn);
    }
    DWORD influences = 0;
    for (DWORD b = 0; b < skin->GetNumBones(); ++b) influences += skin->GetNumBoneInfluences(b);
    for (auto _ : state) {
        void *src = nullptr, *dst = nullptr;
        mesh->LockVertexBuffer(D3DLOCK_READONLY, &src);
        copy->LockVertexBuffer(0, &dst);
        skin->UpdateSkinnedMesh(bones.data(), nullptr, src, dst);
        copy->UnlockVertexBuffer();
        mesh->UnlockVertexBuffer();
        benchmark::ClobberMemory();
    }
    state.counters["vertices"] = mesh->GetNumVertices();
    state.counters["bones"] = static_cast<double>(bones.size());
    state.counters["influences"] = influences;
    copy->Release();
    skin->Release();
    mesh->Release();
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    xsamples::CharacterShape shape;
    shape.rings = 40;
    shape.sides = 40;  // 1,600 vertices, 3,161 triangles
    shape.bones = 20;
    shape.sets = 5;
    shape.keys = 30;
    const std::string character = xwriter::Write(xsamples::Character(shape), xwriter::Encoding::Binary);
    const std::string big = xwriter::Write(xsamples::BigMesh(50000), xwriter::Encoding::Binary);
    std::string ninja;
    if (std::ifstream in{BRANTO_RUN_TREE "/Data/Ninja.x", std::ios::binary})
        ninja.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());

    benchmark::RegisterBenchmark("LoadSkinMeshFromXof/character", LoadSkinMesh, character, D3DXMESH_SYSTEMMEM)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("LoadSkinMeshFromXof/mesh50k", LoadSkinMesh, big, D3DXMESH_SYSTEMMEM)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("LoadMeshFromXA/mesh50k", LoadWholeFile, big)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("UpdateSkinnedMesh/character", Skin, character)->Unit(benchmark::kMicrosecond);
    if (!ninja.empty()) {
        benchmark::RegisterBenchmark("LoadSkinMeshFromXof/Ninja.x", LoadSkinMesh, ninja, D3DXMESH_SYSTEMMEM)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("UpdateSkinnedMesh/Ninja.x", Skin, ninja)->Unit(benchmark::kMicrosecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
