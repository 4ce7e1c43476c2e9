#include "app/Utility.h"

#include <cmath>
#include <cstdint>

void ReportError(const char* message) {
    OutputDebugStringA("ERROR: ");
    OutputDebugStringA(message);
    OutputDebugStringA("\n");
}

namespace {

// |trunc(v)| without the undefined conversions: NaN counts as 0 and values out
// of range saturate.
int32_t TruncatedMagnitude(float v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0f || v <= -2147483647.0f) return INT32_MAX;
    int32_t i = static_cast<int32_t>(v);
    return i < 0 ? -i : i;
}

}  // namespace

float IntDistance(float a, float b) {
    int32_t ia = TruncatedMagnitude(a);
    int32_t ib = TruncatedMagnitude(b);
    int32_t d = b > a ? ib - ia : ia - ib;
    return static_cast<float>(d);
}

float FloatDistance(float a, float b) {
    float d = b > a ? b - a : a - b;
    if (d < 0.0f) d = -d;
    return d;
}

float SnapAngle(float x) {
    if (x < -6.5f) return x;
    if (x < -5.0f) return 335.0f;
    if (x < -4.0f) return 90.0f;
    if (x < -3.3f) return 225.0f;
    if (x < -2.5f) return 0.0f;
    if (x < -2.0f) return 135.0f;
    if (x < -1.0f) return 270.0f;
    if (x < -0.5f) return 45.0f;
    if (x < 0.5f) return 180.0f;
    if (x < 1.25f) return 45.0f;
    if (x < 1.85f) return 90.0f;
    if (x < 2.85f) return 135.0f;
    if (x < 3.2f) return 180.0f;
    if (x < 4.0f) return 225.0f;
    if (x < 5.0f) return 270.0f;
    if (x < 6.0f) return 335.0f;
    if (x < 7.5f) return 0.0f;
    return x;
}

void FillRect(const RECT* rect, DWORD colour, int pitch, DWORD* bits) {
    const ptrdiff_t row = pitch / 4;
    for (LONG y = rect->top; y < rect->bottom; ++y)
        for (LONG x = rect->left; x < rect->right; ++x) bits[y * row + x] = colour;
}

void ClearRect(const D3DRECT* rect, D3DCOLOR colour, IDirect3DDevice9* device) {
    device->Clear(1, rect, D3DCLEAR_TARGET, colour, 0.0f, 0);
}

int LerpPoint(const D3DXVECTOR3* ends, float t, D3DXVECTOR3* out) {
    const D3DXVECTOR3& a = ends[0];
    const D3DXVECTOR3& b = ends[1];
    out->x = a.x + (b.x - a.x) * t;
    out->y = a.y + (b.y - a.y) * t;
    out->z = a.z + (b.z - a.z) * t;
    return 0;
}

int BezierPoint(const D3DXVECTOR3* points, float t, D3DXVECTOR3* out) {
    const float u = 1.0f - t;
    const float w0 = u * u * u;
    const float w2 = 3.0f * u * u * t;
    const float w3 = 3.0f * u * t * t;
    const float w1 = t * t * t;
    const D3DXVECTOR3& p0 = points[0];
    const D3DXVECTOR3& p1 = points[1];
    const D3DXVECTOR3& c0 = points[2];
    const D3DXVECTOR3& c1 = points[3];
    D3DXVECTOR3 r;
    r.x = w0 * p0.x + w2 * c0.x + w3 * c1.x + w1 * p1.x;
    r.y = w0 * p0.y + w2 * c0.y + w3 * c1.y + w1 * p1.y;
    r.z = w0 * p0.z + w2 * c0.z + w3 * c1.z + w1 * p1.z;
    *out = r;
    return 0;
}
