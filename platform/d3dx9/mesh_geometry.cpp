#include "mesh_geometry.h"

#include <cstring>
#include <unordered_map>

#include "com_object.h"
#include "xfile_internal.h"

namespace d3dx {

namespace {

// The skin templates are not among the standard ones; files declare them.
const GUID kXSkinMeshHeader = {0x3cf169ce, 0xff7c, 0x44ab, {0x93, 0xc0, 0xf7, 0x8f, 0x62, 0xd1, 0x72, 0xe2}};
const GUID kSkinWeights = {0x6f0d123b, 0xbad2, 0x4167, {0xa0, 0xd0, 0x80, 0x22, 0x4f, 0x25, 0xfa, 0xbb}};

const HRESULT kBadData = D3DXERR_INVALIDDATA;

// Reads an object's packed data with every read bounds-checked.
class DataReader {
public:
    explicit DataReader(IDirectXFileData* object) {
        DWORD size = 0;
        void* data = nullptr;
        if (SUCCEEDED(object->GetData(nullptr, &size, &data)) && data) {
            at_ = static_cast<const unsigned char*>(data);
            left_ = size;
        }
    }
    bool Dword(DWORD& v) { return Raw(&v, 4); }
    bool Float(float& v) { return Raw(&v, 4); }
    bool Floats(float* v, size_t n) { return Raw(v, n * 4); }
    // A STRING member: a pointer to the document's copy, or null.
    bool String(const char*& s) { return Raw(&s, sizeof s); }
    // A count of items of `bytes` each that must fit in what is left.
    bool Count(DWORD& n, size_t bytes) { return Dword(n) && uint64_t(n) * bytes <= left_; }

private:
    bool Raw(void* out, size_t n) {
        if (n > left_) return false;
        std::memcpy(out, at_, n);
        at_ += n;
        left_ -= n;
        return true;
    }
    const unsigned char* at_ = nullptr;
    size_t left_ = 0;
};

const GUID* TypeOf(IDirectXFileData* object) {
    const GUID* type = nullptr;
    return SUCCEEDED(object->GetType(&type)) ? type : nullptr;
}

// A Mesh's own children: materials may stand in the file as references.
std::vector<DataPtr> Children(IDirectXFileData* object) { return DataChildren(object, true); }

// Faces as read: corner indices with the first corner of each face.
struct Faces {
    std::vector<DWORD> first;  // size faces + 1
    std::vector<DWORD> corners;
    DWORD Count() const { return static_cast<DWORD>(first.size() - 1); }
    DWORD Size(DWORD f) const { return first[f + 1] - first[f]; }
};

// "1 vertex", "600 vertices": for the messages that say why a mesh was refused.
std::string Counted(size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// What the corners of faces index: "vertex"/"vertices" or "normal"/"normals".
struct Indexed {
    const char* one;
    const char* many;
};
const Indexed kVertices = {"vertex", "vertices"};
const Indexed kNormals = {"normal", "normals"};

bool ReadFaces(DataReader& in, DWORD limit, Indexed what, Faces& faces, std::string& why) {
    DWORD n = 0;
    if (!in.Count(n, 4)) {
        why = "the face count is larger than its data";
        return false;
    }
    faces.first.assign(1, 0);
    faces.first.reserve(size_t(n) + 1);
    for (DWORD f = 0; f < n; ++f) {
        DWORD corners = 0;
        if (!in.Count(corners, 4)) {
            why = "face " + std::to_string(f) + " is larger than its data";
            return false;
        }
        for (DWORD k = 0; k < corners; ++k) {
            DWORD index = 0;
            if (!in.Dword(index)) {
                why = "face " + std::to_string(f) + " is larger than its data";
                return false;
            }
            if (index >= limit) {
                why = "face " + std::to_string(f) + " uses " + what.one + " " + std::to_string(index) +
                      ", but there " + (limit == 1 ? "is " : "are ") + Counted(limit, what.one, what.many);
                return false;
            }
            faces.corners.push_back(index);
        }
        faces.first.push_back(static_cast<DWORD>(faces.corners.size()));
    }
    return true;
}

bool ReadVectors(DataReader& in, std::vector<D3DXVECTOR3>& out) {
    DWORD n = 0;
    if (!in.Count(n, 12)) return false;
    out.resize(n);
    for (D3DXVECTOR3& v : out)
        if (!in.Floats(&v.x, 3)) return false;
    return true;
}

HRESULT ReadMaterial(IDirectXFileData* object, MaterialRecord& out, std::string& why) {
    DataReader in(object);
    float face[4], power, specular[3], emissive[3];
    if (!in.Floats(face, 4) || !in.Float(power) || !in.Floats(specular, 3) || !in.Floats(emissive, 3)) {
        why = layer::DescribeXFileObject(object) + " is shorter than a material";
        return kBadData;
    }
    out = MaterialRecord{};
    out.material.Diffuse = D3DCOLORVALUE{face[0], face[1], face[2], face[3]};
    out.material.Ambient = D3DCOLORVALUE{0, 0, 0, 0};
    out.material.Specular = D3DCOLORVALUE{specular[0], specular[1], specular[2], 1.0f};
    out.material.Emissive = D3DCOLORVALUE{emissive[0], emissive[1], emissive[2], 1.0f};
    out.material.Power = power;
    for (DataPtr& child : Children(object)) {
        if (!IsType(child.get(), TID_D3DRMTextureFilename)) continue;
        DataReader name(child.get());
        const char* text = nullptr;
        if (name.String(text) && text) {
            out.hasTexture = true;
            out.texture = text;
        }
    }
    return S_OK;
}

struct MaterialList {
    bool present = false;
    DWORD count = 0;
    std::vector<DWORD> faceIndexes;
    std::vector<MaterialRecord> materials;
};

// The first reference among a material list's children that names an object
// other than a Material, and what it names; "" when there is none. (One that
// names nothing the reader reports itself.)
std::string FirstReferenceNotAMaterial(IDirectXFileData* list) {
    IDirectXFileData* fresh = nullptr;
    if (FAILED(layer::FreshDataHandle(list, &fresh))) return std::string();
    DataPtr walk(fresh);
    IDirectXFileObject* child = nullptr;
    while (SUCCEEDED(walk->GetNextObject(&child)) && child) {
        layer::ComPtr<IDirectXFileObject> holder(child);
        child = nullptr;
        IDirectXFileDataReference* reference = nullptr;
        if (FAILED(holder->QueryInterface(IID_IDirectXFileDataReference, reinterpret_cast<void**>(&reference))))
            continue;
        layer::ComPtr<IDirectXFileDataReference> ref(reference);
        IDirectXFileData* target = nullptr;
        if (FAILED(reference->Resolve(&target)) || !target) continue;
        DataPtr resolved(target);
        if (IsType(target, TID_D3DRMMaterial)) continue;
        std::string name;
        DWORD length = 0;
        if (SUCCEEDED(reference->GetName(nullptr, &length)) && length > 1) {
            std::vector<char> text(length, '\0');
            if (SUCCEEDED(reference->GetName(text.data(), &length))) name = text.data();
        }
        return "reference { " + name + " } names " + layer::DescribeXFileObject(target) + ", not a Material";
    }
    return std::string();
}

HRESULT ReadMaterialList(IDirectXFileData* object, MaterialList& out, std::string& why) {
    DataReader in(object);
    DWORD n = 0;
    out = MaterialList{};
    if (!in.Dword(out.count) || !in.Count(n, 4)) {
        why = "MeshMaterialList: the face count is larger than its data";
        return kBadData;
    }
    out.faceIndexes.resize(n);
    for (DWORD f = 0; f < n; ++f) {
        DWORD& index = out.faceIndexes[f];
        if (!in.Dword(index)) {
            why = "MeshMaterialList: the face indexes are larger than their data";
            return kBadData;
        }
        if (index >= out.count) {
            why = "MeshMaterialList: face " + std::to_string(f) + " uses material " + std::to_string(index) +
                  ", but the list counts " + Counted(out.count, "material", "materials");
            return kBadData;
        }
    }
    for (DataPtr& child : Children(object)) {
        if (!IsType(child.get(), TID_D3DRMMaterial) || out.materials.size() == out.count) continue;
        MaterialRecord m;
        HRESULT hr = ReadMaterial(child.get(), m, why);
        if (FAILED(hr)) {
            why = "MeshMaterialList: " + why;
            return hr;
        }
        out.materials.push_back(std::move(m));
    }
    // Every material the indices may name must be there.
    if (out.materials.size() != out.count) {
        why = "MeshMaterialList counts " + Counted(out.count, "material", "materials") + " but holds " +
              std::to_string(out.materials.size());
        const std::string reference = FirstReferenceNotAMaterial(object);
        if (!reference.empty()) why += ": " + reference;
        return kBadData;
    }
    out.present = true;
    return S_OK;
}

HRESULT ReadSkinWeights(IDirectXFileData* object, DWORD numVertices, Bone& out, std::string& why) {
    DataReader in(object);
    const char* name = nullptr;
    DWORD n = 0;
    if (!in.String(name) || !in.Count(n, 8)) {
        why = "SkinWeights: the weight count is larger than its data";
        return kBadData;
    }
    out.name = name ? name : "";
    const std::string bone = "SkinWeights of bone '" + out.name + "'";
    out.vertices.resize(n);
    out.weights.resize(n);
    for (DWORD i = 0; i < n; ++i) {
        DWORD& v = out.vertices[i];
        if (!in.Dword(v)) {
            why = bone + ": the vertex indexes are larger than their data";
            return kBadData;
        }
        if (v >= numVertices) {
            why = bone + ": weight " + std::to_string(i) + " is for vertex " + std::to_string(v) +
                  ", but the mesh has " + Counted(numVertices, "vertex", "vertices");
            return kBadData;
        }
    }
    for (float& w : out.weights)
        if (!in.Float(w)) {
            why = bone + ": the weights are larger than their data";
            return kBadData;
        }
    if (!in.Floats(&out.offset._11, 16)) {
        why = bone + ": the offset matrix is missing";
        return kBadData;
    }
    return S_OK;
}

}  // namespace

bool IsType(IDirectXFileData* object, const GUID& type) {
    const GUID* t = TypeOf(object);
    return t && IsEqualGUID(*t, type);
}

std::vector<DataPtr> DataChildren(IDirectXFileData* object, bool followReferences) {
    std::vector<DataPtr> out;
    IDirectXFileData* fresh = nullptr;
    DataPtr walk = SUCCEEDED(layer::FreshDataHandle(object, &fresh)) ? DataPtr(fresh) : DataPtr::Retain(object);
    IDirectXFileObject* child = nullptr;
    while (SUCCEEDED(walk->GetNextObject(&child)) && child) {
        layer::ComPtr<IDirectXFileObject> holder(child);
        IDirectXFileDataReference* reference = nullptr;
        IDirectXFileData* data = nullptr;
        if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileDataReference, reinterpret_cast<void**>(&reference)))) {
            if (followReferences && SUCCEEDED(reference->Resolve(&data))) out.emplace_back(data);
            reference->Release();
        } else if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileData, reinterpret_cast<void**>(&data)))) {
            out.emplace_back(data);
        }
        child = nullptr;
    }
    return out;
}

DWORD MeshGeometry::Fvf() const {
    DWORD fvf = D3DFVF_XYZ;
    if (hasNormals) fvf |= D3DFVF_NORMAL;
    if (hasColors) fvf |= D3DFVF_DIFFUSE;
    if (hasTexCoords) fvf |= D3DFVF_TEX1;
    return fvf;
}

namespace {

HRESULT Read(IDirectXFileData* mesh, MeshGeometry* out, std::string& why) {
    MeshGeometry g;
    Faces faces;
    {
        DataReader in(mesh);
        if (!ReadVectors(in, g.positions)) {
            why = "the vertex count is larger than its data";
            return kBadData;
        }
        if (!ReadFaces(in, static_cast<DWORD>(g.positions.size()), kVertices, faces, why)) return kBadData;
    }
    const DWORD numPositions = static_cast<DWORD>(g.positions.size());
    const DWORD numFaces = faces.Count();

    std::vector<D3DXVECTOR3> normals;
    Faces normalFaces;
    MaterialList materials;
    std::vector<Bone> bones;
    for (DataPtr& child : Children(mesh)) {
        const GUID* type = TypeOf(child.get());
        if (!type) continue;
        if (IsEqualGUID(*type, TID_D3DRMMeshNormals)) {
            DataReader in(child.get());
            if (!ReadVectors(in, normals)) {
                why = "MeshNormals: the normal count is larger than its data";
                return kBadData;
            }
            if (!ReadFaces(in, static_cast<DWORD>(normals.size()), kNormals, normalFaces, why)) {
                why = "MeshNormals: " + why;
                return kBadData;
            }
            if (normalFaces.Count() != numFaces) {
                why = "MeshNormals has " + Counted(normalFaces.Count(), "face", "faces") + ", the mesh " +
                      std::to_string(numFaces);
                return kBadData;
            }
            for (DWORD f = 0; f < numFaces; ++f)
                if (normalFaces.Size(f) != faces.Size(f)) {
                    why = "MeshNormals: face " + std::to_string(f) + " has " +
                          Counted(normalFaces.Size(f), "corner", "corners") + ", the mesh's " +
                          std::to_string(faces.Size(f));
                    return kBadData;
                }
            g.hasNormals = true;
        } else if (IsEqualGUID(*type, TID_D3DRMMeshTextureCoords)) {
            DataReader in(child.get());
            DWORD n = 0;
            if (!in.Count(n, 8) || n < numPositions) {
                why = "MeshTextureCoords holds fewer coordinates than the mesh's " +
                      Counted(numPositions, "vertex", "vertices");
                return kBadData;
            }
            g.texCoords.resize(numPositions);
            for (D3DXVECTOR2& uv : g.texCoords)
                if (!in.Floats(&uv.x, 2)) return kBadData;  // not reached: counted above
            g.hasTexCoords = true;
        } else if (IsEqualGUID(*type, TID_D3DRMMeshVertexColors)) {
            DataReader in(child.get());
            DWORD n = 0;
            if (!in.Count(n, 20)) {
                why = "MeshVertexColors: the colour count is larger than its data";
                return kBadData;
            }
            g.colors.assign(numPositions, 0xFFFFFFFFu);
            for (DWORD i = 0; i < n; ++i) {
                DWORD index = 0;
                float c[4];
                if (!in.Dword(index) || !in.Floats(c, 4)) return kBadData;  // not reached: counted above
                if (index >= numPositions) {
                    why = "MeshVertexColors: colour " + std::to_string(i) + " is for vertex " +
                          std::to_string(index) + ", but the mesh has " +
                          Counted(numPositions, "vertex", "vertices");
                    return kBadData;
                }
                auto channel = [](float x) {
                    x = x < 0.0f ? 0.0f : (x > 1.0f ? 1.0f : x);
                    return static_cast<DWORD>(x * 255.0f + 0.5f);
                };
                g.colors[index] = D3DCOLOR_ARGB(channel(c[3]), channel(c[0]), channel(c[1]), channel(c[2]));
            }
            g.hasColors = true;
        } else if (IsEqualGUID(*type, TID_D3DRMMeshMaterialList)) {
            HRESULT hr = ReadMaterialList(child.get(), materials, why);
            if (FAILED(hr)) return hr;
        } else if (IsEqualGUID(*type, kSkinWeights)) {
            Bone bone;
            HRESULT hr = ReadSkinWeights(child.get(), numPositions, bone, why);
            if (FAILED(hr)) return hr;
            bones.push_back(std::move(bone));
            g.skinned = true;
        } else if (IsEqualGUID(*type, kXSkinMeshHeader)) {
            g.skinned = true;
        }
        // VertexDuplicationIndices and anything unknown: nothing to take.
    }

    // One output vertex per distinct (position, normal) pair: the first normal
    // a position meets keeps it in place, other pairs are appended.
    std::vector<DWORD> normalOf(numPositions, UINT32_MAX);
    std::vector<DWORD> origin;  // position of each appended vertex
    std::unordered_map<uint64_t, DWORD> split;
    auto vertexFor = [&](DWORD p, DWORD n) -> DWORD {
        if (!g.hasNormals) return p;
        if (normalOf[p] == UINT32_MAX) normalOf[p] = n;
        if (normalOf[p] == n) return p;
        uint64_t key = (uint64_t(p) << 32) | n;
        auto it = split.find(key);
        if (it != split.end()) return it->second;
        DWORD v = numPositions + static_cast<DWORD>(origin.size());
        origin.push_back(p);
        split.emplace(key, v);
        return v;
    };

    const std::vector<DWORD>& listed = materials.faceIndexes;
    for (DWORD f = 0; f < numFaces; ++f) {
        const DWORD size = faces.Size(f);
        DWORD attribute = 0;
        if (!listed.empty()) attribute = f < listed.size() ? listed[f] : listed.back();
        if (size < 3) continue;  // a point or a line: nothing to draw
        const DWORD* p = &faces.corners[faces.first[f]];
        const DWORD* n = g.hasNormals ? &normalFaces.corners[normalFaces.first[f]] : p;
        // Fan (0, i, i + 1): faces keep the winding they were written with.
        for (DWORD i = 1; i + 1 < size; ++i) {
            g.indices.push_back(vertexFor(p[0], n[0]));
            g.indices.push_back(vertexFor(p[i], n[i]));
            g.indices.push_back(vertexFor(p[i + 1], n[i + 1]));
            g.attributes.push_back(attribute);
        }
    }

    const size_t total = size_t(numPositions) + origin.size();
    if (g.hasNormals) {
        g.normals.resize(total);
        for (DWORD p = 0; p < numPositions; ++p)
            if (normalOf[p] != UINT32_MAX) g.normals[p] = normals[normalOf[p]];
        for (const auto& entry : split) g.normals[entry.second] = normals[entry.first & 0xFFFFFFFFu];
    }
    g.positions.resize(total);
    if (g.hasTexCoords) g.texCoords.resize(total);
    if (g.hasColors) g.colors.resize(total);
    std::vector<std::vector<DWORD>> copies(numPositions);
    for (size_t i = 0; i < origin.size(); ++i) {
        const DWORD v = static_cast<DWORD>(numPositions + i), p = origin[i];
        g.positions[v] = g.positions[p];
        if (g.hasTexCoords) g.texCoords[v] = g.texCoords[p];
        if (g.hasColors) g.colors[v] = g.colors[p];
        copies[p].push_back(v);
    }
    // A split vertex moves with the bones of the vertex it came from.
    for (Bone& bone : bones) {
        if (origin.empty()) break;
        const size_t n = bone.vertices.size();
        for (size_t i = 0; i < n; ++i)
            for (DWORD copy : copies[bone.vertices[i]]) {
                const float weight = bone.weights[i];
                bone.vertices.push_back(copy);
                bone.weights.push_back(weight);
            }
    }

    g.hasMaterialList = materials.present;
    g.materials = std::move(materials.materials);
    g.bones = std::move(bones);
    *out = std::move(g);
    return S_OK;
}

}  // namespace

HRESULT ReadMeshGeometry(IDirectXFileData* mesh, MeshGeometry* out) {
    if (!mesh || !out || !IsType(mesh, TID_D3DRMMesh)) return D3DERR_INVALIDCALL;
    std::string why;
    HRESULT hr = Read(mesh, out, why);
    if (FAILED(hr)) ReportMeshProblem(mesh, why.empty() ? "its data does not add up" : why);
    return hr;
}

void ReportMeshProblem(IDirectXFileData* mesh, const std::string& what) {
    layer::ReportXFileProblem(mesh, layer::DescribeXFileObject(mesh) + ": " + what);
}

}  // namespace d3dx
