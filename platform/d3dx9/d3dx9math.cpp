#include "d3dx9math.h"

#include <cmath>
#include <cstring>

namespace {

inline void Store(D3DXMATRIX* out, const float (&r)[4][4]) { std::memcpy(out->m, r, sizeof r); }

D3DXMATRIX* StoreRotation3(D3DXMATRIX* out, const float (&r)[3][3]) {
    const float full[4][4] = {{r[0][0], r[0][1], r[0][2], 0.0f},
                              {r[1][0], r[1][1], r[1][2], 0.0f},
                              {r[2][0], r[2][1], r[2][2], 0.0f},
                              {0.0f, 0.0f, 0.0f, 1.0f}};
    Store(out, full);
    return out;
}

// Lengths in double: squares of small floats would underflow to zero.
inline double Length3(double x, double y, double z) { return std::sqrt(x * x + y * y + z * z); }

D3DXVECTOR3 UnitAxis(const D3DXVECTOR3* v) {
    D3DXVECTOR3 axis;
    D3DXVec3Normalize(&axis, v);
    return axis;
}

inline unsigned PackChannel(float v) {
    if (std::isnan(v) || v <= 0.0f) return 0;
    if (v >= 1.0f) return 255;
    return static_cast<unsigned>(v * 255.0f + 0.5f);
}

}  // namespace

// --- value types ---------------------------------------------------------------------

D3DXMATRIX::D3DXMATRIX(const FLOAT* f) : D3DMATRIX{} { std::memcpy(m, f, sizeof m); }

D3DXMATRIX::D3DXMATRIX(FLOAT f11, FLOAT f12, FLOAT f13, FLOAT f14,
                       FLOAT f21, FLOAT f22, FLOAT f23, FLOAT f24,
                       FLOAT f31, FLOAT f32, FLOAT f33, FLOAT f34,
                       FLOAT f41, FLOAT f42, FLOAT f43, FLOAT f44)
    : D3DMATRIX{} {
    const float r[4][4] = {{f11, f12, f13, f14}, {f21, f22, f23, f24}, {f31, f32, f33, f34}, {f41, f42, f43, f44}};
    Store(this, r);
}

D3DXMATRIX& D3DXMATRIX::operator*=(const D3DXMATRIX& mat) {
    D3DXMatrixMultiply(this, this, &mat);
    return *this;
}

D3DXMATRIX& D3DXMATRIX::operator+=(const D3DXMATRIX& mat) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) m[i][j] += mat.m[i][j];
    return *this;
}

D3DXMATRIX& D3DXMATRIX::operator-=(const D3DXMATRIX& mat) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) m[i][j] -= mat.m[i][j];
    return *this;
}

D3DXMATRIX& D3DXMATRIX::operator*=(FLOAT f) {
    for (auto& row : m)
        for (float& e : row) e *= f;
    return *this;
}

D3DXMATRIX& D3DXMATRIX::operator/=(FLOAT f) {
    for (auto& row : m)
        for (float& e : row) e /= f;
    return *this;
}

D3DXMATRIX D3DXMATRIX::operator-() const { return *this * -1.0f; }

D3DXMATRIX D3DXMATRIX::operator*(const D3DXMATRIX& mat) const {
    D3DXMATRIX r;
    D3DXMatrixMultiply(&r, this, &mat);
    return r;
}

D3DXMATRIX D3DXMATRIX::operator+(const D3DXMATRIX& mat) const { return D3DXMATRIX(*this) += mat; }
D3DXMATRIX D3DXMATRIX::operator-(const D3DXMATRIX& mat) const { return D3DXMATRIX(*this) -= mat; }
D3DXMATRIX D3DXMATRIX::operator*(FLOAT f) const { return D3DXMATRIX(*this) *= f; }
D3DXMATRIX D3DXMATRIX::operator/(FLOAT f) const { return D3DXMATRIX(*this) /= f; }

bool D3DXMATRIX::operator==(const D3DXMATRIX& mat) const {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            if (m[i][j] != mat.m[i][j]) return false;
    return true;
}

D3DXMATRIX operator*(FLOAT f, const D3DXMATRIX& mat) { return mat * f; }

D3DXCOLOR::D3DXCOLOR(DWORD argb)
    : D3DCOLORVALUE{static_cast<float>((argb >> 16) & 0xff) / 255.0f, static_cast<float>((argb >> 8) & 0xff) / 255.0f,
                    static_cast<float>(argb & 0xff) / 255.0f, static_cast<float>((argb >> 24) & 0xff) / 255.0f} {}

D3DXCOLOR::operator DWORD() const {
    return (PackChannel(a) << 24) | (PackChannel(r) << 16) | (PackChannel(g) << 8) | PackChannel(b);
}

// --- matrices ------------------------------------------------------------------------

D3DXMATRIX* WINAPI D3DXMatrixIdentity(D3DXMATRIX* pOut) {
    const float r[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    Store(pOut, r);
    return pOut;
}

BOOL WINAPI D3DXMatrixIsIdentity(const D3DXMATRIX* pM) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            if (pM->m[i][j] != (i == j ? 1.0f : 0.0f)) return FALSE;
    return TRUE;
}

D3DXMATRIX* WINAPI D3DXMatrixMultiply(D3DXMATRIX* pOut, const D3DXMATRIX* pM1, const D3DXMATRIX* pM2) {
    float r[4][4];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r[i][j] = pM1->m[i][0] * pM2->m[0][j] + pM1->m[i][1] * pM2->m[1][j] + pM1->m[i][2] * pM2->m[2][j] +
                      pM1->m[i][3] * pM2->m[3][j];
    Store(pOut, r);
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixInverse(D3DXMATRIX* pOut, FLOAT* pDeterminant, const D3DXMATRIX* pM) {
    // Cofactors by 2x2 minors of the top and bottom row pairs, in double.
    double a[4][4];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) a[i][j] = pM->m[i][j];

    const double s0 = a[0][0] * a[1][1] - a[1][0] * a[0][1];
    const double s1 = a[0][0] * a[1][2] - a[1][0] * a[0][2];
    const double s2 = a[0][0] * a[1][3] - a[1][0] * a[0][3];
    const double s3 = a[0][1] * a[1][2] - a[1][1] * a[0][2];
    const double s4 = a[0][1] * a[1][3] - a[1][1] * a[0][3];
    const double s5 = a[0][2] * a[1][3] - a[1][2] * a[0][3];
    const double c5 = a[2][2] * a[3][3] - a[3][2] * a[2][3];
    const double c4 = a[2][1] * a[3][3] - a[3][1] * a[2][3];
    const double c3 = a[2][1] * a[3][2] - a[3][1] * a[2][2];
    const double c2 = a[2][0] * a[3][3] - a[3][0] * a[2][3];
    const double c1 = a[2][0] * a[3][2] - a[3][0] * a[2][2];
    const double c0 = a[2][0] * a[3][1] - a[3][0] * a[2][1];

    const double det = s0 * c5 - s1 * c4 + s2 * c3 + s3 * c2 - s4 * c1 + s5 * c0;
    if (pDeterminant) *pDeterminant = static_cast<float>(det);

    // Singular when the determinant is negligible against the product of the row
    // lengths (its largest possible size): rank-deficient input rounds to about 1e-16 of it.
    double bound = 1.0;
    for (const auto& row : a) bound *= Length3(row[0], row[1], std::hypot(row[2], row[3]));
    if (!(std::fabs(det) > bound * 1e-12) || !std::isfinite(det)) return nullptr;

    const double k = 1.0 / det;
    double inv[4][4];
    inv[0][0] = (a[1][1] * c5 - a[1][2] * c4 + a[1][3] * c3) * k;
    inv[0][1] = (-a[0][1] * c5 + a[0][2] * c4 - a[0][3] * c3) * k;
    inv[0][2] = (a[3][1] * s5 - a[3][2] * s4 + a[3][3] * s3) * k;
    inv[0][3] = (-a[2][1] * s5 + a[2][2] * s4 - a[2][3] * s3) * k;
    inv[1][0] = (-a[1][0] * c5 + a[1][2] * c2 - a[1][3] * c1) * k;
    inv[1][1] = (a[0][0] * c5 - a[0][2] * c2 + a[0][3] * c1) * k;
    inv[1][2] = (-a[3][0] * s5 + a[3][2] * s2 - a[3][3] * s1) * k;
    inv[1][3] = (a[2][0] * s5 - a[2][2] * s2 + a[2][3] * s1) * k;
    inv[2][0] = (a[1][0] * c4 - a[1][1] * c2 + a[1][3] * c0) * k;
    inv[2][1] = (-a[0][0] * c4 + a[0][1] * c2 - a[0][3] * c0) * k;
    inv[2][2] = (a[3][0] * s4 - a[3][1] * s2 + a[3][3] * s0) * k;
    inv[2][3] = (-a[2][0] * s4 + a[2][1] * s2 - a[2][3] * s0) * k;
    inv[3][0] = (-a[1][0] * c3 + a[1][1] * c1 - a[1][2] * c0) * k;
    inv[3][1] = (a[0][0] * c3 - a[0][1] * c1 + a[0][2] * c0) * k;
    inv[3][2] = (-a[3][0] * s3 + a[3][1] * s1 - a[3][2] * s0) * k;
    inv[3][3] = (a[2][0] * s3 - a[2][1] * s1 + a[2][2] * s0) * k;

    float r[4][4];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            r[i][j] = static_cast<float>(inv[i][j]);
            if (!std::isfinite(r[i][j])) return nullptr;  // not representable in float
        }
    Store(pOut, r);
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixTranspose(D3DXMATRIX* pOut, const D3DXMATRIX* pM) {
    float r[4][4];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) r[i][j] = pM->m[j][i];
    Store(pOut, r);
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixTranslation(D3DXMATRIX* pOut, FLOAT x, FLOAT y, FLOAT z) {
    D3DXMatrixIdentity(pOut);
    pOut->_41 = x;
    pOut->_42 = y;
    pOut->_43 = z;
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixScaling(D3DXMATRIX* pOut, FLOAT sx, FLOAT sy, FLOAT sz) {
    D3DXMatrixIdentity(pOut);
    pOut->_11 = sx;
    pOut->_22 = sy;
    pOut->_33 = sz;
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixRotationX(D3DXMATRIX* pOut, FLOAT angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    return StoreRotation3(pOut, {{1, 0, 0}, {0, c, s}, {0, -s, c}});
}

D3DXMATRIX* WINAPI D3DXMatrixRotationY(D3DXMATRIX* pOut, FLOAT angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    return StoreRotation3(pOut, {{c, 0, -s}, {0, 1, 0}, {s, 0, c}});
}

D3DXMATRIX* WINAPI D3DXMatrixRotationZ(D3DXMATRIX* pOut, FLOAT angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    return StoreRotation3(pOut, {{c, s, 0}, {-s, c, 0}, {0, 0, 1}});
}

D3DXMATRIX* WINAPI D3DXMatrixRotationAxis(D3DXMATRIX* pOut, const D3DXVECTOR3* pV, FLOAT angle) {
    const D3DXVECTOR3 v = UnitAxis(pV);
    const float c = std::cos(angle), s = std::sin(angle), t = 1.0f - c;
    return StoreRotation3(pOut, {{t * v.x * v.x + c, t * v.x * v.y + s * v.z, t * v.x * v.z - s * v.y},
                                 {t * v.x * v.y - s * v.z, t * v.y * v.y + c, t * v.y * v.z + s * v.x},
                                 {t * v.x * v.z + s * v.y, t * v.y * v.z - s * v.x, t * v.z * v.z + c}});
}

D3DXMATRIX* WINAPI D3DXMatrixRotationQuaternion(D3DXMATRIX* pOut, const D3DXQUATERNION* pQ) {
    const float x = pQ->x, y = pQ->y, z = pQ->z, w = pQ->w;
    return StoreRotation3(pOut, {{1 - 2 * (y * y + z * z), 2 * (x * y + z * w), 2 * (x * z - y * w)},
                                 {2 * (x * y - z * w), 1 - 2 * (x * x + z * z), 2 * (y * z + x * w)},
                                 {2 * (x * z + y * w), 2 * (y * z - x * w), 1 - 2 * (x * x + y * y)}});
}

D3DXMATRIX* WINAPI D3DXMatrixPerspectiveFovLH(D3DXMATRIX* pOut, FLOAT fovy, FLOAT aspect, FLOAT zn, FLOAT zf) {
    const float ys = 1.0f / std::tan(fovy * 0.5f);
    const float xs = ys / aspect;
    const float q = zf / (zf - zn);
    const float r[4][4] = {{xs, 0, 0, 0}, {0, ys, 0, 0}, {0, 0, q, 1}, {0, 0, -zn * q, 0}};
    Store(pOut, r);
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixLookAtLH(D3DXMATRIX* pOut, const D3DXVECTOR3* pEye, const D3DXVECTOR3* pAt,
                                      const D3DXVECTOR3* pUp) {
    const D3DXVECTOR3 eye = *pEye;
    D3DXVECTOR3 zaxis = *pAt - eye, xaxis, yaxis;
    D3DXVec3Normalize(&zaxis, &zaxis);
    D3DXVec3Cross(&xaxis, pUp, &zaxis);
    D3DXVec3Normalize(&xaxis, &xaxis);
    D3DXVec3Cross(&yaxis, &zaxis, &xaxis);
    const float r[4][4] = {{xaxis.x, yaxis.x, zaxis.x, 0},
                           {xaxis.y, yaxis.y, zaxis.y, 0},
                           {xaxis.z, yaxis.z, zaxis.z, 0},
                           {-D3DXVec3Dot(&xaxis, &eye), -D3DXVec3Dot(&yaxis, &eye), -D3DXVec3Dot(&zaxis, &eye), 1}};
    Store(pOut, r);
    return pOut;
}

// --- vectors -------------------------------------------------------------------------

FLOAT WINAPI D3DXVec3Dot(const D3DXVECTOR3* pV1, const D3DXVECTOR3* pV2) {
    return pV1->x * pV2->x + pV1->y * pV2->y + pV1->z * pV2->z;
}

FLOAT WINAPI D3DXVec3Length(const D3DXVECTOR3* pV) { return static_cast<float>(Length3(pV->x, pV->y, pV->z)); }

D3DXVECTOR3* WINAPI D3DXVec3Cross(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV1, const D3DXVECTOR3* pV2) {
    const D3DXVECTOR3 a = *pV1, b = *pV2;
    *pOut = D3DXVECTOR3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
    return pOut;
}

D3DXVECTOR3* WINAPI D3DXVec3Normalize(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV) {
    const double x = pV->x, y = pV->y, z = pV->z;
    const double len = Length3(x, y, z);
    if (len == 0.0) {
        *pOut = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    } else {
        *pOut = D3DXVECTOR3(static_cast<float>(x / len), static_cast<float>(y / len), static_cast<float>(z / len));
    }
    return pOut;
}

D3DXVECTOR3* WINAPI D3DXVec3Lerp(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV1, const D3DXVECTOR3* pV2, FLOAT s) {
    const D3DXVECTOR3 a = *pV1, b = *pV2;
    *pOut = D3DXVECTOR3(a.x + s * (b.x - a.x), a.y + s * (b.y - a.y), a.z + s * (b.z - a.z));
    return pOut;
}

D3DXVECTOR4* WINAPI D3DXVec3Transform(D3DXVECTOR4* pOut, const D3DXVECTOR3* pV, const D3DXMATRIX* pM) {
    const D3DXVECTOR4 v(*pV, 1.0f);
    return D3DXVec4Transform(pOut, &v, pM);
}

D3DXVECTOR3* WINAPI D3DXVec3TransformCoord(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV, const D3DXMATRIX* pM) {
    D3DXVECTOR4 r;
    D3DXVec3Transform(&r, pV, pM);
    *pOut = D3DXVECTOR3(r.x / r.w, r.y / r.w, r.z / r.w);
    return pOut;
}

D3DXVECTOR3* WINAPI D3DXVec3TransformNormal(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV, const D3DXMATRIX* pM) {
    const D3DXVECTOR4 v(*pV, 0.0f);
    D3DXVECTOR4 r;
    D3DXVec4Transform(&r, &v, pM);
    *pOut = D3DXVECTOR3(r.x, r.y, r.z);
    return pOut;
}

D3DXVECTOR4* WINAPI D3DXVec4Normalize(D3DXVECTOR4* pOut, const D3DXVECTOR4* pV) {
    const double x = pV->x, y = pV->y, z = pV->z, w = pV->w;
    const double len = std::sqrt(x * x + y * y + z * z + w * w);
    if (len == 0.0) {
        *pOut = D3DXVECTOR4(0.0f, 0.0f, 0.0f, 0.0f);
    } else {
        *pOut = D3DXVECTOR4(static_cast<float>(x / len), static_cast<float>(y / len), static_cast<float>(z / len),
                            static_cast<float>(w / len));
    }
    return pOut;
}

D3DXVECTOR4* WINAPI D3DXVec4Transform(D3DXVECTOR4* pOut, const D3DXVECTOR4* pV, const D3DXMATRIX* pM) {
    const D3DXVECTOR4 v = *pV;
    const auto& m = pM->m;
    *pOut = D3DXVECTOR4(v.x * m[0][0] + v.y * m[1][0] + v.z * m[2][0] + v.w * m[3][0],
                        v.x * m[0][1] + v.y * m[1][1] + v.z * m[2][1] + v.w * m[3][1],
                        v.x * m[0][2] + v.y * m[1][2] + v.z * m[2][2] + v.w * m[3][2],
                        v.x * m[0][3] + v.y * m[1][3] + v.z * m[2][3] + v.w * m[3][3]);
    return pOut;
}

// --- quaternions ---------------------------------------------------------------------

D3DXQUATERNION* WINAPI D3DXQuaternionIdentity(D3DXQUATERNION* pOut) {
    *pOut = D3DXQUATERNION(0.0f, 0.0f, 0.0f, 1.0f);
    return pOut;
}

D3DXQUATERNION* WINAPI D3DXQuaternionNormalize(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ) {
    const D3DXVECTOR4 v(pQ->x, pQ->y, pQ->z, pQ->w);
    D3DXVECTOR4 n;
    D3DXVec4Normalize(&n, &v);
    *pOut = D3DXQUATERNION(n.x, n.y, n.z, n.w);
    return pOut;
}

D3DXQUATERNION* WINAPI D3DXQuaternionRotationAxis(D3DXQUATERNION* pOut, const D3DXVECTOR3* pV, FLOAT angle) {
    const D3DXVECTOR3 v = UnitAxis(pV);
    const float s = std::sin(angle * 0.5f);
    *pOut = D3DXQUATERNION(v.x * s, v.y * s, v.z * s, std::cos(angle * 0.5f));
    return pOut;
}

D3DXQUATERNION* WINAPI D3DXQuaternionRotationMatrix(D3DXQUATERNION* pOut, const D3DXMATRIX* pM) {
    // The inverse of the rotation matrix formula, from its largest diagonal term
    // so that the square root never meets a value near zero.
    const auto& m = pM->m;
    const double trace = static_cast<double>(m[0][0]) + m[1][1] + m[2][2];
    double x, y, z, w;
    if (trace > 0.0) {
        const double s = 2.0 * std::sqrt(trace + 1.0);  // 4w
        w = 0.25 * s;
        x = (m[1][2] - m[2][1]) / s;
        y = (m[2][0] - m[0][2]) / s;
        z = (m[0][1] - m[1][0]) / s;
    } else if (m[0][0] >= m[1][1] && m[0][0] >= m[2][2]) {
        const double s = 2.0 * std::sqrt(1.0 + m[0][0] - m[1][1] - m[2][2]);  // 4x
        x = 0.25 * s;
        w = (m[1][2] - m[2][1]) / s;
        y = (m[0][1] + m[1][0]) / s;
        z = (m[2][0] + m[0][2]) / s;
    } else if (m[1][1] >= m[2][2]) {
        const double s = 2.0 * std::sqrt(1.0 + m[1][1] - m[0][0] - m[2][2]);  // 4y
        y = 0.25 * s;
        w = (m[2][0] - m[0][2]) / s;
        x = (m[0][1] + m[1][0]) / s;
        z = (m[1][2] + m[2][1]) / s;
    } else {
        const double s = 2.0 * std::sqrt(1.0 + m[2][2] - m[0][0] - m[1][1]);  // 4z
        z = 0.25 * s;
        w = (m[0][1] - m[1][0]) / s;
        x = (m[2][0] + m[0][2]) / s;
        y = (m[1][2] + m[2][1]) / s;
    }
    *pOut = D3DXQUATERNION(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z), static_cast<float>(w));
    return pOut;
}

D3DXQUATERNION* WINAPI D3DXQuaternionSlerp(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ1,
                                           const D3DXQUATERNION* pQ2, FLOAT t) {
    const D3DXQUATERNION a = *pQ1;
    D3DXQUATERNION b = *pQ2;
    float d = a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
    if (d < 0.0f) {
        b = -b;
        d = -d;
    }
    float wa, wb;
    if (1.0f - d <= 1.0f / 8388608.0f) {  // 2^-23: too close for the arc weights
        wa = 1.0f - t;
        wb = t;
    } else {
        const float theta = std::acos(d);
        const float s = std::sin(theta);
        wa = std::sin((1.0f - t) * theta) / s;
        wb = std::sin(t * theta) / s;
    }
    *pOut = a * wa + b * wb;
    return pOut;
}
