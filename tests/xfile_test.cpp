// The X-file reader service: every encoding of one scene reads alike, data
// arrives packed as the program reads it, handles and references behave as the
// loaders rely on, real-file shapes are taken, and malformed files fail cleanly.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/testing.h"
#include "platform/win32/com_object.h"
#include "platform/xfile/dxfile.h"
#include "platform/xfile/xdocument.h"
#include "platform/win32/load_cache.h"
#include "tests/support/settled_files.h"
#include "tests/support/xfile_fixtures.h"
#include "tools/xsamples/xsamples.h"
#include "tools/xwriter/xwriter.h"

using xfile_fixtures::NameOf;
using xfile_fixtures::Ptr;
using xwriter::Encoding;

namespace {

const GUID kSkinWeights = {0x6F0D123B, 0xBAD2, 0x4167, {0xA0, 0xD0, 0x80, 0x22, 0x4F, 0x25, 0xFA, 0xBB}};
const GUID kXSkinMeshHeader = {0x3CF169CE, 0xFF7C, 0x44AB, {0x93, 0xC0, 0xF7, 0x8F, 0x62, 0xD1, 0x72, 0xE2}};

std::string GuidText(const GUID& g) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buf;
}

// A loaded file: the file object, its enumerator, or the failure.
struct Loaded {
    HRESULT hr = E_FAIL;
    std::string bytes;
    Ptr<IDirectXFile> file;
    Ptr<IDirectXFileEnumObject> enumerator;

    // The top-level objects through a new enumerator: fresh handles each call.
    std::vector<Ptr<IDirectXFileData>> Top() {
        std::vector<Ptr<IDirectXFileData>> out;
        DXFILELOADMEMORY mem = {const_cast<char*>(bytes.data()), static_cast<DWORD>(bytes.size())};
        IDirectXFileEnumObject* e = nullptr;
        if (FAILED(file->CreateEnumObject(&mem, DXFILELOAD_FROMMEMORY, &e))) return out;
        IDirectXFileData* d = nullptr;
        while (SUCCEEDED(e->GetNextDataObject(&d))) out.emplace_back(d);
        e->Release();
        return out;
    }
};

// The template blocks registered before a file is read.
enum class Blocks { None, Standard, WithDx9 };

Loaded LoadBytes(const std::string& bytes, Blocks blocks = Blocks::Standard) {
    Loaded l;
    l.bytes = bytes;
    IDirectXFile* f = nullptr;
    EXPECT_EQ(DirectXFileCreate(&f), DXFILE_OK);
    l.file.reset(f);
    if (blocks != Blocks::None) {
        EXPECT_EQ(f->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES), DXFILE_OK);
    }
    if (blocks == Blocks::WithDx9) {
        EXPECT_EQ(f->RegisterTemplates(D3DX9_XTEMPLATES, D3DX9_XTEMPLATE_BYTES), DXFILE_OK);
    }
    DXFILELOADMEMORY mem = {const_cast<char*>(l.bytes.data()), static_cast<DWORD>(l.bytes.size())};
    IDirectXFileEnumObject* e = nullptr;
    l.hr = f->CreateEnumObject(&mem, DXFILELOAD_FROMMEMORY, &e);
    l.enumerator.reset(e);
    return l;
}

Loaded LoadText(const std::string& body, const char* header = "xof 0303txt 0032\n") {
    return LoadBytes(header + body);
}

std::vector<Ptr<IDirectXFileObject>> Children(IDirectXFileData* d) {
    std::vector<Ptr<IDirectXFileObject>> out;
    IDirectXFileObject* c = nullptr;
    while (SUCCEEDED(d->GetNextObject(&c))) out.emplace_back(c);
    return out;
}

Ptr<IDirectXFileData> AsData(IDirectXFileObject* o) {
    void* p = nullptr;
    o->QueryInterface(IID_IDirectXFileData, &p);
    return Ptr<IDirectXFileData>(static_cast<IDirectXFileData*>(p));
}

Ptr<IDirectXFileDataReference> AsReference(IDirectXFileObject* o) {
    void* p = nullptr;
    o->QueryInterface(IID_IDirectXFileDataReference, &p);
    return Ptr<IDirectXFileDataReference>(static_cast<IDirectXFileDataReference*>(p));
}

std::vector<uint8_t> DataOf(IDirectXFileData* d, const char* member = nullptr) {
    DWORD size = 0;
    void* p = nullptr;
    EXPECT_EQ(d->GetData(member, &size, &p), DXFILE_OK);
    const auto* b = static_cast<const uint8_t*>(p);
    return b ? std::vector<uint8_t>(b, b + size) : std::vector<uint8_t>();
}

template <class T>
T At(const std::vector<uint8_t>& data, size_t offset) {
    T v{};
    EXPECT_LE(offset + sizeof v, data.size());
    if (offset + sizeof v <= data.size()) std::memcpy(&v, data.data() + offset, sizeof v);
    return v;
}

const char* StringAt(const std::vector<uint8_t>& data, size_t offset) { return At<const char*>(data, offset); }

// A readable dump of an object and everything below it; references show the
// object they resolve to. STRING members show their text, not the pointer.
void Dump(IDirectXFileData* d, std::ostringstream& out, int indent) {
    const GUID* type = nullptr;
    ASSERT_EQ(d->GetType(&type), DXFILE_OK);
    GUID id;
    d->GetId(&id);
    std::vector<uint8_t> data = DataOf(d);
    out << std::string(indent, ' ') << GuidText(*type) << " '" << NameOf(d) << "' id " << GuidText(id) << " [";
    std::set<size_t> strings;
    for (auto [tmpl, member] : {std::make_pair(TID_D3DRMTextureFilename, "filename"),
                                std::make_pair(kSkinWeights, "transformNodeName")}) {
        if (*type != tmpl) continue;
        DWORD size = 0;
        void* p = nullptr;
        ASSERT_EQ(d->GetData(member, &size, &p), DXFILE_OK);
        ASSERT_EQ(size, sizeof(char*));
        DWORD whole = 0;
        void* base = nullptr;
        d->GetData(nullptr, &whole, &base);
        strings.insert(static_cast<size_t>(static_cast<uint8_t*>(p) - static_cast<uint8_t*>(base)));
    }
    for (size_t i = 0; i < data.size();) {
        if (strings.count(i)) {
            out << " \"" << StringAt(data, i) << "\"";
            i += sizeof(char*);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%02x", data[i++]);
            out << hex;
        }
    }
    out << "]\n";
    for (auto& c : Children(d)) {
        if (auto ref = AsReference(c.get())) {
            GUID rid;
            ref->GetId(&rid);
            out << std::string(indent + 1, ' ') << "ref '" << NameOf(ref.get()) << "' " << GuidText(rid) << " -> ";
            IDirectXFileData* target = nullptr;
            if (SUCCEEDED(ref->Resolve(&target))) {
                out << "'" << NameOf(target) << "'\n";
                target->Release();
            } else {
                out << "(none)\n";
            }
        } else if (auto data = AsData(c.get())) {
            Dump(data.get(), out, indent + 1);
        }
    }
}

std::string DumpFile(const std::string& bytes, Blocks blocks = Blocks::Standard) {
    Loaded l = LoadBytes(bytes, blocks);
    EXPECT_EQ(l.hr, DXFILE_OK) << platform_testing::XFileLastError();
    std::ostringstream out;
    for (auto& top : l.Top()) Dump(top.get(), out, 0);
    return out.str();
}

// Finds the first object with this name, depth first.
Ptr<IDirectXFileData> FindNamed(IDirectXFileData* d, const std::string& name) {
    if (NameOf(d) == name) {
        d->AddRef();
        return Ptr<IDirectXFileData>(d);
    }
    for (auto& c : Children(d))
        if (auto child = AsData(c.get()))
            if (auto found = FindNamed(child.get(), name)) return found;
    return nullptr;
}

Ptr<IDirectXFileData> Find(Loaded& l, const std::string& name) {
    for (auto& top : l.Top())
        if (auto found = FindNamed(top.get(), name)) return found;
    return nullptr;
}

xwriter::File SmallCharacter(int floatBits = 32) {
    xwriter::File f = xsamples::Character(xsamples::CharacterShape{});
    f.floatBits = floatBits;
    return f;
}

}  // namespace

// ------------------------------------------------------------- encodings

TEST(XFileEncodings, EveryEncodingAndFloatSizeReadsTheSameScene) {
    const std::string reference = DumpFile(xwriter::Write(SmallCharacter(), Encoding::Text));
    ASSERT_FALSE(reference.empty());
    // Spot checks that the reference itself is right: references resolved,
    // the string shown, the forward reference found.
    EXPECT_NE(reference.find("\"textures\\ninja.bmp\""), std::string::npos) << reference;
    EXPECT_NE(reference.find("ref 'Metal' 00000000-0000-0000-0000-000000000000 -> 'Metal'"), std::string::npos);
    EXPECT_NE(reference.find("ref '' 00001001-0000-4000-8000-00000000ABCD -> 'Bone1'"), std::string::npos);
    EXPECT_NE(reference.find("ref 'Bone0' 00000000-0000-0000-0000-000000000000 -> 'Bone0'"), std::string::npos);

    for (int bits : {32, 64})
        for (Encoding e : {Encoding::Text, Encoding::Binary, Encoding::TextZip, Encoding::BinaryZip})
            EXPECT_EQ(DumpFile(xwriter::Write(SmallCharacter(bits), e)), reference)
                << "encoding " << static_cast<int>(e) << ", " << bits << "-bit floats";
}

TEST(XFileEncodings, LargeFilesSpanSeveralCompressedBlocks) {
    xwriter::File f = xsamples::BigMesh(5000);
    std::string zipped = xwriter::Write(f, Encoding::BinaryZip);
    ASSERT_GT(xwriter::Write(f, Encoding::Binary).size(), 3 * 32768u);
    EXPECT_EQ(DumpFile(zipped), DumpFile(xwriter::Write(f, Encoding::Binary)));
    EXPECT_EQ(DumpFile(xwriter::Write(f, Encoding::TextZip)), DumpFile(xwriter::Write(f, Encoding::Text)));
}

// ------------------------------------------------------------- data layout

TEST(XFileData, PackedLayoutsAreTheOnesTheProgramReads) {
    // 64-bit floats in the file arrive as 32-bit floats.
    Loaded l = LoadBytes(xwriter::Write(SmallCharacter(64), Encoding::Binary));
    ASSERT_EQ(l.hr, DXFILE_OK);

    auto root = Find(l, "Root");
    ASSERT_TRUE(root);
    auto bone1 = Find(l, "Bone1");
    ASSERT_TRUE(bone1);
    auto ftm = AsData(Children(bone1.get())[0].get());
    const GUID* type = nullptr;
    ftm->GetType(&type);
    EXPECT_EQ(*type, TID_D3DRMFrameTransformMatrix);
    std::vector<uint8_t> m = DataOf(ftm.get());
    ASSERT_EQ(m.size(), 64u);
    float expected[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 1.0f / 3, 0, 1};
    expected[13] = static_cast<float>(std::round(256.0 / 3) / 256.0);
    EXPECT_EQ(std::memcmp(m.data(), expected, 64), 0);

    auto body = Find(l, "Body");
    ASSERT_TRUE(body);
    std::vector<uint8_t> mesh = DataOf(body.get());
    // u32 nVertices; 12 vertices x 3 floats; u32 nFaces; faces {u32 n; u32 idx[n]}
    ASSERT_EQ(At<uint32_t>(mesh, 0), 12u);
    EXPECT_EQ(At<float>(mesh, 4), 0.25f);  // vertex 0 = (0.25, 0, 0)
    EXPECT_EQ(At<uint32_t>(mesh, 4 + 12 * 12), 17u);
    size_t face0 = 4 + 12 * 12 + 4;
    EXPECT_EQ(At<uint32_t>(mesh, face0), 3u);
    EXPECT_EQ(At<uint32_t>(mesh, face0 + 8), 4u);  // a, a + sides, b
    // 16 triangles of 16 bytes, then the quad cap of 20.
    EXPECT_EQ(mesh.size(), face0 + 16 * 16 + 20);
    EXPECT_EQ(At<uint32_t>(mesh, face0 + 16 * 16), 4u);
    // A member by name is its own slice of the data.
    EXPECT_EQ(DataOf(body.get(), "nFaces"), std::vector<uint8_t>(mesh.begin() + 148, mesh.begin() + 152));
    EXPECT_EQ(DataOf(body.get(), "vertices").size(), 144u);
    DWORD size = 1;
    void* p = &size;
    EXPECT_EQ(body->GetData("noSuchMember", &size, &p), DXFILEERR_NOTFOUND);
    EXPECT_EQ(body->GetData(nullptr, nullptr, &p), DXFILEERR_BADVALUE);

    std::map<std::string, std::vector<uint8_t>> byType;
    std::vector<std::vector<uint8_t>> skins;
    for (auto& c : Children(body.get())) {
        auto d = AsData(c.get());
        ASSERT_TRUE(d);
        d->GetType(&type);
        if (*type == kSkinWeights) skins.push_back(DataOf(d.get()));
        byType[GuidText(*type)] = DataOf(d.get());
    }
    // MeshNormals: nNormals then the first normal, as the loader copies it.
    std::vector<uint8_t>& normals = byType[GuidText(TID_D3DRMMeshNormals)];
    EXPECT_EQ(At<uint32_t>(normals, 0), 12u);
    EXPECT_EQ(At<float>(normals, 4), 1.0f);
    // XSkinMeshHeader: three WORDs.
    std::vector<uint8_t>& skinHeader = byType[GuidText(kXSkinMeshHeader)];
    ASSERT_EQ(skinHeader.size(), 6u);
    EXPECT_EQ(At<uint16_t>(skinHeader, 0), 2);
    EXPECT_EQ(At<uint16_t>(skinHeader, 2), 4);
    EXPECT_EQ(At<uint16_t>(skinHeader, 4), 3);
    // SkinWeights: a native pointer to the name, then the counts and arrays.
    ASSERT_EQ(skins.size(), 3u);
    EXPECT_STREQ(StringAt(skins[1], 0), "Bone1");
    uint32_t n = At<uint32_t>(skins[1], 8);
    EXPECT_EQ(n, 4u);  // the middle ring
    EXPECT_EQ(skins[1].size(), 8 + 4 + n * 4 + n * 4 + 64);
    EXPECT_EQ(At<uint32_t>(skins[1], 12), 4u);
    EXPECT_EQ(At<float>(skins[1], 12 + n * 4), 1.0f);

    // AnimationKey as the animation reader steps through it: keyType, nKeys,
    // then {time, nValues, values} per key.
    auto anim = Find(l, "Anim-1-2");
    ASSERT_TRUE(anim);
    std::map<uint32_t, std::vector<uint8_t>> keys;
    for (auto& c : Children(anim.get()))
        if (auto d = AsData(c.get())) {
            d->GetType(&type);
            if (*type == TID_D3DRMAnimationKey) {
                std::vector<uint8_t> k = DataOf(d.get());
                keys[At<uint32_t>(k, 0)] = k;
            }
        }
    for (auto [keyType, values] : {std::make_pair(0u, 4u), std::make_pair(1u, 3u), std::make_pair(2u, 3u),
                                   std::make_pair(4u, 16u)}) {
        std::vector<uint8_t>& k = keys[keyType];
        size_t step = 8 + 4 * values;
        ASSERT_EQ(k.size(), 8 + 3 * step) << keyType;
        EXPECT_EQ(At<uint32_t>(k, 4), 3u);
        EXPECT_EQ(At<uint32_t>(k, 8 + step), 40u);  // the second key's time
        EXPECT_EQ(At<uint32_t>(k, 8 + step + 4), values);
        // (set + 1) * 0.01 * (key + value + bone), rounded to 1/256
        float v = At<float>(k, 8 + step + 8 + 4);
        EXPECT_EQ(v, static_cast<float>(std::round(2 * 0.01 * (1 + 1 + 2) * 256) / 256)) << keyType;
    }
}

TEST(XFileData, DataOutlivesTheEnumeratorAndFileObject) {
    const int before = layer::LiveObjects(layer::ObjectFamily::XFile);
    const char* name = nullptr;
    IDirectXFileData* texture = nullptr;
    {
        Loaded l = LoadText("TextureFilename { \"skin.bmp\"; }\n");
        ASSERT_EQ(l.hr, DXFILE_OK);
        ASSERT_EQ(l.enumerator->GetNextDataObject(&texture), DXFILE_OK);
    }  // file object and enumerator released
    EXPECT_EQ(layer::LiveObjects(layer::ObjectFamily::XFile), before + 1);
    std::vector<uint8_t> data = DataOf(texture);
    name = StringAt(data, 0);
    EXPECT_STREQ(name, "skin.bmp");
    const GUID* type = nullptr;
    texture->GetType(&type);
    EXPECT_EQ(*type, TID_D3DRMTextureFilename);
    texture->Release();
    EXPECT_EQ(layer::LiveObjects(layer::ObjectFamily::XFile), before);
}

// ------------------------------------------------------------- handles

TEST(XFileHandles, EachHandleWalksItsChildrenFromTheFirst) {
    Loaded l = LoadText(
        "Frame A { Frame B {} Frame C {} }\n"
        "Frame D { { A } }\n");
    ASSERT_EQ(l.hr, DXFILE_OK);
    auto top = l.Top();
    ASSERT_EQ(top.size(), 2u);
    // Walk A completely from the top level...
    EXPECT_EQ(Children(top[0].get()).size(), 2u);
    EXPECT_EQ(Children(top[0].get()).size(), 0u);  // that handle's cursor is spent
    // ...then reach it again through D's reference: a fresh handle.
    auto dChildren = Children(top[1].get());
    ASSERT_EQ(dChildren.size(), 1u);
    auto ref = AsReference(dChildren[0].get());
    ASSERT_TRUE(ref);
    IDirectXFileData* a1 = nullptr;
    IDirectXFileData* a2 = nullptr;
    ASSERT_EQ(ref->Resolve(&a1), DXFILE_OK);
    ASSERT_EQ(ref->Resolve(&a2), DXFILE_OK);
    EXPECT_NE(a1, a2);
    auto kids = Children(a1);
    ASSERT_EQ(kids.size(), 2u);
    EXPECT_EQ(NameOf(kids[0].get()), "B");
    EXPECT_EQ(NameOf(kids[1].get()), "C");
    EXPECT_EQ(Children(a2).size(), 2u);
    // Node data is shared between handles.
    const GUID *t1 = nullptr, *t2 = nullptr;
    a1->GetType(&t1);
    top[0]->GetType(&t2);
    EXPECT_EQ(t1, t2);
    a1->Release();
    a2->Release();

    IDirectXFileObject* none = reinterpret_cast<IDirectXFileObject*>(&l);
    EXPECT_EQ(top[0]->GetNextObject(&none), DXFILEERR_NOMOREOBJECTS);
    EXPECT_EQ(none, nullptr);
    IDirectXFileData* d = nullptr;
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(l.enumerator->GetNextDataObject(&d), DXFILE_OK);
        d->Release();
    }
    EXPECT_EQ(l.enumerator->GetNextDataObject(&d), DXFILEERR_NOMOREOBJECTS);
    EXPECT_EQ(d, nullptr);
}

TEST(XFileHandles, ChildrenAnswerOnlyToTheirOwnKind) {
    const int before = layer::LiveObjects(layer::ObjectFamily::XFile);
    {
        Loaded l = LoadText("Frame A { Frame B {} { B } }\n");
        ASSERT_EQ(l.hr, DXFILE_OK);
        auto top = l.Top();
        auto kids = Children(top[0].get());
        ASSERT_EQ(kids.size(), 2u);
        void* p = &p;
        // The nested frame is data, not a reference.
        EXPECT_EQ(kids[0]->QueryInterface(IID_IDirectXFileDataReference, &p), E_NOINTERFACE);
        EXPECT_EQ(p, nullptr);
        EXPECT_TRUE(AsData(kids[0].get()));
        // The reference is not data.
        EXPECT_EQ(kids[1]->QueryInterface(IID_IDirectXFileData, &p), E_NOINTERFACE);
        EXPECT_TRUE(AsReference(kids[1].get()));
        // Both are objects and IUnknowns; queries add a reference.
        for (auto& k : kids)
            for (const IID* iid : {&IID_IDirectXFileObject, &IID_IUnknown}) {
                ASSERT_EQ(k->QueryInterface(*iid, &p), S_OK);
                EXPECT_EQ(k->AddRef(), 3u);
                k->Release();
                static_cast<IUnknown*>(p)->Release();
            }
        EXPECT_EQ(l.enumerator->QueryInterface(IID_IDirectXFileData, &p), E_NOINTERFACE);
        EXPECT_EQ(l.file->QueryInterface(IID_IDirectXFile, &p), S_OK);
        static_cast<IUnknown*>(p)->Release();
    }
    EXPECT_EQ(layer::LiveObjects(layer::ObjectFamily::XFile), before);
}

TEST(XFileHandles, NamesAndIdentifiers) {
    std::string bin = std::string("xof 0303bin 0032");
    auto tok = [](uint16_t t) { return std::string{static_cast<char>(t), 0}; };
    auto dw = [](uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
    // Frame with an empty name record (count 0), as one real exporter writes.
    bin += tok(1) + dw(5) + "Frame" + tok(1) + dw(0) + tok(10) + tok(11);
    Loaded b = LoadBytes(bin);
    ASSERT_EQ(b.hr, DXFILE_OK) << platform_testing::XFileLastError();

    Loaded l = LoadText("Frame Named_01 { <01234567-89AB-CDEF-0123-456789ABCDEF> }\nFrame {}\n");
    ASSERT_EQ(l.hr, DXFILE_OK);
    auto top = l.Top();
    top.push_back(std::move(b.Top()[0]));
    DWORD len = 99;
    ASSERT_EQ(top[0]->GetName(nullptr, &len), DXFILE_OK);
    EXPECT_EQ(len, 9u);  // counting the terminator
    char small[4] = "xyz";
    len = sizeof small;
    EXPECT_LT(top[0]->GetName(small, &len), 0);
    EXPECT_EQ(len, 9u);
    char buf[16];
    len = sizeof buf;
    EXPECT_EQ(top[0]->GetName(buf, &len), DXFILE_OK);
    EXPECT_STREQ(buf, "Named_01");
    GUID id;
    top[0]->GetId(&id);
    EXPECT_EQ(GuidText(id), "01234567-89AB-CDEF-0123-456789ABCDEF");
    // Unnamed and empty-named objects have no name: length 0.
    for (size_t i : {1u, 2u}) {
        len = 99;
        EXPECT_EQ(top[i]->GetName(nullptr, &len), DXFILE_OK);
        EXPECT_EQ(len, 0u);
        top[i]->GetId(&id);
        EXPECT_EQ(id, GUID{});
    }
    EXPECT_EQ(top[0]->GetName(buf, nullptr), DXFILEERR_BADVALUE);
}

// ------------------------------------------------------------- references

TEST(XFileReferences, ResolveByNameThenByGuidAtAnyDepthForwardOrNot) {
    Loaded l = LoadText(
        "Frame Holder {\n"
        "  { Later }\n"                                            // forward
        "  { <22222222-0000-0000-0000-000000000000> }\n"          // by GUID, nested target
        "  { Outer <22222222-0000-0000-0000-000000000000> }\n"    // the name wins
        "  { Nobody <33333333-0000-0000-0000-000000000000> }\n"   // unresolved
        "  { Dup }\n"                                              // first in file order
        "}\n"
        "Frame Outer { Frame Inner { <22222222-0000-0000-0000-000000000000> } Frame Dup { Frame Deep {} } }\n"
        "Frame Dup {}\n"
        "Frame Later {}\n");
    ASSERT_EQ(l.hr, DXFILE_OK) << platform_testing::XFileLastError();
    auto top = l.Top();
    std::vector<std::string> resolved;
    for (auto& c : Children(top[0].get())) {
        auto ref = AsReference(c.get());
        ASSERT_TRUE(ref);
        IDirectXFileData* target = reinterpret_cast<IDirectXFileData*>(&l);
        if (SUCCEEDED(ref->Resolve(&target))) {
            std::string s = NameOf(target);
            if (s == "Dup") s += "/" + std::to_string(Children(target).size());
            resolved.push_back(s);
            target->Release();
        } else {
            EXPECT_EQ(target, nullptr);
            resolved.push_back("(unresolved)");
        }
    }
    EXPECT_EQ(resolved, (std::vector<std::string>{"Later", "Inner", "Outer", "(unresolved)", "Dup/1"}));
    EXPECT_EQ(AsReference(Children(l.Top()[0].get())[0].get())->Resolve(nullptr), DXFILEERR_BADVALUE);
}

TEST(XFileReferences, CyclesResolveWithoutHangingAndAWalkerCanStop) {
    Loaded l = LoadText(
        "Frame A { { A } Frame B { { C } } }\n"
        "Frame C { { A } }\n");
    ASSERT_EQ(l.hr, DXFILE_OK);
    // A walker that follows every reference, skipping targets already on its
    // path, as the loaders do.
    std::vector<std::string> path;
    int visits = 0;
    std::function<void(IDirectXFileData*)> walk = [&](IDirectXFileData* d) {
        std::string name = NameOf(d);
        for (const std::string& p : path)
            if (p == name) return;
        ++visits;
        path.push_back(name);
        for (auto& c : Children(d)) {
            if (auto ref = AsReference(c.get())) {
                IDirectXFileData* t = nullptr;
                ASSERT_EQ(ref->Resolve(&t), DXFILE_OK);
                walk(t);
                t->Release();
            } else if (auto data = AsData(c.get())) {
                walk(data.get());
            }
        }
        path.pop_back();
    };
    for (auto& top : l.Top()) walk(top.get());
    EXPECT_EQ(visits, 3 + 3);  // A B C from A; C A B from C
}

// ------------------------------------------------------------- headers

TEST(XFileHeader, VersionsFormatsAndFloatSizes) {
    struct Case {
        std::string header;
        HRESULT hr;
    } cases[] = {
        {"xof 0302txt 0032", DXFILE_OK},
        {"xof 0303txt 0064", DXFILE_OK},
        {"xof 0302bin 0064", DXFILE_OK},
        {"xof 0303bin 0032", DXFILE_OK},
        {"xof 0301txt 0032", DXFILE_OK},
        {"xof 0303tzip0032", DXFILEERR_BADFILE},  // a header without the compressed body
        {"XOF 0303txt 0032", DXFILEERR_BADFILETYPE},
        {"xof 0203txt 0032", DXFILEERR_BADFILEVERSION},
        {"xof 03a3txt 0032", DXFILEERR_BADFILEVERSION},
        {"xof 0303cmp 0032", DXFILEERR_BADFILETYPE},
        {"xof 0303TXT 0032", DXFILEERR_BADFILETYPE},
        {"xof 0303txt 0016", DXFILEERR_BADFILEFLOATSIZE},
        {"xof 0303txt 003", DXFILEERR_BADFILETYPE},  // too short
        {"", DXFILEERR_BADFILETYPE},
    };
    for (const Case& c : cases) {
        Loaded l = LoadBytes(c.header);
        EXPECT_EQ(l.hr, c.hr) << c.header;
        EXPECT_EQ(l.enumerator == nullptr, FAILED(c.hr)) << c.header;
        if (FAILED(c.hr)) {
            EXPECT_FALSE(platform_testing::XFileLastError().empty());
        }
    }
}

TEST(XFileHeader, OpensFilesByWindowsPath) {
    const std::string dir = "../xfile_test_files";
    std::filesystem::create_directories(dir);
    ASSERT_TRUE(xwriter::WriteFile(dir + "/Scene.x", SmallCharacter(), Encoding::Binary));
    IDirectXFile* f = nullptr;
    ASSERT_EQ(DirectXFileCreate(&f), DXFILE_OK);
    Ptr<IDirectXFile> file(f);
    ASSERT_EQ(f->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES), DXFILE_OK);
    IDirectXFileEnumObject* e = nullptr;
    ASSERT_EQ(f->CreateEnumObject("..\\xfile_test_files\\Scene.x", DXFILELOAD_FROMFILE, &e), DXFILE_OK);
    Ptr<IDirectXFileEnumObject> en(e);
    IDirectXFileData* d = nullptr;
    ASSERT_EQ(e->GetNextDataObject(&d), DXFILE_OK);
    d->Release();
    // Windows names need not match the case of the files on disk.
    ASSERT_EQ(f->CreateEnumObject("..\\XFILE_test_files\\scene.X", DXFILELOAD_FROMFILE, &e), DXFILE_OK);
    e->Release();

    // A refusal is reported on the debugger output.
    std::ofstream(dir + "/Bad.x") << "xof 0303txt 0032\nFrame { Nope {} }";
    platform_testing::CaptureDebugOutput(true);
    platform_testing::ClearDebugOutput();
    EXPECT_EQ(f->CreateEnumObject("..\\xfile_test_files\\Bad.x", DXFILELOAD_FROMFILE, &e), DXFILEERR_NOTEMPLATE);
    EXPECT_EQ(platform_testing::DebugOutputText(),
              "X file: ..\\xfile_test_files\\Bad.x: line 2: undefined template 'Nope'\n");
    platform_testing::CaptureDebugOutput(false);

    e = reinterpret_cast<IDirectXFileEnumObject*>(f);
    EXPECT_EQ(f->CreateEnumObject("..\\xfile_test_files\\Missing.x", DXFILELOAD_FROMFILE, &e),
              DXFILEERR_FILENOTFOUND);
    EXPECT_EQ(e, nullptr);
    EXPECT_NE(platform_testing::XFileLastError().find("Missing.x"), std::string::npos);
    EXPECT_EQ(f->CreateEnumObject(nullptr, DXFILELOAD_FROMFILE, &e), DXFILEERR_BADVALUE);
    EXPECT_EQ(f->CreateEnumObject("x", DXFILELOAD_FROMURL, &e), DXFILEERR_BADVALUE);
    EXPECT_EQ(f->CreateEnumObject("x", DXFILELOAD_FROMFILE, nullptr), DXFILEERR_BADVALUE);
    EXPECT_EQ(DirectXFileCreate(nullptr), DXFILEERR_BADVALUE);
}

// Start-up reads the level's file twice and the character's twice, with the
// same template blocks: within one load each is parsed once, while it stays
// unchanged. A file that may still be changing is read every time.
TEST(XFileHeader, AFileOpenedAgainInOneLoadIsParsedOnce) {
    const std::string dir = "../xfile_test_files";
    std::filesystem::create_directories(dir);
    ASSERT_TRUE(xwriter::WriteFile(dir + "/Kept.x", SmallCharacter(), Encoding::Text));
    ASSERT_TRUE(settled_files::WaitUntilSettled({"..\\xfile_test_files\\Kept.x"}));
    auto open = [](std::initializer_list<std::pair<const void*, DWORD>> blocks, const char* path) {
        IDirectXFile* f = nullptr;
        EXPECT_EQ(DirectXFileCreate(&f), DXFILE_OK);
        Ptr<IDirectXFile> file(f);
        for (auto [block, size] : blocks) EXPECT_EQ(f->RegisterTemplates(block, size), DXFILE_OK);
        IDirectXFileEnumObject* e = nullptr;
        EXPECT_EQ(f->CreateEnumObject(path, DXFILELOAD_FROMFILE, &e), DXFILE_OK);
        Ptr<IDirectXFileEnumObject> en(e);
        IDirectXFileData* d = nullptr;
        EXPECT_EQ(e->GetNextDataObject(&d), DXFILE_OK);
        Ptr<IDirectXFileData> top(d);
        DWORD size = 0;
        void* data = nullptr;
        d->GetData(nullptr, &size, &data);
        return std::make_pair(NameOf(d), std::string(static_cast<const char*>(data), size));
    };
    const std::pair<const void*, DWORD> standard{D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES},
        dx9{D3DX9_XTEMPLATES, D3DX9_XTEMPLATE_BYTES};
    const unsigned before = platform_testing::XFileFilesParsed();
    const auto first = open({standard, dx9}, "..\\xfile_test_files\\Kept.x");
    // Another file object, all its handles gone in between, the name spelt otherwise.
    EXPECT_EQ(open({standard, dx9}, "..\\xfile_test_files\\Kept.x"), first);
    EXPECT_EQ(open({standard, dx9}, "..\\XFILE_test_files\\kept.X"), first);
    EXPECT_EQ(platform_testing::XFileFilesParsed(), before + 1);
    // Other templates may read it otherwise.
    EXPECT_EQ(open({standard}, "..\\xfile_test_files\\Kept.x"), first);
    EXPECT_EQ(platform_testing::XFileFilesParsed(), before + 2);
    // A new load reads it again.
    layer::EndLoad();
    EXPECT_EQ(open({standard, dx9}, "..\\xfile_test_files\\Kept.x"), first);
    EXPECT_EQ(platform_testing::XFileFilesParsed(), before + 3);

    // Rewritten at once with as many bytes, a file is seen as it is now.
    for (float value : {3.5f, 4.5f}) {
        std::ofstream(dir + "/Fresh.x") << "xof 0303txt 0032\nFrameTransformMatrix { " << value
                                        << ",0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }";
        const std::string data = open({standard}, "..\\xfile_test_files\\Fresh.x").second;
        ASSERT_EQ(data.size(), 64u);
        float first = 0;
        std::memcpy(&first, data.data(), 4);
        EXPECT_EQ(first, value);
    }
}

// ------------------------------------------------------------- templates

TEST(XFileTemplates, TheStandardBlockHoldsTheThirtyFiveTemplates) {
    ASSERT_EQ(sizeof D3DRM_XTEMPLATES, static_cast<size_t>(D3DRM_XTEMPLATE_BYTES));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(D3DRM_XTEMPLATES), 16), "xof 0302bin 0064");
    xfile::Document doc;
    xfile::ParseResult r = xfile::Parse(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES, xfile::TemplateSet(),
                                        xfile::ParseMode::TemplatesOnly, doc);
    ASSERT_EQ(r.hr, DXFILE_OK) << r.message;
    auto all = doc.templates.InOrder();
    ASSERT_EQ(all.size(), 35u);
    EXPECT_EQ(all.front()->name, "Header");
    EXPECT_EQ(all.back()->name, "RightHanded");
    const std::pair<const char*, const GUID*> tids[] = {
        {"Header", &TID_DXFILEHeader}, {"Vector", &TID_D3DRMVector}, {"Coords2d", &TID_D3DRMCoords2d},
        {"Matrix4x4", &TID_D3DRMMatrix4x4}, {"ColorRGBA", &TID_D3DRMColorRGBA}, {"ColorRGB", &TID_D3DRMColorRGB},
        {"IndexedColor", &TID_D3DRMIndexedColor}, {"Boolean", &TID_D3DRMBoolean}, {"Boolean2d", &TID_D3DRMBoolean2d},
        {"MaterialWrap", &TID_D3DRMMaterialWrap}, {"TextureFilename", &TID_D3DRMTextureFilename},
        {"Material", &TID_D3DRMMaterial}, {"MeshFace", &TID_D3DRMMeshFace}, {"MeshFaceWraps", &TID_D3DRMMeshFaceWraps},
        {"MeshTextureCoords", &TID_D3DRMMeshTextureCoords}, {"MeshMaterialList", &TID_D3DRMMeshMaterialList},
        {"MeshNormals", &TID_D3DRMMeshNormals}, {"MeshVertexColors", &TID_D3DRMMeshVertexColors},
        {"Mesh", &TID_D3DRMMesh}, {"FrameTransformMatrix", &TID_D3DRMFrameTransformMatrix},
        {"Frame", &TID_D3DRMFrame}, {"FloatKeys", &TID_D3DRMFloatKeys}, {"TimedFloatKeys", &TID_D3DRMTimedFloatKeys},
        {"AnimationKey", &TID_D3DRMAnimationKey}, {"AnimationOptions", &TID_D3DRMAnimationOptions},
        {"Animation", &TID_D3DRMAnimation}, {"AnimationSet", &TID_D3DRMAnimationSet}, {"Guid", &TID_D3DRMGuid},
        {"InlineData", &TID_D3DRMInlineData}, {"Url", &TID_D3DRMUrl}, {"ProgressiveMesh", &TID_D3DRMProgressiveMesh},
        {"StringProperty", &TID_D3DRMStringProperty}, {"PropertyBag", &TID_D3DRMPropertyBag},
        {"ExternalVisual", &TID_D3DRMExternalVisual}, {"RightHanded", &TID_D3DRMRightHanded},
    };
    for (size_t i = 0; i < 35; ++i) {
        EXPECT_EQ(all[i]->name, tids[i].first);
        EXPECT_EQ(GuidText(all[i]->guid), GuidText(*tids[i].second)) << tids[i].first;
    }
    // The GUIDs the program compares.
    EXPECT_EQ(GuidText(TID_D3DRMFrame), "3D82AB46-62DA-11CF-AB39-0020AF71E433");
    EXPECT_EQ(GuidText(TID_D3DRMFrameTransformMatrix), "F6F23F41-7686-11CF-8F52-0040333594A3");
    EXPECT_EQ(GuidText(TID_D3DRMMesh), "3D82AB44-62DA-11CF-AB39-0020AF71E433");
    EXPECT_EQ(GuidText(TID_D3DRMMeshNormals), "F6F23F43-7686-11CF-8F52-0040333594A3");
    EXPECT_EQ(GuidText(TID_D3DRMAnimationSet), "3D82AB50-62DA-11CF-AB39-0020AF71E433");
    EXPECT_EQ(GuidText(TID_D3DRMAnimation), "3D82AB4F-62DA-11CF-AB39-0020AF71E433");
    EXPECT_EQ(GuidText(TID_D3DRMAnimationKey), "10DD46A8-775B-11CF-8F52-0040333594A3");
    EXPECT_EQ(GuidText(IID_IDirectXFileData), "3D82AB44-62DA-11CF-AB39-0020AF71E433");
    EXPECT_EQ(GuidText(IID_IDirectXFileDataReference), "3D82AB45-62DA-11CF-AB39-0020AF71E433");
    for (const char* skin : {"XSkinMeshHeader", "SkinWeights", "VertexDuplicationIndices", "AnimTicksPerSecond"})
        EXPECT_EQ(doc.templates.Find(skin), nullptr) << skin;
}

TEST(XFileTemplates, TheDirectX9BlockAddsItsTemplatesAfterTheStandardOnes) {
    ASSERT_EQ(sizeof D3DX9_XTEMPLATES, static_cast<size_t>(D3DX9_XTEMPLATE_BYTES));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(D3DX9_XTEMPLATES), 16), "xof 0302bin 0064");
    xfile::Document standard, doc, alone;
    ASSERT_EQ(xfile::Parse(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES, xfile::TemplateSet(),
                           xfile::ParseMode::TemplatesOnly, standard)
                  .hr,
              DXFILE_OK);
    xfile::ParseResult r = xfile::Parse(D3DX9_XTEMPLATES, D3DX9_XTEMPLATE_BYTES, standard.templates,
                                        xfile::ParseMode::TemplatesOnly, doc);
    ASSERT_EQ(r.hr, DXFILE_OK) << r.message;
    const std::pair<const char*, const char*> added[] = {
        {"XSkinMeshHeader", "3CF169CE-FF7C-44AB-93C0-F78F62D172E2"},
        {"VertexDuplicationIndices", "B8D65549-D7C9-4995-89CF-53A9A8B031E3"},
        {"FaceAdjacency", "A64C844A-E282-4756-8B80-250CDE04398C"},
        {"SkinWeights", "6F0D123B-BAD2-4167-A0D0-80224F25FABB"},
        {"Patch", "A3EB5D44-FC22-429D-9AFB-3221CB9719A6"},
        {"PatchMesh", "D02C95CC-EDBA-4305-9B5D-1820D7704BBF"},
        {"PatchMesh9", "B9EC94E1-B9A6-4251-BA18-94893F02C0EA"},
        {"EffectFloats", "F1CFE2B3-0DE3-4E28-AFA1-155A750A282D"},
        {"EffectString", "D55B097E-BDB6-4C52-B03D-6051C89D0E42"},
        {"EffectDWord", "622C0ED0-956E-4DA9-908A-2AF94F3CE716"},
        {"EffectParamFloats", "3014B9A0-62F5-478C-9B86-E4AC9F4E418B"},
        {"EffectParamString", "1DBC4C88-94C1-46EE-9076-2C28818C9481"},
        {"EffectParamDWord", "E13963BC-AE51-4C5D-B00F-CFA3A9D97CE5"},
        {"EffectInstance", "E331F7E4-0559-4CC2-8E99-1CEC1657928F"},
        {"AnimTicksPerSecond", "9E415A43-7BA6-4A73-8743-B73D47E88476"},
        {"CompressedAnimationSet", "7F9B00B3-F125-4890-876E-1C42BF697C4D"},
        {"FVFData", "B6E70A0E-8EF9-4E83-94AD-ECC8B0C04897"},
        {"VertexElement", "F752461C-1E23-48F6-B9F8-8350850F336F"},
        {"DeclData", "BF22E553-292C-4781-9FEA-62BD554BDD93"},
        {"PMAttributeRange", "917E0427-C61E-4A14-9C64-AFE65F9E9844"},
        {"PMVSplitRecord", "574CCC14-F0B3-4333-822D-93E8A8A08E4C"},
        {"PMInfo", "B6C3E656-EC8B-4B92-9B62-681659522947"},
    };
    const size_t n = sizeof added / sizeof added[0];
    auto all = doc.templates.InOrder();
    ASSERT_EQ(all.size(), 35u + n);
    EXPECT_EQ(all[34]->name, "RightHanded");
    for (size_t i = 0; i < n; ++i) {
        EXPECT_EQ(all[35 + i]->name, added[i].first);
        EXPECT_EQ(GuidText(all[35 + i]->guid), added[i].second) << added[i].first;
    }
    // Members of a few, by the values one instance takes.
    EXPECT_EQ(doc.templates.Find("XSkinMeshHeader")->members.size(), 3u);
    EXPECT_EQ(doc.templates.Find("SkinWeights")->members.size(), 5u);
    EXPECT_EQ(doc.templates.Find("PMInfo")->members.size(), 9u);
    EXPECT_EQ(doc.templates.Find("DeclData")->members[1].type->name, "VertexElement");
    // It builds on the standard block and is refused without it.
    EXPECT_EQ(xfile::Parse(D3DX9_XTEMPLATES, D3DX9_XTEMPLATE_BYTES, xfile::TemplateSet(),
                           xfile::ParseMode::TemplatesOnly, alone)
                  .hr,
              DXFILEERR_NOTEMPLATE);
}

// Exported characters use the DirectX 9 templates without declaring them:
// they read once the additions are registered, and the same data as a file
// that declares them; a file that declares them still reads the same.
TEST(XFileTemplates, FilesUseTheDirectX9TemplatesUndeclared) {
    xsamples::CharacterShape shape;
    shape.declareSkinTemplates = false;
    const xwriter::File exported = xsamples::Character(shape);
    const std::string declared = xwriter::Write(SmallCharacter(), Encoding::Text);
    const std::string reference = DumpFile(declared);
    EXPECT_EQ(DumpFile(declared, Blocks::WithDx9), reference);

    // The exported file holds two objects more: the ticks (4800) and the
    // duplication indices of its 12 vertices.
    const std::string ticks = "9E415A43-7BA6-4A73-8743-B73D47E88476 '' id 00000000-0000-0000-0000-000000000000 [c0120000]";
    const std::string duplicates = "B8D65549-D7C9-4995-89CF-53A9A8B031E3";
    for (Encoding e : {Encoding::Text, Encoding::Binary, Encoding::TextZip, Encoding::BinaryZip}) {
        SCOPED_TRACE(static_cast<int>(e));
        const std::string bytes = xwriter::Write(exported, e);
        if (e == Encoding::Text) {
            EXPECT_EQ(bytes.find("template"), std::string::npos);
        }
        EXPECT_EQ(LoadBytes(bytes).hr, DXFILEERR_NOTEMPLATE);
        EXPECT_NE(platform_testing::XFileLastError().find("AnimTicksPerSecond"), std::string::npos)
            << platform_testing::XFileLastError();

        const std::string dump = DumpFile(bytes, Blocks::WithDx9);
        std::istringstream lines(dump);
        std::string line, rest;
        int extra = 0;
        while (std::getline(lines, line)) {
            if (line == ticks || line.find(duplicates) != std::string::npos) {
                ++extra;
                continue;
            }
            rest += line + "\n";
        }
        EXPECT_EQ(extra, 2) << dump;
        EXPECT_EQ(rest, reference);
    }
}

TEST(XFileTemplates, TextAndBinaryBlocksRegisterTheSameTemplates) {
    std::ifstream in(std::string(std::getenv("BRANTO_SOURCE_DIR")) + "/platform/xfile/standard_templates.x",
                     std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string src = text.str();
    ASSERT_GT(src.size(), 1000u);
    // The text block registered alone reads the whole scene, as the binary one does.
    const std::string skinned = xwriter::Write(SmallCharacter(), Encoding::Binary);
    std::ostringstream viaText;
    {
        Loaded l = LoadBytes(skinned, Blocks::None);
        EXPECT_LT(l.hr, 0);
        ASSERT_EQ(l.file->RegisterTemplates(src.data(), static_cast<DWORD>(src.size())), DXFILE_OK);
        for (auto& t : l.Top()) Dump(t.get(), viaText, 0);
    }
    EXPECT_EQ(viaText.str(), DumpFile(skinned));
}

TEST(XFileTemplates, RegistrationReachesLaterEnumeratorsOnly) {
    const std::string file = xwriter::Write(SmallCharacter(), Encoding::Binary);
    // Without the standard block, the file's Frame is an undefined template.
    Loaded bare = LoadBytes(file, Blocks::None);
    EXPECT_EQ(bare.hr, DXFILEERR_NOTEMPLATE);
    EXPECT_NE(platform_testing::XFileLastError().find("undefined template 'Matrix4x4'"), std::string::npos)
        << platform_testing::XFileLastError();
    // A block with data objects, or malformed, is refused and changes nothing.
    const std::string withData = "xof 0303txt 0032 template T { <01234567-89AB-CDEF-0123-456789ABCDEF> DWORD a; } T { 1; }";
    EXPECT_LT(bare.file->RegisterTemplates(withData.data(), static_cast<DWORD>(withData.size())), 0);
    EXPECT_LT(bare.file->RegisterTemplates(D3DRM_XTEMPLATES, 100), 0);
    EXPECT_EQ(bare.file->RegisterTemplates(nullptr, 0), DXFILEERR_BADVALUE);
    DXFILELOADMEMORY mem = {const_cast<char*>(file.data()), static_cast<DWORD>(file.size())};
    IDirectXFileEnumObject* e = nullptr;
    EXPECT_LT(bare.file->CreateEnumObject(&mem, DXFILELOAD_FROMMEMORY, &e), 0);
    ASSERT_EQ(bare.file->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES), DXFILE_OK);
    ASSERT_EQ(bare.file->CreateEnumObject(&mem, DXFILELOAD_FROMMEMORY, &e), DXFILE_OK);
    e->Release();
}

// ------------------------------------------------------------- real-file shapes

// Text in the shapes real exporters write.
TEST(XFileRealFiles, TextTolerances) {
    struct Case {
        const char* what;
        std::string body;
        std::function<void(Loaded&)> check;
    };
    std::vector<Case> cases = {
        {"comments, CRLF and separator runs",
         "# a comment\r\n// another\r\nVector v1 { 1.5;;; , 2 ,, -3e1 ; // trailing\r\n }\r\n",
         [&](Loaded& l) {
             auto top = l.Top();
             auto d = DataOf(top[0].get());
             EXPECT_EQ(At<float>(d, 0), 1.5f);
             EXPECT_EQ(At<float>(d, 4), 2.0f);  // an integer where a float stands
             EXPECT_EQ(At<float>(d, 8), -30.0f);
         }},
        {"no whitespace at all",
         "AnimationKey{0;2;0;4;1,0,0,0;;,29;4;1,0,0,0;;;}",
         [&](Loaded& l) {
             auto top = l.Top();
             auto d = DataOf(top[0].get());
             ASSERT_EQ(d.size(), 8 + 2 * 24u);
             EXPECT_EQ(At<uint32_t>(d, 8 + 24), 29u);
             EXPECT_EQ(At<float>(d, 8 + 24 + 8), 1.0f);
         }},
        {"names with other characters, unnamed objects",
         "Frame PDX01_-_Default { Frame Anim-1 {} Frame 2nd.bone {} Frame {} }",
         [&](Loaded& l) {
             auto top = l.Top();
             EXPECT_EQ(NameOf(top[0].get()), "PDX01_-_Default");
             auto kids = Children(top[0].get());
             ASSERT_EQ(kids.size(), 3u);
             EXPECT_EQ(NameOf(kids[0].get()), "Anim-1");
             EXPECT_EQ(NameOf(kids[1].get()), "2nd.bone");
             EXPECT_EQ(NameOf(kids[2].get()), "");
         }},
        {"both spellings of TextureFilename, doubled backslashes",
         "TextureFileName { \"maps\\\\skin.bmp\"; } TextureFilename { \"C:\\dir\\a.bmp\"; }",
         [&](Loaded& l) {
             auto top = l.Top();
             ASSERT_EQ(top.size(), 2u);
             for (auto& t : top) {
                 const GUID* type = nullptr;
                 t->GetType(&type);
                 EXPECT_EQ(*type, TID_D3DRMTextureFilename);
             }
             EXPECT_STREQ(StringAt(DataOf(top[0].get()), 0), "maps\\skin.bmp");
             EXPECT_STREQ(StringAt(DataOf(top[1].get()), 0), "C:\\dir\\a.bmp");
         }},
        {"lower-case types and the member-list shorthand in templates",
         "template Pair { <01234567-89AB-CDEF-0123-456789ABCDEF> dword n; array float w[n]; string s; FLOAT a, b; }\n"
         "Pair { 2; 0.5, 0.25; \"x\"; 1; 2; }",
         [&](Loaded& l) {
             auto top = l.Top();
             auto d = DataOf(top[0].get());
             ASSERT_EQ(d.size(), 4 + 8 + 8 + 8u);
             EXPECT_EQ(At<float>(d, 8), 0.25f);
             EXPECT_STREQ(StringAt(d, 12), "x");
             EXPECT_EQ(At<float>(d, 24), 2.0f);
         }},
        {"redeclared standard template, same GUID, and an old one under another GUID",
         "template Vector { <3D82AB5E-62DA-11CF-AB39-0020AF71E433> FLOAT x; FLOAT y; FLOAT z; }\n"
         "template Boolean { <4885AE61-78E8-11CF-8F52-0040333594A3> WORD truefalse; }\n"
         "template Boolean2d { <4885AE63-78E8-11CF-8F52-0040333594A3> Boolean u; Boolean v; }\n"
         "template MeshFaceWraps { <4885AE62-78E8-11CF-8F52-0040333594A3> DWORD nFaceWrapValues; Boolean2d faceWrapValues; }\n"
         "MeshFaceWraps { 1; 1; 0;; }  Vector { 1; 2; 3; }",
         [&](Loaded& l) {
             auto top = l.Top();
             auto d = DataOf(top[0].get());
             // Boolean2d now holds two WORD Booleans.
             EXPECT_EQ(d.size(), 4 + 2 + 2u);
             const GUID* type = nullptr;
             top[0]->GetType(&type);
             EXPECT_EQ(GuidText(*type), "4885AE62-78E8-11CF-8F52-0040333594A3");
         }},
        {"references before the members, inline templates of other names",
         "template KeyValuePair { <26E6B1C3-3D4D-4A1D-A437-B33668FFA1C2> STRING key; STRING value; }\n"
         "Frame Bone {}\n"
         "AnimationSet { Animation { { Bone } AnimationKey { 2; 1; 0; 3; 1, 2, 3;;; } } }\n"
         "MeshMaterialList { { Bone } 1; 1; 0;; }\n"
         "KeyValuePair { \"a\"; \"b\"; }",
         [&](Loaded& l) {
             auto top = l.Top();
             ASSERT_EQ(top.size(), 4u);
             auto list = DataOf(top[2].get());
             EXPECT_EQ(list.size(), 12u);
             EXPECT_EQ(Children(top[2].get()).size(), 1u);
         }},
        {"matrix keys, several top-level frames, top-level material referenced from a material list",
         "Material Red { 1;0;0;1;; 5; 0;0;0;; 0;0;0;; }\n"
         "Frame A {} Frame B { Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshMaterialList { 1; 1; 0;; { Red } } } }\n"
         "AnimationSet Walk { Animation { { A } AnimationKey { 4; 1; 0; 16; 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;;; } } }\n",
         [&](Loaded& l) {
             auto top = l.Top();
             ASSERT_EQ(top.size(), 4u);
             auto key = Find(l, "Walk");
             ASSERT_TRUE(key);
             auto mesh = Find(l, "B");
             auto list = AsData(Children(AsData(Children(mesh.get())[0].get()).get())[0].get());
             auto ref = AsReference(Children(list.get())[0].get());
             ASSERT_TRUE(ref);
             IDirectXFileData* red = nullptr;
             ASSERT_EQ(ref->Resolve(&red), DXFILE_OK);
             EXPECT_EQ(NameOf(red), "Red");
             red->Release();
         }},
    };
    for (Case& c : cases) {
        Loaded l = LoadText(c.body);
        ASSERT_EQ(l.hr, DXFILE_OK) << c.what << ": " << platform_testing::XFileLastError();
        c.check(l);
    }
}

// Binary records in the forms real files and writers use.
TEST(XFileRealFiles, BinaryTolerances) {
    auto tok = [](uint16_t t) { return std::string{static_cast<char>(t), 0}; };
    auto dw = [](uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
    auto name = [&](const std::string& n) { return tok(1) + dw(static_cast<uint32_t>(n.size())) + n; };
    auto str = [&](const std::string& s, const std::string& end) {
        return tok(2) + dw(static_cast<uint32_t>(s.size())) + s + end;
    };
    const std::string h = "xof 0303bin 0032";
    struct Case {
        const char* what;
        std::string body;
        std::vector<std::string> strings;
    } cases[] = {
        {"string ended by a two-byte ';'", name("TextureFilename") + tok(10) + str("a.bmp", tok(20)) + tok(11), {"a.bmp"}},
        {"string ended by ','", name("TextureFilename") + tok(10) + str("b.bmp", tok(19)) + tok(11), {"b.bmp"}},
        {"string ended by a four-byte terminator", name("TextureFilename") + tok(10) + str("c.bmp", dw(20)) + tok(11), {"c.bmp"}},
        {"string without a terminator", name("TextureFilename") + tok(10) + str("d.bmp", "") + tok(11), {"d.bmp"}},
        {"strings in an array",
         name("Url") + tok(10) + tok(6) + dw(1) + dw(2) + str("u1", tok(19)) + str("u2", tok(20)) + tok(11), {"u1", "u2"}},
    };
    for (const Case& c : cases) {
        Loaded l = LoadBytes(h + c.body);
        ASSERT_EQ(l.hr, DXFILE_OK) << c.what << ": " << platform_testing::XFileLastError();
        auto top = l.Top();
        auto d = DataOf(top[0].get());
        size_t at = d.size() - 8 * c.strings.size();
        for (size_t i = 0; i < c.strings.size(); ++i) EXPECT_STREQ(StringAt(d, at + 8 * i), c.strings[i].c_str()) << c.what;
    }

    // A lone TOKEN_INTEGER, an integer list standing for floats and one list
    // running across two nested members.
    std::string body = name("Coords2d") + tok(10) + tok(3) + dw(7) + tok(6) + dw(1) + dw(2) + tok(11) +
                       name("IndexedColor") + tok(10) + tok(6) + dw(1) + dw(9) + tok(7) + dw(4);
    for (float f : {0.5f, 0.25f, 0.125f, 1.0f}) body += std::string(reinterpret_cast<const char*>(&f), 4);
    body += tok(11);
    Loaded l = LoadBytes(h + body);
    ASSERT_EQ(l.hr, DXFILE_OK) << platform_testing::XFileLastError();
    auto top = l.Top();
    auto uv = DataOf(top[0].get());
    EXPECT_EQ(At<float>(uv, 0), 7.0f);
    EXPECT_EQ(At<float>(uv, 4), 2.0f);
    auto color = DataOf(top[1].get());
    ASSERT_EQ(color.size(), 20u);
    EXPECT_EQ(At<uint32_t>(color, 0), 9u);
    EXPECT_EQ(At<float>(color, 16), 1.0f);
}

// ------------------------------------------------------------- malformed files

TEST(XFileErrors, MalformedFilesFailWithAMessage) {
    auto tok = [](uint16_t t) { return std::string{static_cast<char>(t), 0}; };
    auto dw = [](uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
    auto name = [&](const std::string& n) { return tok(1) + dw(static_cast<uint32_t>(n.size())) + n; };
    const std::string txt = "xof 0303txt 0032\n";
    const std::string bin = "xof 0303bin 0032";
    std::string deep;
    for (int i = 0; i < 300; ++i) deep += "Frame {";
    std::string deepTemplates;
    for (int i = 0; i < 70; ++i)
        deepTemplates += "template T" + std::to_string(i + 1) + " { <01234567-89AB-CDEF-0123-456789ABCDEF> " +
                         (i ? "T" + std::to_string(i) : std::string("DWORD")) + " x; }\n";
    struct Case {
        const char* what;
        std::string file;
        const char* message;  // part of the reason given
    } cases[] = {
        {"undefined template", txt + "Frame { Bogus { 1; } }", "undefined template 'Bogus'"},
        {"undefined member type", txt + "template T { <01234567-89AB-CDEF-0123-456789ABCDEF> Nope x; }", "undefined template 'Nope'"},
        {"template without GUID", txt + "template T { DWORD x; }", "has no GUID"},
        {"bad GUID", txt + "template T { <0123-zz> DWORD x; }", "bad GUID"},
        {"array size no member", txt + "template T { <01234567-89AB-CDEF-0123-456789ABCDEF> array DWORD a[n]; }", "no earlier integer member"},
        {"templates nested too deep", txt + deepTemplates, "nested too deep"},
        {"missing value", txt + "Vector { 1; 2; }", "expected a number for Vector.z"},
        {"string for a number", txt + "Vector { 1; \"2\"; 3; }", "expected a number"},
        {"number for a string", txt + "TextureFilename { 5; }", "expected a string"},
        {"more values than the template", txt + "Vector { 1; 2; 3; 4; }", "more values than template Vector"},
        {"bad number", txt + "Vector { 1; 2x; 3; }", "bad number '2x'"},
        {"unterminated string", txt + "TextureFilename { \"abc", "unterminated string"},
        {"missing close brace", txt + "Frame { Frame {}", "unexpected end of file"},
        {"missing open brace", txt + "Frame A B {}", "expected '{'"},
        {"empty reference", txt + "Frame { { } }", "empty reference"},
        {"huge count with short data (text)", txt + "Mesh { 4000000000; 1;2;3;, }", "larger than the file"},
        {"counts multiplying past 64 bits",
         txt + "template M { <01234567-89AB-CDEF-0123-456789ABCDEF> DWORD a; DWORD b; DWORD c; array DWORD x[a][b][c]; }"
               "M { 4294967295; 4294967295; 4294967295; 1; }",
         "larger than the file"},
        {"huge count with short data (binary)", bin + name("Mesh") + tok(10) + tok(6) + dw(1) + dw(0xFFFFFFF0u) + tok(11), "larger than the file"},
        {"huge list count", bin + name("Vector") + tok(10) + tok(7) + dw(0x40000000u) + dw(0), "runs past the end"},
        {"truncated name record", bin + tok(1) + dw(100) + "Fra", "truncated record"},
        {"truncated list", bin + name("Vector") + tok(10) + tok(7) + dw(3) + dw(0) + dw(0), "runs past the end"},
        {"truncated token", bin + name("Frame") + tok(10) + "\x0b", "truncated token"},
        {"unknown token", bin + tok(99), "unknown token 99"},
        {"float beyond any integer", bin + name("Boolean") + tok(10) + tok(7) + dw(1) + dw(0x7E000000u) + tok(11), "out of range"},
        {"float beyond any integer (text)", txt + "Boolean { 1e30; }", "bad integer"},
        {"deep nesting", txt + deep, "nested too deep"},
        {"data in a template definition", txt + "template T { <01234567-89AB-CDEF-0123-456789ABCDEF> 5; }", "expected a member type"},
    };
    for (const Case& c : cases) {
        Loaded l = LoadBytes(c.file);
        EXPECT_LT(l.hr, 0) << c.what;
        EXPECT_FALSE(l.enumerator) << c.what;
        std::string why = platform_testing::XFileLastError();
        EXPECT_NE(why.find(c.message), std::string::npos) << c.what << ": " << why;
    }
    // Nesting within the limit is fine.
    std::string ok;
    for (int i = 0; i < 200; ++i) ok += "Frame {";
    for (int i = 0; i < 200; ++i) ok += "}";
    EXPECT_EQ(LoadBytes(txt + ok).hr, DXFILE_OK);
}

TEST(XFileErrors, BadCompressedBlocksFailTheFile) {
    const std::string good = xwriter::Write(xsamples::BigMesh(3000), Encoding::BinaryZip);
    ASSERT_EQ(LoadBytes(good).hr, DXFILE_OK);
    auto word = [](std::string& s, size_t at, uint16_t v) { std::memcpy(&s[at], &v, 2); };
    uint16_t csize1;
    std::memcpy(&csize1, &good[22], 2);
    const size_t block2 = 20 + 4 + csize1;
    struct Case {
        const char* what;
        std::function<void(std::string&)> damage;
        const char* message;
    } cases[] = {
        {"declared total too large", [](std::string& s) { s[16] = static_cast<char>(s[16] + 1); }, "declared"},
        {"declared total too small", [](std::string& s) { std::memset(&s[16], 0, 4); s[16] = 100; }, "more data than the declared"},
        {"block larger than declared", [&](std::string& s) { word(s, 20, 32000); }, "another size"},
        {"compressed size past the end", [&](std::string& s) { s.resize(block2 - 10); }, "does not fit"},
        {"compressed size too small", [&](std::string& s) { word(s, 22, 1); }, "does not fit"},
        {"missing CK", [](std::string& s) { s[24] = 'X'; }, "signature"},
        // 0x07: a final block of the invalid DEFLATE block type 3
        {"bad deflate data", [](std::string& s) { s[26] = 7; }, "block 1: bad DEFLATE data"},
        {"bad deflate data in the second block", [&](std::string& s) { s[block2 + 6] = 7; }, "block 2: bad DEFLATE data"},
        {"second block without CK", [&](std::string& s) { s[block2 + 5] = 'Q'; }, "block 2: no \"CK\""},
        {"truncated after a block header", [&](std::string& s) { s.resize(block2 + 3); }, "truncated header"},
        {"no size", [](std::string& s) { s.resize(18); }, "no size"},
    };
    for (const Case& c : cases) {
        std::string bad = good;
        c.damage(bad);
        Loaded l = LoadBytes(bad);
        // The compression is known; its data is bad.
        EXPECT_EQ(l.hr, DXFILEERR_BADFILE) << c.what;
        std::string why = platform_testing::XFileLastError();
        EXPECT_NE(why.find(c.message), std::string::npos) << c.what << ": " << why;
    }
}

// Every prefix of a file either loads or fails; none reads out of bounds
// (the sanitizer build checks).
TEST(XFileErrors, EveryTruncationFailsCleanly) {
    for (Encoding e : {Encoding::Text, Encoding::Binary, Encoding::BinaryZip}) {
        const std::string file = xwriter::Write(SmallCharacter(), e);
        int loaded = 0;
        for (size_t n = 0; n < file.size(); n += (e == Encoding::BinaryZip ? 1 : 3)) {
            Loaded l = LoadBytes(file.substr(0, n));
            if (SUCCEEDED(l.hr)) {
                ++loaded;
                std::ostringstream out;
                for (auto& t : l.Top()) Dump(t.get(), out, 0);
            }
        }
        // Only cuts between top-level objects can load.
        EXPECT_LT(loaded, 40) << static_cast<int>(e);
    }
}
