#include "tools/datagen/model.h"

#include <algorithm>
#include <cmath>

namespace datagen {

std::vector<Mat4> CombinedMatrices(const std::vector<Frame>& frames) {
    std::vector<Mat4> locals;
    for (const Frame& f : frames) locals.push_back(f.local);
    return CombineLocals(frames, locals);
}

std::vector<Mat4> CombineLocals(const std::vector<Frame>& frames, const std::vector<Mat4>& locals) {
    // Parents come before their children.
    std::vector<Mat4> combined(frames.size());
    for (size_t i = 0; i < frames.size(); ++i)
        combined[i] = frames[i].parent < 0 ? locals[i] : locals[i] * combined[size_t(frames[i].parent)];
    return combined;
}

int FindFrame(const Scene& scene, const std::string& name) {
    for (size_t i = 0; i < scene.frames.size(); ++i)
        if (scene.frames[i].name == name) return int(i);
    return -1;
}

std::vector<Vec3> SkinPositions(const Scene& scene, const std::vector<Mat4>& combined) {
    std::vector<Vec3> out(scene.mesh.positions.size(), Vec3{0, 0, 0});
    std::vector<bool> touched(out.size(), false);
    for (const BoneWeights& bone : scene.bones) {
        int f = FindFrame(scene, bone.frame);
        if (f < 0) continue;
        Mat4 m = bone.offset * combined[size_t(f)];
        for (size_t k = 0; k < bone.vertices.size(); ++k) {
            uint32_t v = bone.vertices[k];
            out[v] += TransformCoord(scene.mesh.positions[v], m) * bone.weights[k];
            touched[v] = true;
        }
    }
    for (size_t v = 0; v < out.size(); ++v)
        if (!touched[v]) out[v] = scene.mesh.positions[v];
    return out;
}

namespace {

struct Sample {
    size_t cur = 0, next = 0;
    float s = 0;
};

// Key search as the player does it: the last key at or before t, the fraction
// clamped so a time before the first key holds the first key.
Sample Find(const std::vector<TimedKey>& keys, uint32_t t) {
    Sample r;
    for (size_t i = 0; i < keys.size(); ++i)
        if (keys[i].time <= t) r.cur = i;
    r.next = r.cur + 1 < keys.size() ? r.cur + 1 : r.cur;
    uint32_t span = keys[r.next].time - keys[r.cur].time;
    if (span == 0) span = 1;
    r.s = t >= keys[r.cur].time ? float(t - keys[r.cur].time) / float(span) : 0.0f;
    r.s = std::clamp(r.s, 0.0f, 1.0f);
    return r;
}

Quat ToQuat(const std::vector<float>& v) { return {v[1], v[2], v[3], v[0]}; }

Quat Slerp(Quat a, Quat b, float t) {
    float d = a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
    if (d < 0) {
        d = -d;
        b = {-b.x, -b.y, -b.z, -b.w};
    }
    float wa = 1 - t, wb = t;
    if (1 - d > 1.1920929e-7f) {
        float theta = std::acos(d), sn = std::sin(theta);
        wa = std::sin((1 - t) * theta) / sn;
        wb = std::sin(t * theta) / sn;
    }
    return {a.x * wa + b.x * wb, a.y * wa + b.y * wb, a.z * wa + b.z * wb, a.w * wa + b.w * wb};
}

}  // namespace

uint32_t SetLength(const AnimationSet& set) {
    uint32_t length = 0;
    for (const Animation& a : set.animations)
        for (const KeyArray& k : a.keys)
            for (const TimedKey& key : k.keys) length = std::max(length, key.time);
    return length;
}

std::vector<Mat4> SampleLocals(const Scene& scene, const AnimationSet& set, uint32_t time) {
    std::vector<Mat4> locals;
    for (const Frame& f : scene.frames) locals.push_back(f.local);
    uint32_t length = SetLength(set);
    uint32_t t = time > length ? time % (length + 1) : time;
    for (const Animation& anim : set.animations) {
        int f = FindFrame(scene, anim.frame);
        if (f < 0) continue;
        Mat4 s, r, p, k;
        for (const KeyArray& arr : anim.keys) {
            if (arr.keys.empty()) continue;
            Sample smp = Find(arr.keys, t);
            const std::vector<float>& a = arr.keys[smp.cur].values;
            const std::vector<float>& b = arr.keys[smp.next].values;
            auto vec = [&] {
                return Vec3{a[0] + (b[0] - a[0]) * smp.s, a[1] + (b[1] - a[1]) * smp.s, a[2] + (b[2] - a[2]) * smp.s};
            };
            switch (arr.type) {
                case kScaleKeys: s = Scaling(vec()); break;
                case kRotationKeys: r = RotationQuaternion(Slerp(ToQuat(a), ToQuat(b), smp.s)); break;
                case kPositionKeys: p = Translation(vec()); break;
                case kMatrixKeys:
                    for (int i = 0; i < 16; ++i) k.m[i / 4][i % 4] = a[size_t(i)] + (b[size_t(i)] - a[size_t(i)]) * smp.s;
                    break;
            }
        }
        locals[size_t(f)] = s * r * p * k;
    }
    return locals;
}

}  // namespace datagen
