// The animation collection read from X files written by our writer, in text
// and in binary: sets and animations in reverse file order, the key kinds
// kept and ignored, the naming of animations by frame references, binding to
// a frame tree, and key data that does not hold what it announces.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/testing.h"
#include "platform/win32/com_object.h"
#include "scene/Animation.h"
#include "scene/HierarchyFrame.h"
#include "tests/support/scene_fixtures.h"

namespace sf = scene_fixtures;
using xwriter::Encoding;
using xwriter::Object;
using xwriter::Value;

namespace {

struct Key {
    uint32_t time;
    std::vector<float> values;
};

Object XKeys(int type, const std::vector<Key>& keys) {
    Object o = sf::XObject("AnimationKey", "");
    o.data.push_back(Value::Int(type));
    o.data.push_back(Value::Int(int64_t(keys.size())));
    for (const Key& k : keys) {
        o.data.push_back(Value::Int(k.time));
        o.data.push_back(Value::Int(int64_t(k.values.size())));
        for (float v : k.values) o.data.push_back(Value::Float(v));
    }
    return o;
}

Object XAnimation(const std::string& frame, std::vector<Object> children = {}) {
    Object a = sf::XObject("Animation", "");
    if (!frame.empty()) a.children.push_back(sf::XReference(frame));
    for (Object& c : children) a.children.push_back(std::move(c));
    return a;
}

Object XSet(const std::string& name, std::vector<Object> children) {
    return sf::XObject("AnimationSet", name, std::move(children));
}

// The bones the sets refer to.
Object Skeleton() { return sf::XFrame("Root", {sf::XFrame("Hip", {sf::XFrame("Knee")})}); }

std::vector<AnimationSet*> Sets(const AnimationCollection& c) {
    std::vector<AnimationSet*> out;
    for (AnimationSet* s = c.firstSet; s; s = s->next) out.push_back(s);
    return out;
}

std::vector<Animation*> Animations(const AnimationSet* set) {
    std::vector<Animation*> out;
    for (Animation* a = set->firstAnimation; a; a = a->next) out.push_back(a);
    return out;
}

std::string NameOf(const char* s) { return s ? s : "(null)"; }

int LiveReaderObjects() { return layer::LiveObjects(layer::ObjectFamily::XFile); }

class AnimationFileTest : public ::testing::TestWithParam<Encoding> {
protected:
    void SetUp() override { platform_testing::XFileQuietReports(true); }
    void TearDown() override { EXPECT_EQ(LiveReaderObjects(), 0); }

    std::string Write(std::vector<Object> objects) {
        return folder.Write("anim.x", sf::XFileOf(std::move(objects)), GetParam());
    }
    sf::TempFolder folder;
};

TEST_P(AnimationFileTest, SetsAndAnimationsStandInReverseFileOrderWithTheirFramesAndKeys) {
    const std::string path = Write({
        Skeleton(),
        XSet("A", {XAnimation("Hip", {XKeys(0, {{0, {1, 0, 0, 0}},  //
                                                {40, {0, 1, 0, 0}},
                                                {80, {0.5f, 0.5f, 0.5f, 0.5f}}})}),
                   XAnimation("Knee", {XKeys(2, {{0, {1, 2, 3}}, {120, {4, 5, 6}}})})}),
        XSet("B", {XAnimation("Root", {XKeys(1, {{7, {2, 2, 2}}})})}),
    });
    AnimationCollection c;
    ASSERT_EQ(c.Load(path.c_str()), 1);

    EXPECT_EQ(c.setCount, 2u);
    std::vector<AnimationSet*> sets = Sets(c);
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(NameOf(sets[0]->name), "B");
    EXPECT_EQ(NameOf(sets[1]->name), "A");
    EXPECT_EQ(sets[0]->length, 7u);
    EXPECT_EQ(sets[1]->length, 120u);  // the largest time of all its animations

    std::vector<Animation*> a = Animations(sets[1]);
    ASSERT_EQ(a.size(), 2u);
    EXPECT_EQ(sets[1]->animationCount, 2u);
    EXPECT_EQ(NameOf(a[0]->frameName), "Knee");
    EXPECT_EQ(NameOf(a[1]->frameName), "Hip");
    EXPECT_EQ(a[0]->frame, nullptr);  // bound only by BindToFrames

    ASSERT_EQ(a[1]->rotationKeyCount, 3u);
    // The file gives w first.
    EXPECT_EQ(a[1]->rotationKeys[0].value, D3DXQUATERNION(0, 0, 0, 1));
    EXPECT_EQ(a[1]->rotationKeys[1].value, D3DXQUATERNION(1, 0, 0, 0));
    EXPECT_EQ(a[1]->rotationKeys[2].time, 80u);
    EXPECT_EQ(a[1]->positionKeyCount, 0u);
    EXPECT_EQ(a[1]->positionKeys, nullptr);

    ASSERT_EQ(a[0]->positionKeyCount, 2u);
    EXPECT_EQ(a[0]->positionKeys[1].time, 120u);
    EXPECT_EQ(a[0]->positionKeys[1].value, D3DXVECTOR3(4, 5, 6));

    std::vector<Animation*> b = Animations(sets[0]);
    ASSERT_EQ(b.size(), 1u);
    ASSERT_EQ(b[0]->scaleKeyCount, 1u);
    EXPECT_EQ(b[0]->scaleKeys[0].value, D3DXVECTOR3(2, 2, 2));

    // Loading again replaces everything.
    ASSERT_EQ(c.Load(Write({Skeleton()}).c_str()), 1);
    EXPECT_EQ(c.setCount, 0u);
    EXPECT_EQ(c.firstSet, nullptr);
}

TEST_P(AnimationFileTest, KeysOfTheFourKindsAreStoredAndTheOthersIgnored) {
    std::vector<float> sixteen;
    for (int i = 1; i <= 16; ++i) sixteen.push_back(float(i));
    const std::string path = Write({
        Skeleton(),
        XSet("S", {XAnimation("Hip", {XKeys(2, {{0, {1, 1, 1}}, {500, {2, 2, 2}}}),
                                      XKeys(0, {{20, {0.5f, 0.1f, 0.2f, 0.3f}}}),
                                      XKeys(1, {{30, {2, 3, 4}}}),
                                      XKeys(4, {{40, sixteen}}),
                                      XKeys(3, {{900, {9, 9, 9}}}),
                                      XKeys(5, {{1000, {9, 9, 9}}}),
                                      // The same kind again replaces the array; the length stays.
                                      XKeys(2, {{10, {7, 8, 9}}})}),
                   XAnimation("Knee", {XKeys(1, {})})}),
    });
    AnimationCollection c;
    ASSERT_EQ(c.Load(path.c_str()), 1);
    ASSERT_EQ(c.setCount, 1u);
    AnimationSet* set = c.firstSet;
    EXPECT_EQ(set->length, 500u);

    std::vector<Animation*> a = Animations(set);
    ASSERT_EQ(a.size(), 2u);
    Animation* knee = a[0];
    Animation* hip = a[1];

    ASSERT_EQ(hip->positionKeyCount, 1u);
    EXPECT_EQ(hip->positionKeys[0].time, 10u);
    EXPECT_EQ(hip->positionKeys[0].value, D3DXVECTOR3(7, 8, 9));
    ASSERT_EQ(hip->rotationKeyCount, 1u);
    EXPECT_EQ(hip->rotationKeys[0].time, 20u);
    EXPECT_EQ(hip->rotationKeys[0].value, D3DXQUATERNION(0.1f, 0.2f, 0.3f, 0.5f));
    ASSERT_EQ(hip->scaleKeyCount, 1u);
    EXPECT_EQ(hip->scaleKeys[0].value, D3DXVECTOR3(2, 3, 4));
    ASSERT_EQ(hip->matrixKeyCount, 1u);
    EXPECT_EQ(hip->matrixKeys[0].time, 40u);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(hip->matrixKeys[0].value.m[i / 4][i % 4], float(i + 1)) << i;

    // No keys: an empty array of its kind.
    EXPECT_EQ(knee->scaleKeyCount, 0u);
    EXPECT_EQ(knee->rotationKeyCount + knee->positionKeyCount + knee->matrixKeyCount, 0u);
}

// Frame references name only the Animation that holds them; what they
// reference is walked only while no animation could take it.
TEST_P(AnimationFileTest, OnlyAFrameReferenceDirectlyInAnAnimationNamesIt) {
    const std::string path = Write({
        Skeleton(),
        // Before every set: dropped with its keys.
        XAnimation("Root", {XKeys(2, {{5000, {1, 1, 1}}})}),
        // Holds an animation of its own, reached only through references.
        sf::XFrame("Holder", {XAnimation("Root")}),
        // While the set has no animation the reference is walked: the one in Holder joins it.
        XSet("Walked", {sf::XReference("Holder")}),
        // Once an animation exists, a reference outside an Animation is not walked.
        XSet("NotWalked", {XAnimation("Hip"), sf::XReference("Holder")}),
        // An inline frame does not name the animation; its children still reach it.
        XSet("Inline", {XAnimation("", {sf::XFrame("Knee", {XKeys(2, {{60, {1, 2, 3}}})})})}),
        // An Animation outside any set, after one, joins the last set read.
        XAnimation("Knee"),
    });
    AnimationCollection c;
    ASSERT_EQ(c.Load(path.c_str()), 1);
    std::vector<AnimationSet*> sets = Sets(c);
    ASSERT_EQ(sets.size(), 3u);

    AnimationSet* inlineSet = sets[0];
    EXPECT_EQ(NameOf(inlineSet->name), "Inline");
    std::vector<Animation*> a = Animations(inlineSet);
    ASSERT_EQ(a.size(), 2u);
    EXPECT_EQ(NameOf(a[0]->frameName), "Knee");  // the stray one
    EXPECT_EQ(a[1]->frameName, nullptr);
    EXPECT_EQ(a[1]->positionKeyCount, 1u);
    EXPECT_EQ(inlineSet->length, 60u);

    a = Animations(sets[1]);
    EXPECT_EQ(NameOf(sets[1]->name), "NotWalked");
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(NameOf(a[0]->frameName), "Hip");

    a = Animations(sets[2]);
    EXPECT_EQ(NameOf(sets[2]->name), "Walked");
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(NameOf(a[0]->frameName), "Root");
    EXPECT_EQ(sets[2]->length, 0u);  // the dropped keys never reached a set
}

TEST_P(AnimationFileTest, ReferencesThatLeadBackIntoTheWalkEndIt) {
    const std::string path = Write({
        sf::XFrame("A", {sf::XReference("B")}),
        sf::XFrame("B", {sf::XReference("A"), sf::XReference("B")}),
        XSet("S", {sf::XReference("A"), XAnimation("A")}),
    });
    AnimationCollection c;
    ASSERT_EQ(c.Load(path.c_str()), 1);
    ASSERT_EQ(c.setCount, 1u);
    ASSERT_EQ(c.firstSet->animationCount, 1u);
    EXPECT_EQ(NameOf(c.firstSet->firstAnimation->frameName), "A");
}

INSTANTIATE_TEST_SUITE_P(Encodings, AnimationFileTest, ::testing::Values(Encoding::Text, Encoding::Binary),
                         [](const ::testing::TestParamInfo<Encoding>& info) {
                             return info.param == Encoding::Text ? std::string("Text") : std::string("Binary");
                         });

// --- the parse itself ---

// Counts the virtual calls and can refuse to begin or stop the walk.
class CountingCollection : public AnimationCollection {
public:
    int BeginParse(void* context) override {
        ++begins;
        contexts.push_back(context);
        return beginResult;
    }
    int EndParse(void* context) override {
        ++ends;
        contexts.push_back(context);
        return 1;
    }
    int ParseObject(IDirectXFileData* object, IDirectXFileData* parent, DWORD depth, void* context,
                    int isReference) override {
        ++objects;
        contexts.push_back(context);
        if (objects == stopAt) return 0;
        return AnimationCollection::ParseObject(object, parent, depth, context, isReference);
    }
    int beginResult = 1;
    int stopAt = -1;
    int begins = 0, ends = 0, objects = 0;
    std::vector<void*> contexts;
};

TEST(AnimationParse, TheParseIsFramedByBeginAndEndAndCarriesTheContext) {
    platform_testing::XFileQuietReports(true);
    sf::TempFolder folder;
    const std::string path = folder.Write(
        "anim.x", sf::XFileOf({Skeleton(), XSet("A", {XAnimation("Hip")}), XSet("B", {XAnimation("Knee")})}),
        Encoding::Text);
    int token = 0;

    CountingCollection all;
    EXPECT_EQ(all.ParseFile(path.c_str(), &token), 1);
    EXPECT_EQ(all.begins, 1);
    EXPECT_EQ(all.ends, 1);
    EXPECT_EQ(all.setCount, 2u);
    EXPECT_GT(all.objects, 5);
    for (void* c : all.contexts) EXPECT_EQ(c, &token);

    // A BeginParse other than 1 skips the enumeration; EndParse still runs.
    CountingCollection refused;
    refused.beginResult = 2;
    EXPECT_EQ(refused.ParseFile(path.c_str(), nullptr), 1);
    EXPECT_EQ(refused.objects, 0);
    EXPECT_EQ(refused.ends, 1);

    // A ParseObject answering 0 ends the whole walk: the second set is never read.
    CountingCollection stopped;
    stopped.stopAt = 6;  // the frames Root, Hip, Knee; set A, its animation, the reference
    EXPECT_EQ(stopped.ParseFile(path.c_str(), nullptr), 1);
    EXPECT_EQ(stopped.objects, 6);
    EXPECT_EQ(stopped.setCount, 1u);
    EXPECT_EQ(stopped.ends, 1);
    EXPECT_EQ(LiveReaderObjects(), 0);
}

TEST(AnimationParse, FilesThatCannotBeOpenedAnswerZeroAndLeaveTheCollectionEmpty) {
    platform_testing::XFileQuietReports(true);
    sf::TempFolder folder;
    const std::string setsOnly = folder.Write("sets.x", sf::XFileOf({XSet("A", {})}), Encoding::Text);
    const std::string broken = folder.WriteText("broken.x", "xof 0303txt 0032\nFrame {");
    const std::string none = folder.Write("none.x", sf::XFileOf({Skeleton()}), Encoding::Text);

    AnimationCollection c;
    ASSERT_EQ(c.Load(setsOnly.c_str()), 1);
    EXPECT_EQ(c.setCount, 1u);
    EXPECT_EQ(c.Load(nullptr), 0);
    EXPECT_EQ(c.firstSet, nullptr);  // cleared first
    ASSERT_EQ(c.Load(setsOnly.c_str()), 1);
    EXPECT_EQ(c.Load((folder.Path() + "missing.x").c_str()), 0);
    EXPECT_EQ(c.setCount, 0u);
    EXPECT_EQ(c.Load(broken.c_str()), 0);
    // Open, but without sets: empty, and a success.
    EXPECT_EQ(c.Load(none.c_str()), 1);
    EXPECT_EQ(c.setCount, 0u);
    EXPECT_EQ(LiveReaderObjects(), 0);
}

// --- key data that does not hold what it announces ---

// An AnimationKey data object whose data is exactly the given bytes, in a
// block of its own so that any read past it is caught.
class KeyObject : public IDirectXFileData {
public:
    explicit KeyObject(const std::vector<BYTE>& bytes) : size_(DWORD(bytes.size())) {
        data_ = static_cast<BYTE*>(std::malloc(bytes.empty() ? 1 : bytes.size()));
        if (!bytes.empty()) std::memcpy(data_, bytes.data(), bytes.size());
    }
    ~KeyObject() override { std::free(data_); }
    HRESULT QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT GetName(LPSTR, LPDWORD length) override {
        *length = 0;
        return DXFILE_OK;
    }
    HRESULT GetId(LPGUID id) override {
        *id = GUID();
        return DXFILE_OK;
    }
    HRESULT GetData(LPCSTR, DWORD* size, void** data) override {
        if (nullData) return DXFILEERR_BADVALUE;
        *size = size_;
        *data = data_;
        return DXFILE_OK;
    }
    HRESULT GetType(const GUID** type) override {
        *type = &TID_D3DRMAnimationKey;
        return DXFILE_OK;
    }
    HRESULT GetNextObject(LPDIRECTXFILEOBJECT* child) override {
        *child = nullptr;
        return DXFILEERR_NOMOREOBJECTS;
    }
    bool nullData = false;

private:
    BYTE* data_;
    DWORD size_;
};

struct KeyBytes {
    std::vector<BYTE> bytes;
    KeyBytes& U32(uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes.push_back(BYTE(v >> (8 * i)));
        return *this;
    }
    KeyBytes& F(float f) {
        uint32_t v;
        std::memcpy(&v, &f, 4);
        return U32(v);
    }
    KeyBytes& Key(uint32_t time, std::vector<float> values) {
        U32(time).U32(uint32_t(values.size()));
        for (float f : values) F(f);
        return *this;
    }
};

TEST(AnimationKeys, DataThatDoesNotHoldItsKeysStoresNothing) {
    struct Case {
        const char* what;
        std::vector<BYTE> bytes;
        bool nullData;
    };
    std::vector<BYTE> full = KeyBytes().U32(0).U32(2).Key(0, {1, 0, 0, 0}).Key(900, {0, 1, 0, 0}).bytes;
    std::vector<BYTE> shortByOne(full.begin(), full.end() - 1);
    const std::vector<Case> cases = {
        {"two values in a rotation key", KeyBytes().U32(0).U32(1).Key(900, {1, 0}).bytes, false},
        {"five values in a rotation key", KeyBytes().U32(0).U32(1).Key(900, {1, 0, 0, 0, 0}).bytes, false},
        {"a second key of the wrong count", KeyBytes().U32(2).U32(2).Key(0, {1, 2, 3}).Key(900, {1, 2, 3, 4}).bytes,
         false},
        {"data one byte short of its keys", shortByOne, false},
        {"4294967295 keys", KeyBytes().U32(4).U32(0xFFFFFFFFu).Key(900, std::vector<float>(16, 1.0f)).bytes, false},
        {"2^30 position keys, whose size wraps to 0 in 32 bits",
         KeyBytes().U32(2).U32(1u << 30).Key(900, {1, 2, 3}).bytes, false},
        {"no key count", KeyBytes().U32(1).bytes, false},
        {"nothing at all", {}, false},
        {"no data", {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AnimationCollection collection;
        collection.firstSet = new AnimationSet();
        collection.firstSet->firstAnimation = new Animation();
        Animation* a = collection.firstSet->firstAnimation;
        KeyObject object(c.bytes);
        object.nullData = c.nullData;
        EXPECT_EQ(collection.ParseObject(&object, nullptr, 0, nullptr, 0), 1);
        EXPECT_EQ(a->rotationKeyCount + a->scaleKeyCount + a->positionKeyCount + a->matrixKeyCount, 0u);
        EXPECT_EQ(a->rotationKeys, nullptr);
        EXPECT_EQ(a->positionKeys, nullptr);
        EXPECT_EQ(a->matrixKeys, nullptr);
        EXPECT_EQ(collection.firstSet->length, 0u);
    }

    // The same fixture with data that holds its keys is stored.
    AnimationCollection collection;
    collection.firstSet = new AnimationSet();
    collection.firstSet->firstAnimation = new Animation();
    KeyObject object(full);
    collection.ParseObject(&object, nullptr, 0, nullptr, 0);
    EXPECT_EQ(collection.firstSet->firstAnimation->rotationKeyCount, 2u);
    EXPECT_EQ(collection.firstSet->length, 900u);
}

// --- binding ---

TEST(AnimationBinding, EachAnimationFindsTheFrameOfItsExactName) {
    // Root, its sibling Side (with a child Deep), its child Hip (with a child Knee).
    HierarchyFrame* root = sf::MakeFrame("Root");
    root->pFrameSibling = sf::MakeFrame("Side");
    root->pFrameSibling->pFrameFirstChild = sf::MakeFrame("Deep");
    root->pFrameFirstChild = sf::MakeFrame("Hip");
    root->pFrameFirstChild->pFrameFirstChild = sf::MakeFrame("Knee");

    const char* names[] = {"Root", "Deep", "Knee", "knee", "Nowhere", nullptr};
    HierarchyFrame* expected[] = {root, root->pFrameSibling->pFrameFirstChild,
                                  root->pFrameFirstChild->pFrameFirstChild, nullptr, nullptr, nullptr};
    AnimationCollection c;
    c.firstSet = new AnimationSet();
    c.firstSet->next = new AnimationSet();  // a second set binds as well
    std::vector<Animation*> all;
    for (AnimationSet* s = c.firstSet; s; s = s->next)
        for (const char* n : names) {
            Animation* a = new Animation();
            if (n) {
                a->frameName = new char[std::strlen(n) + 1];
                std::strcpy(a->frameName, n);
            }
            a->next = s->firstAnimation;
            s->firstAnimation = a;
            all.push_back(a);
        }

    c.BindToFrames(root);
    for (size_t i = 0; i < all.size(); ++i) {
        SCOPED_TRACE(NameOf(all[i]->frameName));
        EXPECT_EQ(all[i]->frame, expected[i % 6]);
    }

    // A second call rebinds every animation; a tree without a frame of the
    // name leaves it unbound, and no tree at all leaves all of them unbound.
    HierarchyFrame* other = sf::MakeFrame("Knee");
    c.BindToFrames(other);
    for (size_t i = 0; i < all.size(); ++i) EXPECT_EQ(all[i]->frame, i % 6 == 2 ? other : nullptr);
    c.BindToFrames(nullptr);
    for (Animation* a : all) EXPECT_EQ(a->frame, nullptr);

    FreeFrameTree(other);
    FreeFrameTree(root);
}

TEST(AnimationRecords, ALongListIsDestroyedWithoutRunningTheStackOut) {
    AnimationCollection c;
    for (int i = 0; i < 200000; ++i) {
        AnimationSet* s = new AnimationSet();
        s->next = c.firstSet;
        c.firstSet = s;
    }
    for (int i = 0; i < 200000; ++i) {
        Animation* a = new Animation();
        a->next = c.firstSet->firstAnimation;
        c.firstSet->firstAnimation = a;
    }
    c.Clear();
    EXPECT_EQ(c.firstSet, nullptr);
    EXPECT_EQ(c.setCount, 0u);
}

}  // namespace
