// The character's sets played with the platform's own maths, as the program
// plays them, give the poses the generator designed (and checks in its tests).
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/d3dx9/d3dx9math.h"
#include "tools/datagen/datagen.h"

using namespace datagen;

namespace {

// One key array sampled at t: the last key at or before t and the next one.
void Find(const KeyArray& k, uint32_t t, size_t* cur, size_t* next, float* s) {
    *cur = 0;
    for (size_t i = 0; i < k.keys.size(); ++i)
        if (k.keys[i].time <= t) *cur = i;
    *next = std::min(*cur + 1, k.keys.size() - 1);
    uint32_t span = k.keys[*next].time - k.keys[*cur].time;
    *s = float(t - k.keys[*cur].time) / float(span ? span : 1);
}

D3DXMATRIX PlatformSample(const Animation& a, uint32_t t) {
    D3DXMATRIX m, x;
    D3DXMatrixIdentity(&m);
    for (uint32_t kind : {kScaleKeys, kRotationKeys, kPositionKeys, kMatrixKeys})
        for (const KeyArray& k : a.keys) {
            if (k.type != kind) continue;
            size_t c, n;
            float s;
            Find(k, t, &c, &n, &s);
            const std::vector<float>&p = k.keys[c].values, &q = k.keys[n].values;
            auto lerp = [&](size_t i) { return p[i] + (q[i] - p[i]) * s; };
            if (kind == kScaleKeys) D3DXMatrixScaling(&x, lerp(0), lerp(1), lerp(2));
            if (kind == kPositionKeys) D3DXMatrixTranslation(&x, lerp(0), lerp(1), lerp(2));
            if (kind == kRotationKeys) {
                D3DXQUATERNION q1(p[1], p[2], p[3], p[0]), q2(q[1], q[2], q[3], q[0]), r;  // file order w, x, y, z
                D3DXQuaternionSlerp(&r, &q1, &q2, s);
                D3DXMatrixRotationQuaternion(&x, &r);
            }
            if (kind == kMatrixKeys)
                for (int i = 0; i < 16; ++i) x.m[i / 4][i % 4] = lerp(size_t(i));
            D3DXMatrixMultiply(&m, &m, &x);
        }
    return m;
}

}  // namespace

TEST(DatagenPlayback, PlatformMathsGiveTheDesignedPoses) {
    GeneratedScene g = BuildCharacter();
    const Scene& scene = g.scene;
    for (const AnimationSet& set : scene.sets) {
        uint32_t length = SetLength(set);
        for (uint32_t t = 0; t <= length; t += 37) {
            std::vector<Mat4> want = SampleLocals(scene, set, t);
            for (const Animation& a : set.animations) {
                D3DXMATRIX got = PlatformSample(a, t);
                const Mat4& w = want[size_t(FindFrame(scene, a.frame))];
                float worst = 0;
                for (int i = 0; i < 4; ++i)
                    for (int j = 0; j < 4; ++j) worst = std::max(worst, std::fabs(got.m[i][j] - w.m[i][j]));
                ASSERT_LT(worst, 1e-4f) << set.name << "/" << a.frame << " t=" << t;
            }
        }
    }
}
