// Frame trees: the search order of FindFrameByName, the reset to the loaded
// matrices and the combination of the matrices down the tree.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "scene/HierarchyFrame.h"
#include "tests/support/scene_fixtures.h"

using scene_fixtures::ExpectNear;
using scene_fixtures::MakeFrame;
using scene_fixtures::RotationZ;
using scene_fixtures::Translation;

namespace {

D3DXMATRIX Product(std::initializer_list<D3DXMATRIX> factors) {
    D3DXMATRIX r;
    D3DXMatrixIdentity(&r);
    for (const D3DXMATRIX& f : factors) D3DXMatrixMultiply(&r, &r, &f);
    return r;
}

// R { A { A1 A2 } B { B1 } }: A is R's first child, A1 is A's.
struct SampleTree {
    HierarchyFrame* r = MakeFrame("R", Translation(0, 1, 0));
    HierarchyFrame* a = MakeFrame("A", RotationZ(0.5f));
    HierarchyFrame* b = MakeFrame("B", Translation(3, 0, 0));
    HierarchyFrame* a1 = MakeFrame("A1", Translation(0, 0, 2));
    HierarchyFrame* a2 = MakeFrame("A2", RotationZ(-1.0f));
    HierarchyFrame* b1 = MakeFrame("B1", Translation(1, 1, 1));

    SampleTree() {
        r->pFrameFirstChild = a;
        a->pFrameSibling = b;
        a->pFrameFirstChild = a1;
        a1->pFrameSibling = a2;
        b->pFrameFirstChild = b1;
    }
    ~SampleTree() { FreeFrameTree(r); }
    std::vector<HierarchyFrame*> All() const { return {r, a, b, a1, a2, b1}; }
};

TEST(FrameSearch, GoesSelfThenLaterSiblingsBranchesThenOwnChildren) {
    SampleTree t;
    // Every frame bears the same name; each find takes the name from the
    // frame it returned, so the finds list the whole search order.
    for (HierarchyFrame* f : t.All()) std::strcpy(f->Name, "X");
    std::vector<HierarchyFrame*> order;
    while (HierarchyFrame* f = t.r->FindFrameByName("X")) {
        order.push_back(f);
        f->Name[0] = 'Y';
    }
    EXPECT_EQ(order, (std::vector<HierarchyFrame*>{t.r, t.a, t.b, t.b1, t.a1, t.a2}));
}

TEST(FrameSearch, NamesAreExactAndUnnamedFramesAreSearchedThrough) {
    SampleTree t;
    EXPECT_EQ(t.r->FindFrameByName("B1"), t.b1);
    EXPECT_EQ(t.r->FindFrameByName("a1"), nullptr);  // letter case matters
    EXPECT_EQ(t.r->FindFrameByName("A"), t.a);
    EXPECT_EQ(t.r->FindFrameByName("A "), nullptr);
    EXPECT_EQ(t.r->FindFrameByName(nullptr), nullptr);
    EXPECT_EQ(t.a->FindFrameByName("R"), nullptr);  // no way up
    // A frame without a name is passed over, but what lies below it is not.
    delete[] t.a->Name;
    t.a->Name = nullptr;
    EXPECT_EQ(t.r->FindFrameByName("A2"), t.a2);
    for (HierarchyFrame* f : t.All()) {
        delete[] f->Name;
        f->Name = nullptr;
    }
    EXPECT_EQ(t.r->FindFrameByName("R"), nullptr);
}

TEST(FrameMatrices, CombineFromTheFrameUpToItsTopLevelFrameTimesTheParent) {
    SampleTree t;
    const D3DXMATRIX p = Translation(10, 20, 30);
    t.r->UpdateMatrices(&p);
    ExpectNear(t.r->CombinedMatrix, Product({t.r->TransformationMatrix, p}));
    ExpectNear(t.b->CombinedMatrix, Product({t.b->TransformationMatrix, t.r->TransformationMatrix, p}));
    ExpectNear(t.a2->CombinedMatrix,
               Product({t.a2->TransformationMatrix, t.a->TransformationMatrix, t.r->TransformationMatrix, p}));
    ExpectNear(t.b1->CombinedMatrix,
               Product({t.b1->TransformationMatrix, t.b->TransformationMatrix, t.r->TransformationMatrix, p}));

    // No parent matrix: the identity; a lone frame then combines to itself.
    HierarchyFrame* lone = MakeFrame("L", RotationZ(0.25f));
    lone->UpdateMatrices(nullptr);
    ExpectNear(lone->CombinedMatrix, lone->TransformationMatrix);
    FreeFrameTree(lone);
}

TEST(FrameMatrices, TheRootsOwnMatrixAsParentCountsTheRootTwiceAndFeedsItsSiblings) {
    HierarchyFrame* root = MakeFrame("R", Translation(1, 2, 3));
    HierarchyFrame* sibling = MakeFrame("S", RotationZ(0.3f));
    HierarchyFrame* child = MakeFrame("C", Translation(0, 0, 5));
    root->pFrameSibling = sibling;
    root->pFrameFirstChild = child;
    root->UpdateMatrices(&root->TransformationMatrix);
    const D3DXMATRIX r = root->TransformationMatrix;
    ExpectNear(root->CombinedMatrix, Product({r, r}));
    ExpectNear(sibling->CombinedMatrix, Product({sibling->TransformationMatrix, r}));
    ExpectNear(child->CombinedMatrix, Product({child->TransformationMatrix, r, r}));

    // With an identity root the same call gives what no parent gives.
    D3DXMatrixIdentity(&root->TransformationMatrix);
    root->UpdateMatrices(&root->TransformationMatrix);
    const D3DXMATRIX withRoot = child->CombinedMatrix;
    root->UpdateMatrices(nullptr);
    ExpectNear(child->CombinedMatrix, withRoot);
    FreeFrameTree(root);
}

TEST(FrameMatrices, ResetPutsBackTheLoadedMatricesEverywhereAndLeavesCombinedAlone) {
    SampleTree t;
    t.r->UpdateMatrices(nullptr);
    std::vector<D3DXMATRIX> combined;
    for (HierarchyFrame* f : t.All()) {
        combined.push_back(f->CombinedMatrix);
        f->TransformationMatrix = Translation(9, 9, 9);  // as an animation would
    }
    // Started from a child, the reset reaches that child's later siblings and
    // everything below them, but not its parent.
    t.a->ResetTransforms();
    ExpectNear(t.r->TransformationMatrix, Translation(9, 9, 9));
    for (HierarchyFrame* f : {t.a, t.b, t.a1, t.a2, t.b1}) ExpectNear(f->TransformationMatrix, f->LoadedMatrix);
    for (size_t i = 0; i < combined.size(); ++i) ExpectNear(t.All()[i]->CombinedMatrix, combined[i]);

    // A frame the file gave no matrix goes back to the identity.
    HierarchyFrame* bare = MakeFrame("N");
    bare->TransformationMatrix = Translation(1, 0, 0);
    bare->ResetTransforms();
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    ExpectNear(bare->TransformationMatrix, identity);
    FreeFrameTree(bare);
}

TEST(FrameTree, VeryLongSiblingChainsAreWalkedWithoutExhaustingTheStack) {
    // As a hostile file could make them; each walk must still finish.
    const int count = 200000;
    HierarchyFrame* root = MakeFrame("first");
    HierarchyFrame* last = root;
    for (int i = 1; i < count; ++i) {
        last->pFrameSibling = MakeFrame(i == count - 1 ? "last" : nullptr, Translation(0, 0, 1));
        last = last->pFrameSibling;
    }
    last->pFrameFirstChild = MakeFrame("below");
    root->ResetTransforms();
    root->UpdateMatrices(&root->TransformationMatrix);
    EXPECT_EQ(root->FindFrameByName("last"), last);
    EXPECT_EQ(root->FindFrameByName("below"), last->pFrameFirstChild);
    EXPECT_EQ(root->FindFrameByName("none"), nullptr);
    ExpectNear(last->pFrameFirstChild->CombinedMatrix, Translation(0, 0, 1));
    FreeFrameTree(root);  // all of it: the leak checker sees what is left
}

}  // namespace
