// Playback of animation sets built in code: the time wrapped or held, the
// keys sampled and composed as scale x rotation x translation x matrix, the
// additive blend into the frames, and the choice of the set by name.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "scene/Animation.h"
#include "scene/HierarchyFrame.h"
#include "tests/support/scene_fixtures.h"

namespace sf = scene_fixtures;

namespace {

const float kPi = 3.14159265358979f;

struct V3Key {
    DWORD time;
    D3DXVECTOR3 value;
};

template <class Key>
Key* Copy(const std::vector<Key>& keys) {
    Key* out = new Key[keys.size()];
    for (size_t i = 0; i < keys.size(); ++i) out[i] = keys[i];
    return out;
}

char* Dup(const char* s) {
    if (!s) return nullptr;
    char* out = new char[std::strlen(s) + 1];
    std::strcpy(out, s);
    return out;
}

// A collection and frames of its own, freed at the end.
class Rig {
public:
    ~Rig() {
        collection.Clear();
        for (HierarchyFrame* f : frames) FreeFrameTree(f);
    }
    HierarchyFrame* Frame(const D3DXMATRIX& loaded) {
        frames.push_back(sf::MakeFrame("F", loaded));
        return frames.back();
    }
    HierarchyFrame* Frame() {
        D3DXMATRIX identity;
        D3DXMatrixIdentity(&identity);
        return Frame(identity);
    }
    // Sets are linked at the head, as the parser does.
    AnimationSet* Set(const char* name, DWORD length) {
        AnimationSet* s = new AnimationSet();
        s->name = Dup(name);
        s->length = length;
        s->next = collection.firstSet;
        collection.firstSet = s;
        ++collection.setCount;
        return s;
    }
    Animation* Anim(AnimationSet* set, HierarchyFrame* frame) {
        Animation* a = new Animation();
        a->frame = frame;
        a->next = set->firstAnimation;
        set->firstAnimation = a;
        ++set->animationCount;
        return a;
    }
    static void Positions(Animation* a, const std::vector<PositionKey>& keys) {
        a->positionKeys = Copy(keys);
        a->positionKeyCount = DWORD(keys.size());
    }
    static void Scales(Animation* a, const std::vector<ScaleKey>& keys) {
        a->scaleKeys = Copy(keys);
        a->scaleKeyCount = DWORD(keys.size());
    }
    static void Rotations(Animation* a, const std::vector<RotationKey>& keys) {
        a->rotationKeys = Copy(keys);
        a->rotationKeyCount = DWORD(keys.size());
    }
    static void Matrices(Animation* a, const std::vector<MatrixKey>& keys) {
        a->matrixKeys = Copy(keys);
        a->matrixKeyCount = DWORD(keys.size());
    }

    AnimationCollection collection;
    std::vector<HierarchyFrame*> frames;
};

D3DXMATRIX Translation(float x, float y, float z) {
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, x, y, z);
    return m;
}

void Reset(HierarchyFrame* f) { f->TransformationMatrix = f->LoadedMatrix; }

void ExpectMatrix(const D3DXMATRIX& actual, const D3DXMATRIX& expected, float eps = 1e-5f) {
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(actual.m[i / 4][i % 4], expected.m[i / 4][i % 4], eps) << "element " << i / 4 + 1 << i % 4 + 1;
}

TEST(AnimationPlay, TheTimeWrapsAboutTheLengthOnlyWithLoopFlagOne) {
    Rig rig;
    HierarchyFrame* f = rig.Frame();
    AnimationSet* set = rig.Set("s", 100);
    // x follows the time one for one.
    Rig::Positions(rig.Anim(set, f), {{0, {0, 0, 0}}, {100, {100, 0, 0}}});
    struct Case {
        DWORD time;
        int loop;
        float t;
    } cases[] = {
        {250, 1, 48}, {250, 0, 100}, {250, 2, 100}, {100, 1, 100}, {100, 0, 100},
        {101, 1, 0},  {0, 1, 0},     {30, 0, 30},   {4294967295u, 1, 4294967295u % 101},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "time " << c.time << " loop " << c.loop);
        Reset(f);
        rig.collection.Play("s", c.time, c.loop, 1.0f);
        EXPECT_NEAR(f->TransformationMatrix._41, c.t, 1e-3f);
    }
}

TEST(AnimationPlay, KeysAreInterpolatedHeldAtTheEndsAndClampedBeforeTheFirst) {
    Rig rig;
    HierarchyFrame* between = rig.Frame();
    HierarchyFrame* single = rig.Frame();
    HierarchyFrame* shortOne = rig.Frame();
    HierarchyFrame* late = rig.Frame();
    AnimationSet* set = rig.Set("s", 120);
    Rig::Positions(rig.Anim(set, between), {{0, {0, 0, 0}}, {100, {10, 0, 0}}});
    Rig::Positions(rig.Anim(set, single), {{60, {7, 8, 9}}});
    Rig::Positions(rig.Anim(set, shortOne), {{0, {0, 0, 0}}, {20, {1, 0, 0}}, {40, {2, 4, 0}}});
    // Starts after 0: before its first key it holds that key.
    Rig::Positions(rig.Anim(set, late), {{50, {1, 0, 0}}, {100, {3, 0, 0}}});

    struct Case {
        DWORD t;
        D3DXVECTOR3 between, single, shortOne, late;
    } cases[] = {
        {0, {0, 0, 0}, {7, 8, 9}, {0, 0, 0}, {1, 0, 0}},
        {10, {1, 0, 0}, {7, 8, 9}, {0.5f, 0, 0}, {1, 0, 0}},
        {25, {2.5f, 0, 0}, {7, 8, 9}, {1.25f, 1, 0}, {1, 0, 0}},
        {75, {7.5f, 0, 0}, {7, 8, 9}, {2, 4, 0}, {2, 0, 0}},
        {120, {10, 0, 0}, {7, 8, 9}, {2, 4, 0}, {3, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.t);
        for (HierarchyFrame* f : rig.frames) Reset(f);
        rig.collection.Play("s", c.t, 1, 1.0f);
        ExpectMatrix(between->TransformationMatrix, Translation(c.between.x, c.between.y, c.between.z));
        ExpectMatrix(single->TransformationMatrix, Translation(c.single.x, c.single.y, c.single.z));
        ExpectMatrix(shortOne->TransformationMatrix, Translation(c.shortOne.x, c.shortOne.y, c.shortOne.z));
        ExpectMatrix(late->TransformationMatrix, Translation(c.late.x, c.late.y, c.late.z));
    }
}

TEST(AnimationPlay, TheSampleIsScaleThenRotationThenTranslationThenMatrix) {
    Rig rig;
    HierarchyFrame* f = rig.Frame(Translation(5, 5, 5));  // replaced, weight 1 after a reset
    Animation* a = rig.Anim(rig.Set("s", 0), f);
    const float h = std::sqrt(0.5f);
    Rig::Scales(a, {{0, {2, 2, 2}}});
    Rig::Rotations(a, {{0, D3DXQUATERNION(0, h, 0, h)}});  // 90 degrees about y
    Rig::Positions(a, {{0, {1, 2, 3}}});
    D3DXMATRIX k = Translation(0, 0, 10);
    k._12 = 0.5f;
    Rig::Matrices(a, {{0, k}});

    rig.collection.Play("s", 0, 1, 1.0f);
    const D3DXMATRIX expected(0, 0, -2, 0,  //
                              0, 2, 0, 0,   //
                              2, 1, 0, 0,   //
                              1, 2.5f, 13, 1);
    ExpectMatrix(f->TransformationMatrix, expected);

    // PlayAlt writes the same sample over whatever the frame holds.
    D3DXMatrixScaling(&f->TransformationMatrix, 9, 9, 9);
    rig.collection.PlayAlt("s", 0, 1);
    ExpectMatrix(f->TransformationMatrix, expected);
}

TEST(AnimationPlay, RotationsTurnAlongTheShorterArc) {
    Rig rig;
    HierarchyFrame* f = rig.Frame();
    Animation* a = rig.Anim(rig.Set("s", 100), f);
    const float h = std::sqrt(0.5f);
    // The same turn of 90 degrees about y, given with the opposite sign.
    Rig::Rotations(a, {{0, D3DXQUATERNION(0, 0, 0, 1)}, {100, D3DXQUATERNION(0, -h, 0, -h)}});
    rig.collection.Play("s", 50, 1, 1.0f);
    D3DXMATRIX half;
    D3DXMatrixRotationY(&half, kPi / 4);
    ExpectMatrix(f->TransformationMatrix, half);
}

TEST(AnimationPlay, EachCallAddsItsDifferenceFromTheLoadedMatrixByTheWeight) {
    Rig rig;
    HierarchyFrame* f = rig.Frame(Translation(2, 0, 0));
    Rig::Positions(rig.Anim(rig.Set("s", 0), f), {{0, {4, 0, 0}}});
    struct Case {
        float weight;
        int calls;
        float x;
    } cases[] = {{0.0f, 1, 2}, {1.0f, 1, 4}, {0.5f, 1, 3}, {1.0f, 2, 6}, {-1.0f, 1, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.weight << " x" << c.calls);
        Reset(f);
        for (int i = 0; i < c.calls; ++i) rig.collection.Play("s", 0, 1, c.weight);
        ExpectMatrix(f->TransformationMatrix, Translation(c.x, 0, 0));
    }
}

TEST(AnimationPlay, TheSetIsChosenByNameWithoutRegardToCase) {
    Rig rig;
    HierarchyFrame* f = rig.Frame();
    const char* names[] = {"pugno", nullptr, "idleTot"};  // the last stands at the head
    for (int i = 0; i < 3; ++i) Rig::Positions(rig.Anim(rig.Set(names[i], 0), f), {{0, {float(i + 1), 0, 0}}});
    struct Case {
        const char* name;
        float x;  // 0: nothing played
    } cases[] = {{"pugno", 1}, {"PUGNO", 1}, {"Pugno", 1}, {"idletot", 3}, {nullptr, 3},
                 {"pugn", 0},  {"pugno ", 0}, {"", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name ? c.name : "(null)");
        Reset(f);
        rig.collection.Play(c.name, 0, 1, 1.0f);
        EXPECT_EQ(f->TransformationMatrix._41, c.x);
    }
    AnimationCollection empty;
    empty.Play(nullptr, 0, 1, 1.0f);
    empty.Play("pugno", 0, 1, 1.0f);
}

TEST(AnimationPlay, UnboundAnimationsAreSkippedAndKeylessOnesGiveTheIdentity) {
    Rig rig;
    HierarchyFrame* keyless = rig.Frame(Translation(1, 2, 3));
    HierarchyFrame* scaled = rig.Frame();
    AnimationSet* set = rig.Set("s", 10);
    rig.Anim(set, keyless);
    Rig::Scales(rig.Anim(set, scaled), {{0, {2, 2, 2}}});
    Rig::Positions(rig.Anim(set, nullptr), {{0, {9, 9, 9}}});
    rig.collection.Play("s", 5, 1, 1.0f);
    D3DXMATRIX identity, two;
    D3DXMatrixIdentity(&identity);
    D3DXMatrixScaling(&two, 2, 2, 2);
    ExpectMatrix(keyless->TransformationMatrix, identity);
    ExpectMatrix(scaled->TransformationMatrix, two);

    // A set without animations changes nothing.
    rig.Set("empty", 10);
    scaled->TransformationMatrix = Translation(4, 4, 4);
    rig.collection.Play("empty", 5, 1, 1.0f);
    ExpectMatrix(scaled->TransformationMatrix, Translation(4, 4, 4));
}

}  // namespace
