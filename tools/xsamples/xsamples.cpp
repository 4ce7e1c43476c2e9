#include "xsamples.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace xsamples {

using xwriter::Object;
using xwriter::Value;

const char* const kSkinTemplates =
    "template XSkinMeshHeader {\n"
    " <3CF169CE-FF7C-44AB-93C0-F78F62D172E2>\n"
    " WORD nMaxSkinWeightsPerVertex;\n"
    " WORD nMaxSkinWeightsPerFace;\n"
    " WORD nBones;\n"
    "}\n"
    "template VertexDuplicationIndices {\n"
    " <B8D65549-D7C9-4995-89CF-53A9A8B031E3>\n"
    " DWORD nIndices;\n"
    " DWORD nOriginalVertices;\n"
    " array DWORD indices[nIndices];\n"
    "}\n"
    "template SkinWeights {\n"
    " <6F0D123B-BAD2-4167-A0D0-80224F25FABB>\n"
    " STRING transformNodeName;\n"
    " DWORD nWeights;\n"
    " array DWORD vertexIndices[nWeights];\n"
    " array FLOAT weights[nWeights];\n"
    " Matrix4x4 matrixOffset;\n"
    "}\n";

namespace {

Object Make(const char* tmpl, std::string name = {}) {
    Object o;
    o.templateName = tmpl;
    o.name = std::move(name);
    return o;
}

void Floats(Object& o, std::initializer_list<double> v) {
    for (double d : v) o.data.push_back(Value::Float(d));
}

void Int(Object& o, int64_t v) { o.data.push_back(Value::Int(v)); }

// Values exact in binary floats, so every encoding reads them alike.
double Q(double v) { return std::round(v * 256.0) / 256.0; }

Object Matrix(double tx, double ty, double tz) {
    Object m = Make("FrameTransformMatrix");
    Floats(m, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, tx, ty, tz, 1});
    return m;
}

Object Material(const char* name, double r, const char* texture) {
    Object m = Make("Material", name);
    Floats(m, {r, 0.5, 0.25, 1.0, 12.5, 0.125, 0.125, 0.125, 0, 0, 0});
    if (texture) {
        Object t = Make("TextureFilename");
        t.data.push_back(Value::Str(texture));
        m.children.push_back(t);
    }
    return m;
}

std::string BoneName(int b) { return "Bone" + std::to_string(b); }

std::string BoneGuid(int b) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%08X-0000-4000-8000-00000000ABCD", 0x1000 + b);
    return buf;
}

}  // namespace

xwriter::File Character(const CharacterShape& s) {
    xwriter::File f;
    if (s.declareSkinTemplates) f.templates.push_back(kSkinTemplates);

    Object header = Make("Header");
    Int(header, 1), Int(header, 0), Int(header, 1);
    f.objects.push_back(header);
    if (!s.declareSkinTemplates) {
        Object ticks = Make("AnimTicksPerSecond");
        Int(ticks, 4800);
        f.objects.push_back(ticks);
    }

    Object root = Make("Frame", "Root");
    root.children.push_back(Matrix(0, 0, 0));

    // The bone chain: each frame one step up from its parent.
    const double step = 1.0 / s.bones;
    Object* parent = &root;
    for (int b = 0; b < s.bones; ++b) {
        Object bone = Make("Frame", BoneName(b));
        bone.guid = BoneGuid(b);
        bone.children.push_back(Matrix(0, b == 0 ? 0 : Q(step), 0));
        parent->children.push_back(bone);
        parent = &parent->children.back();
    }

    const int nv = s.rings * s.sides;
    Object mesh = Make("Mesh", "Body");
    Int(mesh, nv);
    for (int r = 0; r < s.rings; ++r)
        for (int k = 0; k < s.sides; ++k) {
            double a = 2 * M_PI * k / s.sides;
            Floats(mesh, {Q(0.25 * std::cos(a)), Q(static_cast<double>(r) / (s.rings - 1)), Q(0.25 * std::sin(a))});
        }
    // Triangles, clockwise seen from outside, and a quad cap at the bottom.
    std::vector<std::vector<int>> faces;
    for (int r = 0; r + 1 < s.rings; ++r)
        for (int k = 0; k < s.sides; ++k) {
            int a = r * s.sides + k, b = r * s.sides + (k + 1) % s.sides;
            faces.push_back({a, a + s.sides, b});
            faces.push_back({b, a + s.sides, b + s.sides});
        }
    std::vector<int> cap;
    for (int k = 0; k < s.sides; ++k) cap.push_back(k);
    faces.push_back(cap);
    auto writeFaces = [&faces](Object& o) {
        Int(o, static_cast<int64_t>(faces.size()));
        for (const auto& face : faces) {
            Int(o, static_cast<int64_t>(face.size()));
            for (int i : face) Int(o, i);
        }
    };
    writeFaces(mesh);

    Object normals = Make("MeshNormals");
    Int(normals, nv);
    for (int r = 0; r < s.rings; ++r)
        for (int k = 0; k < s.sides; ++k) {
            double a = 2 * M_PI * k / s.sides;
            Floats(normals, {Q(std::cos(a)), 0, Q(std::sin(a))});
        }
    writeFaces(normals);
    mesh.children.push_back(normals);

    Object uv = Make("MeshTextureCoords");
    Int(uv, nv);
    for (int r = 0; r < s.rings; ++r)
        for (int k = 0; k < s.sides; ++k) Floats(uv, {Q(static_cast<double>(k) / s.sides), Q(static_cast<double>(r) / s.rings)});
    mesh.children.push_back(uv);

    Object materials = Make("MeshMaterialList");
    Int(materials, 2);
    Int(materials, static_cast<int64_t>(faces.size()));
    for (size_t i = 0; i < faces.size(); ++i) Int(materials, i + 1 == faces.size() ? 1 : 0);
    materials.children.push_back(Material("Cloth", 0.125, "textures\\ninja.bmp"));
    materials.children.push_back(Object::Reference("Metal"));  // defined at the end of the file
    mesh.children.push_back(materials);

    if (!s.declareSkinTemplates) {
        // No vertex was split on export: each is its own original.
        Object duplicates = Make("VertexDuplicationIndices");
        Int(duplicates, nv), Int(duplicates, nv);
        for (int i = 0; i < nv; ++i) Int(duplicates, i);
        mesh.children.push_back(duplicates);
    }

    Object skinHeader = Make("XSkinMeshHeader");
    Int(skinHeader, 2), Int(skinHeader, 4), Int(skinHeader, s.bones);
    mesh.children.push_back(skinHeader);

    // Each ring is weighted between the two nearest bones.
    for (int b = 0; b < s.bones; ++b) {
        std::vector<int> idx;
        std::vector<double> w;
        for (int r = 0; r < s.rings; ++r) {
            double pos = static_cast<double>(r) / (s.rings - 1) * (s.bones - 1);
            double weight = 1.0 - std::fabs(pos - b);
            if (weight <= 0) continue;
            for (int k = 0; k < s.sides; ++k) {
                idx.push_back(r * s.sides + k);
                w.push_back(Q(weight));
            }
        }
        Object sw = Make("SkinWeights");
        sw.data.push_back(Value::Str(BoneName(b)));
        Int(sw, static_cast<int64_t>(idx.size()));
        for (int i : idx) Int(sw, i);
        for (double x : w) sw.data.push_back(Value::Float(x));
        Floats(sw, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, Q(-b * step), 0, 1});
        mesh.children.push_back(sw);
    }
    root.children.push_back(mesh);
    f.objects.push_back(root);

    for (int set = 0; set < s.sets; ++set) {
        Object as = Make("AnimationSet", "Set" + std::to_string(set));
        for (int b = 0; b < s.bones; ++b) {
            Object anim = Make("Animation", "Anim-" + std::to_string(set) + "-" + std::to_string(b));
            // Odd bones are named by GUID, as some exporters do.
            anim.children.push_back(b % 2 ? Object::Reference("", BoneGuid(b)) : Object::Reference(BoneName(b)));
            for (int type : {0, 1, 2, 4}) {
                Object key = Make("AnimationKey");
                Int(key, type);
                Int(key, s.keys);
                int n = type == 0 ? 4 : type == 4 ? 16 : 3;
                for (int k = 0; k < s.keys; ++k) {
                    Int(key, k * 40);
                    Int(key, n);
                    for (int v = 0; v < n; ++v) key.data.push_back(Value::Float(Q((set + 1) * 0.01 * (k + v + b))));
                }
                anim.children.push_back(key);
            }
            Object options = Make("AnimationOptions");
            Int(options, 1), Int(options, 0);
            anim.children.push_back(options);
            as.children.push_back(anim);
        }
        f.objects.push_back(as);
    }
    f.objects.push_back(Material("Metal", 0.75, nullptr));
    return f;
}

xwriter::File BigMesh(int triangles) {
    int side = std::max(1, static_cast<int>(std::sqrt(triangles / 2.0)));
    int n = side + 1;
    xwriter::File f;
    Object mesh = Make("Mesh", "Grid");
    Int(mesh, n * n);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) Floats(mesh, {Q(x * 0.1), Q(std::sin(x * 0.3) * std::cos(y * 0.2)), Q(y * 0.1)});
    Int(mesh, 2 * side * side);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            int a = y * n + x;
            for (int v : {3, a, a + n, a + 1, 3, a + 1, a + n, a + n + 1}) Int(mesh, v);
        }
    Object normals = Make("MeshNormals");
    Int(normals, 1);
    Floats(normals, {0, 1, 0});
    Int(normals, 2 * side * side);
    for (int i = 0; i < 2 * side * side; ++i)
        for (int v : {3, 0, 0, 0}) Int(normals, v);
    mesh.children.push_back(normals);
    Object uv = Make("MeshTextureCoords");
    Int(uv, n * n);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) Floats(uv, {Q(x / 8.0), Q(y / 8.0)});
    mesh.children.push_back(uv);
    Object materials = Make("MeshMaterialList");
    Int(materials, 1);
    Int(materials, 1);
    Int(materials, 0);
    materials.children.push_back(Material("Stone", 0.5, "stone.bmp"));
    mesh.children.push_back(materials);

    Object frame = Make("Frame", "Level");
    frame.children.push_back(Matrix(0, 0, 0));
    frame.children.push_back(mesh);
    f.objects.push_back(frame);
    return f;
}

}  // namespace xsamples
