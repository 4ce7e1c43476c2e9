// The X-file mesh loaders: one Mesh data object, or a whole file merged into one mesh.
#include <cmath>
#include <cstring>

#include "mesh.h"
#include "mesh_geometry.h"
#include "xfile_internal.h"
#include "skin_info.h"

namespace d3dx {

namespace {


// What a load makes, held until every part exists so that a failure leaves
// nothing behind.
struct LoadedParts {
    layer::ComPtr<ID3DXMesh> mesh;
    layer::ComPtr<ID3DXBuffer> adjacency;
    layer::ComPtr<ID3DXBuffer> materials;
    layer::ComPtr<ID3DXSkinInfo> skin;
};

// The platform's material records, with the texture names stored after them in
// the same buffer.
HRESULT MakeMaterialBuffer(const std::vector<MaterialRecord>& materials, layer::ComPtr<ID3DXBuffer>& out) {
    size_t bytes = materials.size() * sizeof(D3DXMATERIAL);
    for (const MaterialRecord& m : materials)
        if (m.hasTexture) bytes += m.texture.size() + 1;
    if (bytes > UINT32_MAX) return E_OUTOFMEMORY;
    ID3DXBuffer* buffer = nullptr;
    HRESULT hr = D3DXCreateBuffer(static_cast<DWORD>(bytes), &buffer);
    if (FAILED(hr)) return hr;
    out.reset(buffer);
    auto* base = static_cast<unsigned char*>(buffer->GetBufferPointer());
    auto* records = reinterpret_cast<D3DXMATERIAL*>(base);
    char* names = reinterpret_cast<char*>(base + materials.size() * sizeof(D3DXMATERIAL));
    for (size_t i = 0; i < materials.size(); ++i) {
        records[i].MatD3D = materials[i].material;
        records[i].pTextureFilename = nullptr;
        if (!materials[i].hasTexture) continue;
        std::memcpy(names, materials[i].texture.c_str(), materials[i].texture.size() + 1);
        records[i].pTextureFilename = names;
        names += materials[i].texture.size() + 1;
    }
    return S_OK;
}

// Why the geometry cannot become a mesh with these options; "" when it can.
std::string Unbuildable(const MeshGeometry& g, DWORD options) {
    if (g.NumVertices() == 0) return "has no vertices";
    if (g.NumFaces() == 0) return "has no faces to draw";
    if (!(options & D3DXMESH_32BIT) && g.NumVertices() > kMax16BitVertices)
        return "has " + std::to_string(g.NumVertices()) + " vertices, more than 16-bit indices reach";
    return std::string();
}

HRESULT MakeParts(const MeshGeometry& g, DWORD options, IDirect3DDevice9* device, bool wantAdjacency,
                  bool wantMaterials, bool wantSkin, LoadedParts& parts) {
    if (g.NumFaces() == 0 || g.NumVertices() == 0) return D3DXERR_LOADEDMESHASNODATA;
    if (!(options & D3DXMESH_32BIT) && g.NumVertices() > kMax16BitVertices) return D3DXERR_INVALIDDATA;
    HRESULT hr;
    Mesh* mesh = Mesh::Create(g.NumFaces(), g.NumVertices(), options, g.Fvf(), device, &hr);
    if (!mesh) return hr;
    parts.mesh.reset(mesh);

    const FvfLayout& l = mesh->Layout();
    void* data = nullptr;
    if (FAILED(hr = mesh->LockVertexBuffer(0, &data))) return hr;
    auto* vertices = static_cast<unsigned char*>(data);
    for (DWORD v = 0; v < g.NumVertices(); ++v) {
        unsigned char* at = vertices + size_t(v) * l.stride;
        std::memcpy(at, &g.positions[v].x, 12);
        if (l.normal >= 0) std::memcpy(at + l.normal, &g.normals[v].x, 12);
        if (l.diffuse >= 0) std::memcpy(at + l.diffuse, &g.colors[v], 4);
        if (l.tex[0] >= 0) std::memcpy(at + l.tex[0], &g.texCoords[v].x, 8);
    }
    mesh->UnlockVertexBuffer();
    if (FAILED(hr = mesh->LockIndexBuffer(0, &data))) return hr;
    const bool wide = mesh->Uses32BitIndices();
    for (size_t i = 0; i < g.indices.size(); ++i) WriteIndex(data, wide, i, g.indices[i]);
    mesh->UnlockIndexBuffer();
    mesh->Attributes() = g.attributes;

    if (wantAdjacency) {
        std::vector<DWORD> adjacency =
            ComputeAdjacency(reinterpret_cast<const unsigned char*>(g.positions.data()), sizeof(D3DXVECTOR3),
                             g.NumVertices(), g.indices.data(), true, g.NumFaces());
        ID3DXBuffer* buffer = nullptr;
        if (FAILED(hr = D3DXCreateBuffer(static_cast<DWORD>(adjacency.size() * sizeof(DWORD)), &buffer))) return hr;
        parts.adjacency.reset(buffer);
        std::memcpy(buffer->GetBufferPointer(), adjacency.data(), adjacency.size() * sizeof(DWORD));
    }

    if (wantMaterials && !g.materials.empty())
        if (FAILED(hr = MakeMaterialBuffer(g.materials, parts.materials))) return hr;
    if (wantSkin && g.skinned) parts.skin.reset(new SkinInfo(g.NumVertices(), g.Fvf(), g.bones));
    return S_OK;
}

// The parts go out only once all of them exist.
void HandOut(LoadedParts& parts, DWORD numMaterials, LPD3DXBUFFER* ppAdjacency, LPD3DXBUFFER* ppMaterials,
             LPD3DXBUFFER* ppEffectInstances, DWORD* pNumMaterials, LPD3DXSKININFO* ppSkinInfo, LPD3DXMESH* ppMesh) {
    if (ppAdjacency) *ppAdjacency = parts.adjacency.detach();
    if (ppMaterials) *ppMaterials = parts.materials.detach();
    if (ppEffectInstances) *ppEffectInstances = nullptr;
    if (pNumMaterials) *pNumMaterials = numMaterials;
    if (ppSkinInfo) *ppSkinInfo = parts.skin.detach();
    *ppMesh = parts.mesh.detach();
}

void Transform(MeshGeometry& g, const D3DXMATRIX& world) {
    for (D3DXVECTOR3& p : g.positions) D3DXVec3TransformCoord(&p, &p, &world);
    if (!g.hasNormals) return;
    // Normals go through the inverse transpose, so scaled frames keep them upright.
    D3DXMATRIX inverse, normalMatrix = world;
    if (D3DXMatrixInverse(&inverse, nullptr, &world)) D3DXMatrixTranspose(&normalMatrix, &inverse);
    for (D3DXVECTOR3& n : g.normals) {
        D3DXVec3TransformNormal(&n, &n, &normalMatrix);
        float length = D3DXVec3Length(&n);
        if (length > 0.0f && std::isfinite(length)) n /= length;
    }
}

// Every Mesh of a file: top-level meshes as they are, meshes in frames placed
// by the product of the frame matrices up to the top-level frame.
class FileMeshes {
public:
    HRESULT Walk(IDirectXFileData* object, const D3DXMATRIX* world) {
        if (IsType(object, TID_D3DRMMesh)) {
            MeshGeometry g;
            HRESULT hr = ReadMeshGeometry(object, &g);
            if (FAILED(hr)) return hr;
            if (world) Transform(g, *world);
            meshes.push_back(std::move(g));
            return S_OK;
        }
        if (!IsType(object, TID_D3DRMFrame)) return S_OK;
        // References are not followed here: a frame that names a mesh does not copy it.
        std::vector<DataPtr> children = DataChildren(object, false);
        D3DXMATRIX local, placed;
        D3DXMatrixIdentity(&local);
        for (DataPtr& child : children) {
            if (!IsType(child.get(), TID_D3DRMFrameTransformMatrix)) continue;
            DWORD size = 0;
            void* data = nullptr;
            if (SUCCEEDED(child->GetData(nullptr, &size, &data)) && data && size >= sizeof(float) * 16)
                std::memcpy(&local._11, data, sizeof(float) * 16);
        }
        if (world)
            D3DXMatrixMultiply(&placed, &local, world);
        else
            placed = local;
        for (DataPtr& child : children) {
            HRESULT hr = Walk(child.get(), &placed);
            if (FAILED(hr)) return hr;
        }
        return S_OK;
    }

    std::vector<MeshGeometry> meshes;
};

// All meshes as one: formats brought to their union, materials concatenated
// with each mesh's attribute ids moved past the materials before it.
MeshGeometry Merge(std::vector<MeshGeometry>& meshes) {
    MeshGeometry all;
    for (const MeshGeometry& g : meshes) {
        all.hasNormals |= g.hasNormals;
        all.hasTexCoords |= g.hasTexCoords;
        all.hasColors |= g.hasColors;
        all.hasMaterialList |= g.hasMaterialList;
    }
    for (MeshGeometry& g : meshes) {
        const DWORD base = all.NumVertices();
        const DWORD firstMaterial = static_cast<DWORD>(all.materials.size());
        const size_t n = g.positions.size();
        all.positions.insert(all.positions.end(), g.positions.begin(), g.positions.end());
        if (all.hasNormals) {
            if (g.hasNormals)
                all.normals.insert(all.normals.end(), g.normals.begin(), g.normals.end());
            else
                all.normals.resize(all.normals.size() + n);
        }
        if (all.hasTexCoords) {
            if (g.hasTexCoords)
                all.texCoords.insert(all.texCoords.end(), g.texCoords.begin(), g.texCoords.end());
            else
                all.texCoords.resize(all.texCoords.size() + n);
        }
        if (all.hasColors) {
            if (g.hasColors)
                all.colors.insert(all.colors.end(), g.colors.begin(), g.colors.end());
            else
                all.colors.resize(all.colors.size() + n, 0xFFFFFFFFu);
        }
        for (DWORD i : g.indices) all.indices.push_back(base + i);
        if (all.hasMaterialList && g.materials.empty()) {
            // A mesh without materials among meshes with them: plain white.
            MaterialRecord white;
            white.material.Diffuse = D3DCOLORVALUE{1, 1, 1, 1};
            white.material.Specular = D3DCOLORVALUE{0, 0, 0, 1};
            white.material.Emissive = D3DCOLORVALUE{0, 0, 0, 1};
            all.materials.push_back(white);
        }
        for (DWORD a : g.attributes) all.attributes.push_back(firstMaterial + (g.materials.empty() ? 0 : a));
        all.materials.insert(all.materials.end(), g.materials.begin(), g.materials.end());
        g = MeshGeometry{};  // the merged copy is what counts now
    }
    return all;
}

}  // namespace

}  // namespace d3dx

HRESULT WINAPI D3DXLoadSkinMeshFromXof(LPDIRECTXFILEDATA pxofMesh, DWORD Options, LPDIRECT3DDEVICE9 pD3DDevice,
                                       LPD3DXBUFFER* ppAdjacency, LPD3DXBUFFER* ppMaterials,
                                       LPD3DXBUFFER* ppEffectInstances, DWORD* pMatOut,
                                       LPD3DXSKININFO* ppSkinInfo, LPD3DXMESH* ppMesh) {
    if (!pxofMesh || !pD3DDevice || !ppMesh) return D3DERR_INVALIDCALL;
    d3dx::MeshGeometry g;
    HRESULT hr = d3dx::ReadMeshGeometry(pxofMesh, &g);
    if (FAILED(hr)) return hr;
    const std::string unbuildable = d3dx::Unbuildable(g, Options);
    if (!unbuildable.empty()) d3dx::ReportMeshProblem(pxofMesh, unbuildable);
    d3dx::LoadedParts parts;
    hr = d3dx::MakeParts(g, Options, pD3DDevice, ppAdjacency != nullptr, ppMaterials != nullptr,
                         ppSkinInfo != nullptr, parts);
    if (FAILED(hr)) return hr;
    d3dx::HandOut(parts, static_cast<DWORD>(g.materials.size()), ppAdjacency, ppMaterials, ppEffectInstances,
                  pMatOut, ppSkinInfo, ppMesh);
    return D3D_OK;
}

HRESULT WINAPI D3DXLoadMeshFromXA(LPCSTR pFilename, DWORD Options, LPDIRECT3DDEVICE9 pD3DDevice,
                                  LPD3DXBUFFER* ppAdjacency, LPD3DXBUFFER* ppMaterials,
                                  LPD3DXBUFFER* ppEffectInstances, DWORD* pNumMaterials, LPD3DXMESH* ppMesh) {
    if (!pFilename || !pD3DDevice || !ppMesh) return D3DERR_INVALIDCALL;
    IDirectXFile* file = nullptr;
    HRESULT hr = DirectXFileCreate(&file);
    if (FAILED(hr)) return hr;
    layer::ComPtr<IDirectXFile> fileHolder(file);
    if (FAILED(hr = file->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES))) return hr;
    // Files written for DirectX 9 use its templates without declaring them.
    if (FAILED(hr = file->RegisterTemplates(D3DX9_XTEMPLATES, D3DX9_XTEMPLATE_BYTES))) return hr;
    IDirectXFileEnumObject* objects = nullptr;
    if (FAILED(hr = file->CreateEnumObject(pFilename, DXFILELOAD_FROMFILE, &objects))) return hr;
    layer::ComPtr<IDirectXFileEnumObject> objectsHolder(objects);

    d3dx::FileMeshes found;
    IDirectXFileData* object = nullptr;
    while (SUCCEEDED(objects->GetNextDataObject(&object)) && object) {
        layer::ComPtr<IDirectXFileData> holder(object);
        object = nullptr;
        if (FAILED(hr = found.Walk(holder.get(), nullptr))) return hr;
    }
    if (found.meshes.empty()) {
        layer::ReportXFileProblem(pFilename, "holds no Mesh");
        return D3DXERR_LOADEDMESHASNODATA;
    }
    d3dx::MeshGeometry all = d3dx::Merge(found.meshes);
    const std::string unbuildable = d3dx::Unbuildable(all, Options);
    if (!unbuildable.empty()) layer::ReportXFileProblem(pFilename, "its meshes together " + unbuildable);
    d3dx::LoadedParts parts;
    hr = d3dx::MakeParts(all, Options, pD3DDevice, ppAdjacency != nullptr, ppMaterials != nullptr, false, parts);
    if (FAILED(hr)) return hr;
    d3dx::HandOut(parts, static_cast<DWORD>(all.materials.size()), ppAdjacency, ppMaterials, ppEffectInstances,
                  pNumMaterials, nullptr, ppMesh);
    return D3D_OK;
}
