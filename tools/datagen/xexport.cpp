// Scenes as X-file data objects: one frame tree with its mesh inline, then
// the animation sets, each Animation naming its frame by a reference.
#include <algorithm>
#include <set>

#include "tools/datagen/datagen.h"

namespace datagen {

namespace {

using xwriter::Object;
using xwriter::Value;

// The character file declares the skin templates it uses, as many exporters
// do (the program's loaders know them without, too).
const char* const kSkinTemplates[] = {
    "template XSkinMeshHeader {\n"
    " <3CF169CE-FF7C-44AB-93C0-F78F62D172E2>\n"
    " WORD nMaxSkinWeightsPerVertex;\n"
    " WORD nMaxSkinWeightsPerFace;\n"
    " WORD nBones;\n"
    "}",
    "template SkinWeights {\n"
    " <6F0D123B-BAD2-4167-A0D0-80224F25FABB>\n"
    " STRING transformNodeName;\n"
    " DWORD nWeights;\n"
    " array DWORD vertexIndices[nWeights];\n"
    " array FLOAT weights[nWeights];\n"
    " Matrix4x4 matrixOffset;\n"
    "}",
};

Object Make(const std::string& templ, const std::string& name = {}) {
    Object o;
    o.templateName = templ;
    o.name = name;
    return o;
}

void PutMatrix(std::vector<Value>& data, const Mat4& m) {
    for (int i = 0; i < 16; ++i) data.push_back(Value::Float(m.m[i / 4][i % 4]));
}

void PutVectors(std::vector<Value>& data, const std::vector<Vec3>& v) {
    data.push_back(Value::Int(int64_t(v.size())));
    for (const Vec3& p : v) {
        data.push_back(Value::Float(p.x));
        data.push_back(Value::Float(p.y));
        data.push_back(Value::Float(p.z));
    }
}

void PutFaces(std::vector<Value>& data, const Mesh& mesh) {
    data.push_back(Value::Int(int64_t(mesh.faces.size())));
    for (const auto& f : mesh.faces) {
        data.push_back(Value::Int(3));
        for (uint32_t i : f) data.push_back(Value::Int(i));
    }
}

Object MaterialObject(const Material& m) {
    Object o = Make("Material", m.name);
    for (float c : m.diffuse) o.data.push_back(Value::Float(c));
    o.data.push_back(Value::Float(m.power));
    for (float c : {m.specular.x, m.specular.y, m.specular.z, m.emissive.x, m.emissive.y, m.emissive.z})
        o.data.push_back(Value::Float(c));
    if (!m.texture.empty()) {
        Object t = Make("TextureFilename");
        t.data.push_back(Value::Str(m.texture));
        o.children.push_back(t);
    }
    return o;
}

Object MeshObject(const Scene& scene) {
    const Mesh& mesh = scene.mesh;
    Object o = Make("Mesh", mesh.name);
    PutVectors(o.data, mesh.positions);
    PutFaces(o.data, mesh);

    Object normals = Make("MeshNormals");
    PutVectors(normals.data, mesh.normals);
    PutFaces(normals.data, mesh);  // normals are 1:1 with the vertices
    o.children.push_back(normals);

    Object uvs = Make("MeshTextureCoords");
    uvs.data.push_back(Value::Int(int64_t(mesh.uvs.size())));
    for (const Vec2& t : mesh.uvs) {
        uvs.data.push_back(Value::Float(t.u));
        uvs.data.push_back(Value::Float(t.v));
    }
    o.children.push_back(uvs);

    Object list = Make("MeshMaterialList");
    list.data.push_back(Value::Int(int64_t(mesh.materials.size())));
    list.data.push_back(Value::Int(int64_t(mesh.faceMaterials.size())));
    for (uint32_t m : mesh.faceMaterials) list.data.push_back(Value::Int(m));
    for (const Material& m : mesh.materials) list.children.push_back(MaterialObject(m));
    o.children.push_back(list);

    if (!scene.bones.empty()) {
        std::vector<std::set<size_t>> perVertex(mesh.positions.size());
        for (size_t b = 0; b < scene.bones.size(); ++b)
            for (uint32_t v : scene.bones[b].vertices) perVertex[v].insert(b);
        size_t maxVertex = 0, maxFace = 0;
        for (const auto& s : perVertex) maxVertex = std::max(maxVertex, s.size());
        for (const auto& f : mesh.faces) {
            std::set<size_t> s;
            for (uint32_t i : f) s.insert(perVertex[i].begin(), perVertex[i].end());
            maxFace = std::max(maxFace, s.size());
        }
        Object header = Make("XSkinMeshHeader");
        header.data = {Value::Int(int64_t(maxVertex)), Value::Int(int64_t(maxFace)),
                       Value::Int(int64_t(scene.bones.size()))};
        o.children.push_back(header);
        for (const BoneWeights& b : scene.bones) {
            Object w = Make("SkinWeights");
            w.data.push_back(Value::Str(b.frame));
            w.data.push_back(Value::Int(int64_t(b.vertices.size())));
            for (uint32_t v : b.vertices) w.data.push_back(Value::Int(v));
            for (float x : b.weights) w.data.push_back(Value::Float(x));
            PutMatrix(w.data, b.offset);
            o.children.push_back(w);
        }
    }
    return o;
}

Object FrameObject(const Scene& scene, int index) {
    const Frame& f = scene.frames[size_t(index)];
    Object o = Make("Frame", f.name);
    Object m = Make("FrameTransformMatrix");
    PutMatrix(m.data, f.local);
    o.children.push_back(m);
    if (index == scene.meshFrame) o.children.push_back(MeshObject(scene));
    for (size_t i = 0; i < scene.frames.size(); ++i)
        if (scene.frames[i].parent == index) o.children.push_back(FrameObject(scene, int(i)));
    return o;
}

Object SetObject(const AnimationSet& set) {
    Object o = Make("AnimationSet", set.name);
    for (const Animation& a : set.animations) {
        Object anim = Make("Animation");
        anim.children.push_back(Object::Reference(a.frame));
        for (const KeyArray& k : a.keys) {
            Object key = Make("AnimationKey");
            key.data.push_back(Value::Int(k.type));
            key.data.push_back(Value::Int(int64_t(k.keys.size())));
            for (const TimedKey& t : k.keys) {
                key.data.push_back(Value::Int(t.time));
                key.data.push_back(Value::Int(int64_t(t.values.size())));
                for (float v : t.values) key.data.push_back(Value::Float(v));
            }
            anim.children.push_back(key);
        }
        o.children.push_back(anim);
    }
    return o;
}

xwriter::File SceneFile(const Scene& scene) {
    xwriter::File file;
    file.minorVersion = 3;
    file.floatBits = 32;
    file.objects.push_back(FrameObject(scene, 0));
    for (const AnimationSet& s : scene.sets) file.objects.push_back(SetObject(s));
    return file;
}

}  // namespace

xwriter::File CharacterFile(const Scene& scene) {
    xwriter::File file = SceneFile(scene);
    file.templates.assign(std::begin(kSkinTemplates), std::end(kSkinTemplates));
    return file;
}

xwriter::File LevelFile(const Scene& scene) { return SceneFile(scene); }

}  // namespace datagen
