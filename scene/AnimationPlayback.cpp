#include <windows.h>

#include "scene/Animation.h"
#include "scene/HierarchyFrame.h"

namespace {

// Where t falls in a key array of ascending times: the last key at or before
// t, the one after it, and the fraction between the two.
template <class Key>
void Locate(const Key* keys, DWORD count, DWORD t, DWORD* cur, DWORD* next, float* s) {
    DWORD c = 0;
    for (DWORD i = 0; i < count; ++i)
        if (keys[i].time <= t) c = i;
    const DWORD n = c < count - 1 ? c + 1 : c;
    DWORD span = keys[n].time - keys[c].time;
    if (span == 0) span = 1;
    // Before the first key the first key holds; out-of-order times must not
    // throw the value past its keys either.
    float f = t < keys[c].time ? 0.0f : float(t - keys[c].time) / float(span);
    if (f > 1.0f) f = 1.0f;
    *cur = c;
    *next = n;
    *s = f;
}

D3DXVECTOR3 Lerp(const D3DXVECTOR3& a, const D3DXVECTOR3& b, float s) { return a + (b - a) * s; }

template <class Key>
D3DXVECTOR3 SampleVector(const Key* keys, DWORD count, DWORD t) {
    DWORD c, n;
    float s;
    Locate(keys, count, t, &c, &n, &s);
    return Lerp(keys[c].value, keys[n].value, s);
}

// S x R x T x K at t, each factor only where its keys exist.
void Sample(const Animation& a, DWORD t, D3DXMATRIX* m) {
    D3DXMatrixIdentity(m);
    D3DXMATRIX factor;
    if (a.scaleKeyCount != 0 && a.scaleKeys) {
        const D3DXVECTOR3 v = SampleVector(a.scaleKeys, a.scaleKeyCount, t);
        D3DXMatrixScaling(&factor, v.x, v.y, v.z);
        D3DXMatrixMultiply(m, m, &factor);
    }
    if (a.rotationKeyCount != 0 && a.rotationKeys) {
        DWORD c, n;
        float s;
        Locate(a.rotationKeys, a.rotationKeyCount, t, &c, &n, &s);
        D3DXQUATERNION q;
        D3DXQuaternionSlerp(&q, &a.rotationKeys[c].value, &a.rotationKeys[n].value, s);
        D3DXMatrixRotationQuaternion(&factor, &q);
        D3DXMatrixMultiply(m, m, &factor);
    }
    if (a.positionKeyCount != 0 && a.positionKeys) {
        const D3DXVECTOR3 v = SampleVector(a.positionKeys, a.positionKeyCount, t);
        D3DXMatrixTranslation(&factor, v.x, v.y, v.z);
        D3DXMatrixMultiply(m, m, &factor);
    }
    if (a.matrixKeyCount != 0 && a.matrixKeys) {
        DWORD c, n;
        float s;
        Locate(a.matrixKeys, a.matrixKeyCount, t, &c, &n, &s);
        const D3DXMATRIX& from = a.matrixKeys[c].value;
        const D3DXMATRIX& to = a.matrixKeys[n].value;
        for (int i = 0; i < 16; ++i) {
            const float a = from.m[i / 4][i % 4], b = to.m[i / 4][i % 4];
            factor.m[i / 4][i % 4] = a + (b - a) * s;
        }
        D3DXMatrixMultiply(m, m, &factor);
    }
}

AnimationSet* FindSet(AnimationSet* first, LPCSTR name) {
    if (!name) return first;
    for (AnimationSet* set = first; set; set = set->next)
        if (set->name && _stricmp(set->name, name) == 0) return set;
    return NULL;
}

// A looping set repeats with period length + 1; otherwise it holds at its end.
DWORD SampleTime(const AnimationSet& set, DWORD time, int loop) {
    if (time <= set.length) return time;
    return loop == 1 ? time % (set.length + 1) : set.length;
}

}  // namespace

void AnimationCollection::Play(LPCSTR setName, DWORD time, int loop, float weight) {
    AnimationSet* set = FindSet(firstSet, setName);
    if (!set) return;
    const DWORD t = SampleTime(*set, time, loop);
    for (Animation* a = set->firstAnimation; a; a = a->next) {
        if (!a->frame) continue;
        D3DXMATRIX m;
        Sample(*a, t, &m);
        D3DXMATRIX& target = a->frame->TransformationMatrix;
        const D3DXMATRIX& loaded = a->frame->LoadedMatrix;
        for (int i = 0; i < 16; ++i)
            target.m[i / 4][i % 4] += (m.m[i / 4][i % 4] - loaded.m[i / 4][i % 4]) * weight;
    }
}

void AnimationCollection::PlayAlt(LPCSTR setName, DWORD time, int loop) {
    AnimationSet* set = FindSet(firstSet, setName);
    if (!set) return;
    const DWORD t = SampleTime(*set, time, loop);
    for (Animation* a = set->firstAnimation; a; a = a->next)
        if (a->frame) Sample(*a, t, &a->frame->TransformationMatrix);
}
