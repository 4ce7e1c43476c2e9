// The files the build wrote into the run tree, read back through the X-file
// reader service as the program opens them, hold what the generator built.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/xfile/dxfile.h"
#include "tests/support/xfile_fixtures.h"
#include "tools/datagen/datagen.h"

using namespace datagen;
using xfile_fixtures::NameOf;
using xfile_fixtures::Ptr;

namespace {

const GUID kSkinWeights = {0x6F0D123B, 0xBAD2, 0x4167, {0xA0, 0xD0, 0x80, 0x22, 0x4F, 0x25, 0xFA, 0xBB}};

struct Node {
    GUID type{};
    std::string name;
    std::vector<uint8_t> data;
    std::vector<Node> children;
    std::string reference;  // name of the object a reference child resolves to
};

Node Read(IDirectXFileData* d) {
    Node n;
    const GUID* type = nullptr;
    if (SUCCEEDED(d->GetType(&type)) && type) n.type = *type;
    n.name = NameOf(d);
    DWORD size = 0;
    void* bytes = nullptr;
    if (SUCCEEDED(d->GetData(nullptr, &size, &bytes)) && bytes)
        n.data.assign(static_cast<uint8_t*>(bytes), static_cast<uint8_t*>(bytes) + size);
    IDirectXFileObject* raw = nullptr;
    while (SUCCEEDED(d->GetNextObject(&raw))) {
        Ptr<IDirectXFileObject> child(raw);
        IDirectXFileDataReference* ref = nullptr;
        IDirectXFileData* data = nullptr;
        if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileDataReference, reinterpret_cast<void**>(&ref)))) {
            Ptr<IDirectXFileDataReference> r(ref);
            IDirectXFileData* target = nullptr;
            Node link;
            if (SUCCEEDED(r->Resolve(&target))) {
                Ptr<IDirectXFileData> t(target);
                link.reference = NameOf(t.get());
                const GUID* tt = nullptr;
                if (SUCCEEDED(t->GetType(&tt)) && tt) link.type = *tt;
            }
            n.children.push_back(link);
        } else if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileData, reinterpret_cast<void**>(&data)))) {
            Ptr<IDirectXFileData> c(data);
            n.children.push_back(Read(c.get()));
        }
    }
    return n;
}

// The top-level objects of a file, opened by the Windows path the program uses.
// The file stays open: string members point into it.
struct Opened {
    HRESULT result = E_FAIL;
    Ptr<IDirectXFile> file;
    Ptr<IDirectXFileEnumObject> objects;
    std::vector<Node> top;
};

Opened Open(const char* path) {
    Opened o;
    IDirectXFile* rawFile = nullptr;
    o.result = DirectXFileCreate(&rawFile);
    if (FAILED(o.result)) return o;
    o.file.reset(rawFile);
    o.result = o.file->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES);
    if (FAILED(o.result)) return o;
    IDirectXFileEnumObject* rawEnum = nullptr;
    o.result = o.file->CreateEnumObject(path, DXFILELOAD_FROMFILE, &rawEnum);
    if (FAILED(o.result)) return o;
    o.objects.reset(rawEnum);
    IDirectXFileData* d = nullptr;
    while (SUCCEEDED(o.objects->GetNextDataObject(&d))) {
        Ptr<IDirectXFileData> top(d);
        o.top.push_back(Read(top.get()));
    }
    return o;
}

template <class T>
T At(const std::vector<uint8_t>& b, size_t offset) {
    T v{};
    if (offset + sizeof(T) <= b.size()) std::memcpy(&v, b.data() + offset, sizeof(T));
    return v;
}

std::string StringAt(const std::vector<uint8_t>& b, size_t offset) {
    const char* p = At<const char*>(b, offset);
    return p ? p : "";
}

void Collect(const Node& n, const GUID& type, std::vector<const Node*>* out) {
    if (IsEqualGUID(n.type, type) && n.reference.empty()) out->push_back(&n);
    for (const Node& c : n.children) Collect(c, type, out);
}

const Node* ChildOf(const Node& n, const GUID& type) {
    for (const Node& c : n.children)
        if (IsEqualGUID(c.type, type) && c.reference.empty()) return &c;
    return nullptr;
}

void ExpectMatrix(const std::vector<uint8_t>& b, size_t offset, const Mat4& m, const std::string& what) {
    for (int i = 0; i < 16; ++i)
        EXPECT_FLOAT_EQ(At<float>(b, offset + 4 * size_t(i)), m.m[i / 4][i % 4]) << what << " element " << i;
}

}  // namespace

TEST(DatagenFiles, CharacterReadsBackThroughTheReader) {
    Opened file = Open("..\\Data\\Ninja.x");
    ASSERT_GE(file.result, 0) << "the build writes the run tree's Data/Ninja.x";
    const std::vector<Node>& top = file.top;
    const Scene want = BuildCharacter().scene;

    // One frame tree, then the five sets.
    ASSERT_EQ(top.size(), 1 + want.sets.size());
    ASSERT_TRUE(IsEqualGUID(top[0].type, TID_D3DRMFrame));
    EXPECT_EQ(top[0].name, want.frames[0].name);
    for (size_t i = 0; i < want.sets.size(); ++i) {
        EXPECT_TRUE(IsEqualGUID(top[1 + i].type, TID_D3DRMAnimationSet));
        EXPECT_EQ(top[1 + i].name, want.sets[i].name);
    }

    // Every frame with its bind matrix.
    std::vector<const Node*> frames;
    Collect(top[0], TID_D3DRMFrame, &frames);
    ASSERT_EQ(frames.size(), want.frames.size());
    for (const Node* f : frames) {
        int index = FindFrame(want, f->name);
        ASSERT_GE(index, 0) << f->name;
        const Node* m = ChildOf(*f, TID_D3DRMFrameTransformMatrix);
        ASSERT_TRUE(m) << f->name;
        ASSERT_EQ(m->data.size(), 64u);
        ExpectMatrix(m->data, 0, want.frames[size_t(index)].local, f->name);
    }

    // The one mesh: vertices, faces, and a weight list per bone.
    std::vector<const Node*> meshes;
    Collect(top[0], TID_D3DRMMesh, &meshes);
    ASSERT_EQ(meshes.size(), 1u);
    const Node& mesh = *meshes[0];
    const Mesh& wm = want.mesh;
    ASSERT_EQ(At<uint32_t>(mesh.data, 0), wm.positions.size());
    EXPECT_FLOAT_EQ(At<float>(mesh.data, 4 + 12 * 7 + 4), wm.positions[7].y);
    size_t faces = 4 + 12 * wm.positions.size();
    ASSERT_EQ(At<uint32_t>(mesh.data, faces), wm.faces.size());
    EXPECT_EQ(At<uint32_t>(mesh.data, faces + 4), 3u);
    EXPECT_EQ(At<uint32_t>(mesh.data, faces + 8 + 4 * 2), wm.faces[0][2]);

    std::vector<const Node*> skin;
    Collect(mesh, kSkinWeights, &skin);
    ASSERT_EQ(skin.size(), want.bones.size());
    for (size_t b = 0; b < skin.size(); ++b) {
        const std::vector<uint8_t>& d = skin[b]->data;
        const BoneWeights& wb = want.bones[b];
        EXPECT_EQ(StringAt(d, 0), wb.frame);
        uint32_t n = At<uint32_t>(d, sizeof(char*));
        ASSERT_EQ(n, wb.vertices.size()) << wb.frame;
        size_t indices = sizeof(char*) + 4, weights = indices + 4 * size_t(n), offset = weights + 4 * size_t(n);
        ASSERT_EQ(d.size(), offset + 64);
        for (uint32_t k = 0; k < n; ++k) {
            EXPECT_EQ(At<uint32_t>(d, indices + 4 * k), wb.vertices[k]);
            EXPECT_FLOAT_EQ(At<float>(d, weights + 4 * k), wb.weights[k]);
        }
        ExpectMatrix(d, offset, wb.offset, wb.frame + " offset");
    }

    // Each Animation names its frame through a reference, and its keys arrive
    // in the packed layout the program steps through.
    for (size_t s = 0; s < want.sets.size(); ++s) {
        const Node& set = top[1 + s];
        ASSERT_EQ(set.children.size(), want.sets[s].animations.size());
        for (size_t a = 0; a < set.children.size(); ++a) {
            const Node& anim = set.children[a];
            const Animation& wa = want.sets[s].animations[a];
            ASSERT_FALSE(anim.children.empty());
            EXPECT_EQ(anim.children[0].reference, wa.frame);
            EXPECT_TRUE(IsEqualGUID(anim.children[0].type, TID_D3DRMFrame));
            ASSERT_EQ(anim.children.size(), 1 + wa.keys.size());
            for (size_t k = 0; k < wa.keys.size(); ++k) {
                const std::vector<uint8_t>& d = anim.children[1 + k].data;
                const KeyArray& wk = wa.keys[k];
                EXPECT_EQ(At<uint32_t>(d, 0), uint32_t(wk.type));
                ASSERT_EQ(At<uint32_t>(d, 4), wk.keys.size());
                size_t at = 8;
                for (const TimedKey& key : wk.keys) {
                    EXPECT_EQ(At<uint32_t>(d, at), key.time);
                    ASSERT_EQ(At<uint32_t>(d, at + 4), key.values.size());
                    for (size_t v = 0; v < key.values.size(); ++v)
                        EXPECT_FLOAT_EQ(At<float>(d, at + 8 + 4 * v), key.values[v]);
                    at += 8 + 4 * key.values.size();
                }
                EXPECT_EQ(at, d.size());
            }
        }
    }
}

TEST(DatagenFiles, LevelReadsBackThroughTheReader) {
    Opened file = Open("..\\Level01\\Level.x");
    ASSERT_GE(file.result, 0) << "the build writes the run tree's Level01/Level.x";
    const std::vector<Node>& top = file.top;
    const Scene want = BuildLevel().scene;
    ASSERT_EQ(top.size(), 1u);
    ASSERT_TRUE(IsEqualGUID(top[0].type, TID_D3DRMFrame));
    const Node* matrix = ChildOf(top[0], TID_D3DRMFrameTransformMatrix);
    ASSERT_TRUE(matrix);
    ExpectMatrix(matrix->data, 0, Mat4::Identity(), "level frame");
    const Node* mesh = ChildOf(top[0], TID_D3DRMMesh);
    ASSERT_TRUE(mesh);
    ASSERT_EQ(At<uint32_t>(mesh->data, 0), want.mesh.positions.size());
    EXPECT_FLOAT_EQ(At<float>(mesh->data, 4 + 8), want.mesh.positions[0].z);

    const Node* list = ChildOf(*mesh, TID_D3DRMMeshMaterialList);
    ASSERT_TRUE(list);
    EXPECT_EQ(At<uint32_t>(list->data, 0), want.mesh.materials.size());
    EXPECT_EQ(At<uint32_t>(list->data, 4), want.mesh.faces.size());
    std::vector<const Node*> materials;
    Collect(*list, TID_D3DRMMaterial, &materials);
    ASSERT_EQ(materials.size(), want.mesh.materials.size());
    for (size_t i = 0; i < materials.size(); ++i) {
        EXPECT_FLOAT_EQ(At<float>(materials[i]->data, 12), 1.0f) << "diffuse alpha";
        const Node* tex = ChildOf(*materials[i], TID_D3DRMTextureFilename);
        ASSERT_TRUE(tex);
        EXPECT_EQ(StringAt(tex->data, 0), want.mesh.materials[i].texture);
    }
    const Node* normals = ChildOf(*mesh, TID_D3DRMMeshNormals);
    const Node* uvs = ChildOf(*mesh, TID_D3DRMMeshTextureCoords);
    ASSERT_TRUE(normals && uvs);
    EXPECT_EQ(At<uint32_t>(normals->data, 0), want.mesh.normals.size());
    EXPECT_EQ(At<uint32_t>(uvs->data, 0), want.mesh.uvs.size());
}

TEST(DatagenFiles, OverlayPicturesAreInTheRunTree) {
    Image sheet;
    std::string error;
    ASSERT_TRUE(AlphabetSheet(16, 32, &sheet, &error)) << error;
    const struct {
        const char* path;
        Image image;
    } files[] = {{"../Alfabeto/Expo_16x32_MERVO.bmp", sheet},
                 {"../Immagini/ConsoleBackground.bmp", ConsoleBackground(256, 96)},
                 {"../Immagini/MiniMap.bmp", MiniMap(BuildLevel())}};
    for (const auto& f : files) {
        std::FILE* in = std::fopen(f.path, "rb");
        ASSERT_NE(in, nullptr) << f.path;
        std::vector<uint8_t> bytes;
        for (int c; (c = std::fgetc(in)) != EOF;) bytes.push_back(uint8_t(c));
        std::fclose(in);
        EXPECT_EQ(bytes, EncodeBmp(f.image)) << f.path;
    }
}
