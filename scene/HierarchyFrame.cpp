#include "scene/HierarchyFrame.h"

#include <cstring>
#include <vector>

// Sibling chains are walked in loops, not by recursion: a file may give a frame
// any number of siblings, but its nesting depth is bounded by the reader.

namespace {

bool HasName(const HierarchyFrame* frame, LPCSTR name) {
    return frame->Name && std::strcmp(frame->Name, name) == 0;
}

}  // namespace

HierarchyFrame* HierarchyFrame::FindFrameByName(LPCSTR name) {
    if (!name) return NULL;
    // The frame and its later siblings first; then what lies below them, the
    // last sibling's children first and the frame's own children last.
    std::vector<HierarchyFrame*> chain;
    for (HierarchyFrame* f = this; f; f = f->pFrameSibling) {
        if (HasName(f, name)) return f;
        chain.push_back(f);
    }
    for (size_t i = chain.size(); i-- > 0;) {
        HierarchyFrame* child = chain[i]->pFrameFirstChild;
        if (!child) continue;
        if (HierarchyFrame* found = child->FindFrameByName(name)) return found;
    }
    return NULL;
}

void HierarchyFrame::ResetTransforms() {
    for (HierarchyFrame* f = this; f; f = f->pFrameSibling) {
        f->TransformationMatrix = f->LoadedMatrix;
        if (f->pFrameFirstChild) f->pFrameFirstChild->ResetTransforms();
    }
}

void HierarchyFrame::UpdateMatrices(const D3DXMATRIX* parentMatrix) {
    D3DXMATRIX parent;
    if (parentMatrix)
        parent = *parentMatrix;
    else
        D3DXMatrixIdentity(&parent);
    for (HierarchyFrame* f = this; f; f = f->pFrameSibling) {
        D3DXMatrixMultiply(&f->CombinedMatrix, &f->TransformationMatrix, &parent);
        if (f->pFrameFirstChild) f->pFrameFirstChild->UpdateMatrices(&f->CombinedMatrix);
    }
}

void FreeFrameTree(HierarchyFrame* root) {
    while (root) {
        HierarchyFrame* next = root->pFrameSibling;
        FreeFrameTree(root->pFrameFirstChild);
        delete[] root->Name;
        delete root;
        root = next;
    }
}
