// The D3DX vector, quaternion, plane and matrix types and routines. Matrices are stored row by
// row and multiply row vectors from the left (v' = v * M), so a translation sits in _41, _42,
// _43; coordinates are left-handed. Most routines jump through the processor dispatch table
// (math/dispatch.h): the first call of any of them picks the set for this processor.
//
// Every routine writes its result through its first argument and returns that pointer. None
// checks for null pointers, zero divisors or non-finite inputs; unless a contract says
// otherwise, the output may be the same object as an input.
#pragma once

#include "base/result_codes.h"
#include "base/value_types.h"
#include "base/win_types.h"
#include "math/half_float.h"

#include <cmath>
#include <cstddef>

inline constexpr FLOAT D3DX_PI = 3.141592654f;
inline constexpr FLOAT D3DX_1BYPI = 0.318309886f;

inline constexpr FLOAT D3DXToRadian(FLOAT degrees) {
    return degrees * (D3DX_PI / 180.0f);
}
inline constexpr FLOAT D3DXToDegree(FLOAT radians) {
    return radians * (180.0f / D3DX_PI);
}

struct D3DXVECTOR2 {
    D3DXVECTOR2() = default;
    explicit D3DXVECTOR2(const FLOAT* f)
        : x(f[0])
        , y(f[1]) {}
    D3DXVECTOR2(FLOAT fx, FLOAT fy)
        : x(fx)
        , y(fy) {}

    operator FLOAT*() { return &x; }
    operator const FLOAT*() const { return &x; }

    D3DXVECTOR2& operator+=(const D3DXVECTOR2& v) {
        x += v.x;
        y += v.y;
        return *this;
    }
    D3DXVECTOR2& operator-=(const D3DXVECTOR2& v) {
        x -= v.x;
        y -= v.y;
        return *this;
    }
    D3DXVECTOR2& operator*=(FLOAT f) {
        x *= f;
        y *= f;
        return *this;
    }
    D3DXVECTOR2& operator/=(FLOAT f) { return *this *= 1.0f / f; }

    D3DXVECTOR2 operator+() const { return *this; }
    D3DXVECTOR2 operator-() const { return {-x, -y}; }
    D3DXVECTOR2 operator+(const D3DXVECTOR2& v) const { return {x + v.x, y + v.y}; }
    D3DXVECTOR2 operator-(const D3DXVECTOR2& v) const { return {x - v.x, y - v.y}; }
    D3DXVECTOR2 operator*(FLOAT f) const { return {x * f, y * f}; }
    D3DXVECTOR2 operator/(FLOAT f) const { return *this * (1.0f / f); }
    friend D3DXVECTOR2 operator*(FLOAT f, const D3DXVECTOR2& v) { return v * f; }
    bool operator==(const D3DXVECTOR2& v) const { return x == v.x && y == v.y; }

    FLOAT x;
    FLOAT y;
};

struct D3DXVECTOR3 : public D3DVECTOR {
    D3DXVECTOR3() = default;
    explicit D3DXVECTOR3(const FLOAT* f)
        : D3DVECTOR{f[0], f[1], f[2]} {}
    D3DXVECTOR3(const D3DVECTOR& v)
        : D3DVECTOR(v) {}
    D3DXVECTOR3(FLOAT fx, FLOAT fy, FLOAT fz)
        : D3DVECTOR{fx, fy, fz} {}

    operator FLOAT*() { return &x; }
    operator const FLOAT*() const { return &x; }

    D3DXVECTOR3& operator+=(const D3DXVECTOR3& v) {
        x += v.x;
        y += v.y;
        z += v.z;
        return *this;
    }
    D3DXVECTOR3& operator-=(const D3DXVECTOR3& v) {
        x -= v.x;
        y -= v.y;
        z -= v.z;
        return *this;
    }
    D3DXVECTOR3& operator*=(FLOAT f) {
        x *= f;
        y *= f;
        z *= f;
        return *this;
    }
    D3DXVECTOR3& operator/=(FLOAT f) { return *this *= 1.0f / f; }

    D3DXVECTOR3 operator+() const { return *this; }
    D3DXVECTOR3 operator-() const { return {-x, -y, -z}; }
    D3DXVECTOR3 operator+(const D3DXVECTOR3& v) const { return {x + v.x, y + v.y, z + v.z}; }
    D3DXVECTOR3 operator-(const D3DXVECTOR3& v) const { return {x - v.x, y - v.y, z - v.z}; }
    D3DXVECTOR3 operator*(FLOAT f) const { return {x * f, y * f, z * f}; }
    D3DXVECTOR3 operator/(FLOAT f) const { return *this * (1.0f / f); }
    friend D3DXVECTOR3 operator*(FLOAT f, const D3DXVECTOR3& v) { return v * f; }
    bool operator==(const D3DXVECTOR3& v) const { return x == v.x && y == v.y && z == v.z; }
};

struct D3DXVECTOR4 {
    D3DXVECTOR4() = default;
    explicit D3DXVECTOR4(const FLOAT* f)
        : x(f[0])
        , y(f[1])
        , z(f[2])
        , w(f[3]) {}
    D3DXVECTOR4(const D3DVECTOR& xyz, FLOAT fw)
        : x(xyz.x)
        , y(xyz.y)
        , z(xyz.z)
        , w(fw) {}
    D3DXVECTOR4(FLOAT fx, FLOAT fy, FLOAT fz, FLOAT fw)
        : x(fx)
        , y(fy)
        , z(fz)
        , w(fw) {}

    operator FLOAT*() { return &x; }
    operator const FLOAT*() const { return &x; }

    D3DXVECTOR4& operator+=(const D3DXVECTOR4& v) {
        x += v.x;
        y += v.y;
        z += v.z;
        w += v.w;
        return *this;
    }
    D3DXVECTOR4& operator-=(const D3DXVECTOR4& v) {
        x -= v.x;
        y -= v.y;
        z -= v.z;
        w -= v.w;
        return *this;
    }
    D3DXVECTOR4& operator*=(FLOAT f) {
        x *= f;
        y *= f;
        z *= f;
        w *= f;
        return *this;
    }
    D3DXVECTOR4& operator/=(FLOAT f) { return *this *= 1.0f / f; }

    D3DXVECTOR4 operator+() const { return *this; }
    D3DXVECTOR4 operator-() const { return {-x, -y, -z, -w}; }
    D3DXVECTOR4 operator+(const D3DXVECTOR4& v) const {
        return {x + v.x, y + v.y, z + v.z, w + v.w};
    }
    D3DXVECTOR4 operator-(const D3DXVECTOR4& v) const {
        return {x - v.x, y - v.y, z - v.z, w - v.w};
    }
    D3DXVECTOR4 operator*(FLOAT f) const { return {x * f, y * f, z * f, w * f}; }
    D3DXVECTOR4 operator/(FLOAT f) const { return *this * (1.0f / f); }
    friend D3DXVECTOR4 operator*(FLOAT f, const D3DXVECTOR4& v) { return v * f; }
    bool operator==(const D3DXVECTOR4& v) const {
        return x == v.x && y == v.y && z == v.z && w == v.w;
    }

    FLOAT x;
    FLOAT y;
    FLOAT z;
    FLOAT w;
};

struct D3DXMATRIX : public D3DMATRIX {
    D3DXMATRIX() = default;
    explicit D3DXMATRIX(const FLOAT* f);
    D3DXMATRIX(const D3DMATRIX& other)
        : D3DMATRIX(other) {}
    D3DXMATRIX(FLOAT f11, FLOAT f12, FLOAT f13, FLOAT f14, FLOAT f21, FLOAT f22, FLOAT f23,
               FLOAT f24, FLOAT f31, FLOAT f32, FLOAT f33, FLOAT f34, FLOAT f41, FLOAT f42,
               FLOAT f43, FLOAT f44);

    // Row and column from 0.
    FLOAT& operator()(UINT row, UINT column) { return m[row][column]; }
    FLOAT operator()(UINT row, UINT column) const { return m[row][column]; }

    operator FLOAT*() { return &m[0][0]; }
    operator const FLOAT*() const { return &m[0][0]; }

    // Matrix products go through D3DXMatrixMultiply.
    D3DXMATRIX& operator*=(const D3DXMATRIX& other);
    D3DXMATRIX& operator+=(const D3DXMATRIX& other);
    D3DXMATRIX& operator-=(const D3DXMATRIX& other);
    D3DXMATRIX& operator*=(FLOAT f);
    D3DXMATRIX& operator/=(FLOAT f) { return *this *= 1.0f / f; }

    D3DXMATRIX operator+() const { return *this; }
    D3DXMATRIX operator-() const { return *this * -1.0f; }
    D3DXMATRIX operator*(const D3DXMATRIX& other) const;
    D3DXMATRIX operator+(const D3DXMATRIX& other) const { return D3DXMATRIX(*this) += other; }
    D3DXMATRIX operator-(const D3DXMATRIX& other) const { return D3DXMATRIX(*this) -= other; }
    D3DXMATRIX operator*(FLOAT f) const { return D3DXMATRIX(*this) *= f; }
    D3DXMATRIX operator/(FLOAT f) const { return *this * (1.0f / f); }
    friend D3DXMATRIX operator*(FLOAT f, const D3DXMATRIX& mat) { return mat * f; }
    bool operator==(const D3DXMATRIX& other) const;
};

struct D3DXQUATERNION {
    D3DXQUATERNION() = default;
    explicit D3DXQUATERNION(const FLOAT* f)
        : x(f[0])
        , y(f[1])
        , z(f[2])
        , w(f[3]) {}
    D3DXQUATERNION(FLOAT fx, FLOAT fy, FLOAT fz, FLOAT fw)
        : x(fx)
        , y(fy)
        , z(fz)
        , w(fw) {}

    operator FLOAT*() { return &x; }
    operator const FLOAT*() const { return &x; }

    D3DXQUATERNION& operator+=(const D3DXQUATERNION& q) {
        x += q.x;
        y += q.y;
        z += q.z;
        w += q.w;
        return *this;
    }
    D3DXQUATERNION& operator-=(const D3DXQUATERNION& q) {
        x -= q.x;
        y -= q.y;
        z -= q.z;
        w -= q.w;
        return *this;
    }
    // Composition as D3DXQuaternionMultiply: this rotation, then `q`.
    D3DXQUATERNION& operator*=(const D3DXQUATERNION& q);
    D3DXQUATERNION& operator*=(FLOAT f) {
        x *= f;
        y *= f;
        z *= f;
        w *= f;
        return *this;
    }
    D3DXQUATERNION& operator/=(FLOAT f) { return *this *= 1.0f / f; }

    D3DXQUATERNION operator+() const { return *this; }
    D3DXQUATERNION operator-() const { return {-x, -y, -z, -w}; }
    D3DXQUATERNION operator+(const D3DXQUATERNION& q) const {
        return {x + q.x, y + q.y, z + q.z, w + q.w};
    }
    D3DXQUATERNION operator-(const D3DXQUATERNION& q) const {
        return {x - q.x, y - q.y, z - q.z, w - q.w};
    }
    D3DXQUATERNION operator*(const D3DXQUATERNION& q) const;
    D3DXQUATERNION operator*(FLOAT f) const { return {x * f, y * f, z * f, w * f}; }
    D3DXQUATERNION operator/(FLOAT f) const { return *this * (1.0f / f); }
    friend D3DXQUATERNION operator*(FLOAT f, const D3DXQUATERNION& q) { return q * f; }
    bool operator==(const D3DXQUATERNION& q) const {
        return x == q.x && y == q.y && z == q.z && w == q.w;
    }

    FLOAT x;
    FLOAT y;
    FLOAT z;
    FLOAT w;
};

// The plane a*x + b*y + c*z + d = 0.
struct D3DXPLANE {
    D3DXPLANE() = default;
    explicit D3DXPLANE(const FLOAT* f)
        : a(f[0])
        , b(f[1])
        , c(f[2])
        , d(f[3]) {}
    D3DXPLANE(FLOAT fa, FLOAT fb, FLOAT fc, FLOAT fd)
        : a(fa)
        , b(fb)
        , c(fc)
        , d(fd) {}

    operator FLOAT*() { return &a; }
    operator const FLOAT*() const { return &a; }

    D3DXPLANE& operator*=(FLOAT f) {
        a *= f;
        b *= f;
        c *= f;
        d *= f;
        return *this;
    }
    D3DXPLANE& operator/=(FLOAT f) { return *this *= 1.0f / f; }
    D3DXPLANE operator+() const { return *this; }
    D3DXPLANE operator-() const { return {-a, -b, -c, -d}; }
    D3DXPLANE operator*(FLOAT f) const { return {a * f, b * f, c * f, d * f}; }
    D3DXPLANE operator/(FLOAT f) const { return *this * (1.0f / f); }
    friend D3DXPLANE operator*(FLOAT f, const D3DXPLANE& p) { return p * f; }
    bool operator==(const D3DXPLANE& p) const {
        return a == p.a && b == p.b && c == p.c && d == p.d;
    }

    FLOAT a;
    FLOAT b;
    FLOAT c;
    FLOAT d;
};

static_assert(sizeof(D3DXVECTOR2) == 8 && offsetof(D3DXVECTOR2, y) == 4);
static_assert(sizeof(D3DXVECTOR3) == 12);
static_assert(sizeof(D3DXVECTOR4) == 16 && offsetof(D3DXVECTOR4, w) == 12);
static_assert(sizeof(D3DXMATRIX) == 64);
static_assert(sizeof(D3DXQUATERNION) == 16 && offsetof(D3DXQUATERNION, w) == 12);
static_assert(sizeof(D3DXPLANE) == 16 && offsetof(D3DXPLANE, d) == 12);

// ---- Dispatched routines used by the scene, the model and the loaders ----

// out = m1 * m2 (m1's transformation first). `out` may be m1, m2 or both.
D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* m1,
                               const D3DXMATRIX* m2) noexcept;

// The identity with (x, y, z) in the fourth row.
D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* out, FLOAT x, FLOAT y, FLOAT z) noexcept;

// Rotation by `roll` about z, then `pitch` about x, then `yaw` about y (radians): the matrix
// of D3DXQuaternionRotationYawPitchRoll, both taken through the dispatch table.
D3DXMATRIX* D3DXMatrixRotationYawPitchRoll(D3DXMATRIX* out, FLOAT yaw, FLOAT pitch,
                                           FLOAT roll) noexcept;

// The unit quaternion of the same rotation as D3DXMatrixRotationYawPitchRoll. The SSE sets
// take their sines and cosines from a vector routine of their own (within 1e-7).
D3DXQUATERNION* D3DXQuaternionRotationYawPitchRoll(D3DXQUATERNION* out, FLOAT yaw, FLOAT pitch,
                                                   FLOAT roll) noexcept;

// The rotation matrix of `q`, used as given (not normalised first).
D3DXMATRIX* D3DXMatrixRotationQuaternion(D3DXMATRIX* out, const D3DXQUATERNION* q) noexcept;

// `v` scaled to unit length; the zero vector gives zero. Portable set: a squared length within
// 1e-5 of 1 returns `v` unchanged, otherwise 1/length comes from a table (relative error about
// 1e-6). SSE sets: squared lengths below 2^-46 give zero, otherwise the hardware estimate of
// 1/length refined once; no shortcut near 1. Vectors whose squared length overflows (and, in
// the portable set, is subnormal) are scaled by a power of two first.
D3DXVECTOR3* D3DXVec3Normalize(D3DXVECTOR3* out, const D3DXVECTOR3* v) noexcept;

// (x, y, z, 1) * m, divided by its w. Portable set: a w within the single-precision epsilon of
// 1 is taken as 1. SSE sets: always divide, by a refined hardware reciprocal estimate. A w of 0
// gives infinities or NaN.
D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v,
                                    const D3DXMATRIX* m) noexcept;

// (x, y, z, 0) * m: direction vectors, without the translation.
D3DXVECTOR3* D3DXVec3TransformNormal(D3DXVECTOR3* out, const D3DXVECTOR3* v,
                                     const D3DXMATRIX* m) noexcept;

// ---- Not dispatched ----

// Left-handed view matrix looking from `eye` at `at`, with `up` giving the vertical. Rows hold
// the camera's x, y, z axes as columns, then (-x.eye, -y.eye, -z.eye, 1). `up` must not be
// parallel to the view direction.
D3DXMATRIX* D3DXMatrixLookAtLH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                               const D3DXVECTOR3* up) noexcept;

// Left-handed perspective projection: `fovy` the vertical field of view in radians, `aspect`
// width over height, `zn` and `zf` the near and far planes (mapped to z 0 and 1).
D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* out, FLOAT fovy, FLOAT aspect, FLOAT zn,
                                       FLOAT zf) noexcept;

// ---- Further dispatched routines (the portable routine in every set) ----
// Array routines take byte strides between elements, so they can walk vertex buffers; they
// work element by element, so converting in place (same buffer, same stride) is fine.

D3DXVECTOR2* D3DXVec2Normalize(D3DXVECTOR2* out, const D3DXVECTOR2* v) noexcept;
// Cubic Hermite curve through v1 (s = 0) and v2 (s = 1) with tangents t1 and t2.
D3DXVECTOR2* D3DXVec2Hermite(D3DXVECTOR2* out, const D3DXVECTOR2* v1, const D3DXVECTOR2* t1,
                             const D3DXVECTOR2* v2, const D3DXVECTOR2* t2, FLOAT s) noexcept;
// Catmull-Rom spline between v1 (s = 0) and v2 (s = 1), with v0 and v3 the neighbours.
D3DXVECTOR2* D3DXVec2CatmullRom(D3DXVECTOR2* out, const D3DXVECTOR2* v0, const D3DXVECTOR2* v1,
                                const D3DXVECTOR2* v2, const D3DXVECTOR2* v3, FLOAT s) noexcept;
// v1 + f (v2 - v1) + g (v3 - v1).
D3DXVECTOR2* D3DXVec2BaryCentric(D3DXVECTOR2* out, const D3DXVECTOR2* v1, const D3DXVECTOR2* v2,
                                 const D3DXVECTOR2* v3, FLOAT f, FLOAT g) noexcept;
// (x, y, 0, 1) * m.
D3DXVECTOR4* D3DXVec2Transform(D3DXVECTOR4* out, const D3DXVECTOR2* v,
                               const D3DXMATRIX* m) noexcept;
// (x, y, 0, 1) * m divided by its w, with the portable rule of D3DXVec3TransformCoord.
D3DXVECTOR2* D3DXVec2TransformCoord(D3DXVECTOR2* out, const D3DXVECTOR2* v,
                                    const D3DXMATRIX* m) noexcept;
// (x, y, 0, 0) * m.
D3DXVECTOR2* D3DXVec2TransformNormal(D3DXVECTOR2* out, const D3DXVECTOR2* v,
                                     const D3DXMATRIX* m) noexcept;
D3DXVECTOR4* D3DXVec2TransformArray(D3DXVECTOR4* out, UINT outStride, const D3DXVECTOR2* v,
                                    UINT vStride, const D3DXMATRIX* m, UINT count) noexcept;
D3DXVECTOR2* D3DXVec2TransformCoordArray(D3DXVECTOR2* out, UINT outStride, const D3DXVECTOR2* v,
                                         UINT vStride, const D3DXMATRIX* m, UINT count) noexcept;
D3DXVECTOR2* D3DXVec2TransformNormalArray(D3DXVECTOR2* out, UINT outStride, const D3DXVECTOR2* v,
                                          UINT vStride, const D3DXMATRIX* m, UINT count) noexcept;

D3DXVECTOR3* D3DXVec3Hermite(D3DXVECTOR3* out, const D3DXVECTOR3* v1, const D3DXVECTOR3* t1,
                             const D3DXVECTOR3* v2, const D3DXVECTOR3* t2, FLOAT s) noexcept;
D3DXVECTOR3* D3DXVec3CatmullRom(D3DXVECTOR3* out, const D3DXVECTOR3* v0, const D3DXVECTOR3* v1,
                                const D3DXVECTOR3* v2, const D3DXVECTOR3* v3, FLOAT s) noexcept;
D3DXVECTOR3* D3DXVec3BaryCentric(D3DXVECTOR3* out, const D3DXVECTOR3* v1, const D3DXVECTOR3* v2,
                                 const D3DXVECTOR3* v3, FLOAT f, FLOAT g) noexcept;
// (x, y, z, 1) * m.
D3DXVECTOR4* D3DXVec3Transform(D3DXVECTOR4* out, const D3DXVECTOR3* v,
                               const D3DXMATRIX* m) noexcept;
D3DXVECTOR4* D3DXVec3TransformArray(D3DXVECTOR4* out, UINT outStride, const D3DXVECTOR3* v,
                                    UINT vStride, const D3DXMATRIX* m, UINT count) noexcept;
D3DXVECTOR3* D3DXVec3TransformCoordArray(D3DXVECTOR3* out, UINT outStride, const D3DXVECTOR3* v,
                                         UINT vStride, const D3DXMATRIX* m, UINT count) noexcept;
D3DXVECTOR3* D3DXVec3TransformNormalArray(D3DXVECTOR3* out, UINT outStride, const D3DXVECTOR3* v,
                                          UINT vStride, const D3DXMATRIX* m, UINT count) noexcept;

// The four-dimensional cross product: the vector orthogonal to v1, v2 and v3.
D3DXVECTOR4* D3DXVec4Cross(D3DXVECTOR4* out, const D3DXVECTOR4* v1, const D3DXVECTOR4* v2,
                           const D3DXVECTOR4* v3) noexcept;
D3DXVECTOR4* D3DXVec4Normalize(D3DXVECTOR4* out, const D3DXVECTOR4* v) noexcept;
D3DXVECTOR4* D3DXVec4Hermite(D3DXVECTOR4* out, const D3DXVECTOR4* v1, const D3DXVECTOR4* t1,
                             const D3DXVECTOR4* v2, const D3DXVECTOR4* t2, FLOAT s) noexcept;
D3DXVECTOR4* D3DXVec4CatmullRom(D3DXVECTOR4* out, const D3DXVECTOR4* v0, const D3DXVECTOR4* v1,
                                const D3DXVECTOR4* v2, const D3DXVECTOR4* v3, FLOAT s) noexcept;
D3DXVECTOR4* D3DXVec4BaryCentric(D3DXVECTOR4* out, const D3DXVECTOR4* v1, const D3DXVECTOR4* v2,
                                 const D3DXVECTOR4* v3, FLOAT f, FLOAT g) noexcept;
D3DXVECTOR4* D3DXVec4Transform(D3DXVECTOR4* out, const D3DXVECTOR4* v,
                               const D3DXMATRIX* m) noexcept;
D3DXVECTOR4* D3DXVec4TransformArray(D3DXVECTOR4* out, UINT outStride, const D3DXVECTOR4* v,
                                    UINT vStride, const D3DXMATRIX* m, UINT count) noexcept;

FLOAT D3DXMatrixDeterminant(const D3DXMATRIX* m) noexcept;
D3DXMATRIX* D3DXMatrixTranspose(D3DXMATRIX* out, const D3DXMATRIX* m) noexcept;
// The transpose of m1 * m2.
D3DXMATRIX* D3DXMatrixMultiplyTranspose(D3DXMATRIX* out, const D3DXMATRIX* m1,
                                        const D3DXMATRIX* m2) noexcept;
// The inverse of `m`; its determinant goes to `determinant` when that is not null. A singular
// matrix (determinant 0) gives null and leaves `out` untouched.
D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* out, FLOAT* determinant, const D3DXMATRIX* m) noexcept;
D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* out, FLOAT sx, FLOAT sy, FLOAT sz) noexcept;
// Rotations by `angle` radians, clockwise looking along the axis towards the origin.
D3DXMATRIX* D3DXMatrixRotationX(D3DXMATRIX* out, FLOAT angle) noexcept;
D3DXMATRIX* D3DXMatrixRotationY(D3DXMATRIX* out, FLOAT angle) noexcept;
D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* out, FLOAT angle) noexcept;
// Rotation by `angle` about `axis` (normalised first; it must not be zero).
D3DXMATRIX* D3DXMatrixRotationAxis(D3DXMATRIX* out, const D3DXVECTOR3* axis, FLOAT angle) noexcept;
// Scaling, then rotation about `rotationCenter`, then translation. Null vector or quaternion
// arguments mean none.
D3DXMATRIX* D3DXMatrixAffineTransformation(D3DXMATRIX* out, FLOAT scaling,
                                           const D3DXVECTOR3* rotationCenter,
                                           const D3DXQUATERNION* rotation,
                                           const D3DXVECTOR3* translation) noexcept;
// The same in the xy plane, the rotation about z.
D3DXMATRIX* D3DXMatrixAffineTransformation2D(D3DXMATRIX* out, FLOAT scaling,
                                             const D3DXVECTOR2* rotationCenter, FLOAT rotation,
                                             const D3DXVECTOR2* translation) noexcept;
// Scaling along the axes of `scalingRotation` about `scalingCenter`, then rotation about
// `rotationCenter`, then translation. Null arguments mean none.
D3DXMATRIX* D3DXMatrixTransformation(D3DXMATRIX* out, const D3DXVECTOR3* scalingCenter,
                                     const D3DXQUATERNION* scalingRotation,
                                     const D3DXVECTOR3* scaling, const D3DXVECTOR3* rotationCenter,
                                     const D3DXQUATERNION* rotation,
                                     const D3DXVECTOR3* translation) noexcept;
D3DXMATRIX* D3DXMatrixTransformation2D(D3DXMATRIX* out, const D3DXVECTOR2* scalingCenter,
                                       FLOAT scalingRotation, const D3DXVECTOR2* scaling,
                                       const D3DXVECTOR2* rotationCenter, FLOAT rotation,
                                       const D3DXVECTOR2* translation) noexcept;
// Mirror image in `plane` (normalised first).
D3DXMATRIX* D3DXMatrixReflect(D3DXMATRIX* out, const D3DXPLANE* plane) noexcept;
// Flattens geometry onto `plane` (normalised first) as seen from `light`: a direction when its
// w is 0, a point when 1.
D3DXMATRIX* D3DXMatrixShadow(D3DXMATRIX* out, const D3DXVECTOR4* light,
                             const D3DXPLANE* plane) noexcept;
// Splits `m` into scaling, rotation and translation (m = S * R * T). A mirroring matrix gets a
// negative x scale. Fails with D3DERR_INVALIDCALL, writing nothing, when a scale is 0.
HRESULT D3DXMatrixDecompose(D3DXVECTOR3* scaling, D3DXQUATERNION* rotation,
                            D3DXVECTOR3* translation, const D3DXMATRIX* m) noexcept;
// Left-handed projections onto z from 0 (near) to 1 (far): perspective with a view volume
// `width` by `height` at the near plane, or bounded by left/right/bottom/top there;
// orthographic likewise.
D3DXMATRIX* D3DXMatrixPerspectiveLH(D3DXMATRIX* out, FLOAT width, FLOAT height, FLOAT zn,
                                    FLOAT zf) noexcept;
D3DXMATRIX* D3DXMatrixPerspectiveOffCenterLH(D3DXMATRIX* out, FLOAT left, FLOAT right, FLOAT bottom,
                                             FLOAT top, FLOAT zn, FLOAT zf) noexcept;
D3DXMATRIX* D3DXMatrixOrthoLH(D3DXMATRIX* out, FLOAT width, FLOAT height, FLOAT zn,
                              FLOAT zf) noexcept;
D3DXMATRIX* D3DXMatrixOrthoOffCenterLH(D3DXMATRIX* out, FLOAT left, FLOAT right, FLOAT bottom,
                                       FLOAT top, FLOAT zn, FLOAT zf) noexcept;
// Right-handed view matrix: the camera looks down its negative z axis.
D3DXMATRIX* D3DXMatrixLookAtRH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                               const D3DXVECTOR3* up) noexcept;

// The quaternion of the rotation part of `m` (rows orthonormal).
D3DXQUATERNION* D3DXQuaternionRotationMatrix(D3DXQUATERNION* out, const D3DXMATRIX* m) noexcept;
// Rotation by `angle` about `axis` (normalised first).
D3DXQUATERNION* D3DXQuaternionRotationAxis(D3DXQUATERNION* out, const D3DXVECTOR3* axis,
                                           FLOAT angle) noexcept;
// The axis (x, y, z of `q`, not normalised) and angle of the unit quaternion `q`.
void D3DXQuaternionToAxisAngle(const D3DXQUATERNION* q, D3DXVECTOR3* axis, FLOAT* angle) noexcept;
// The rotation `q1` followed by `q2`, matching D3DXMatrixMultiply of their matrices.
D3DXQUATERNION* D3DXQuaternionMultiply(D3DXQUATERNION* out, const D3DXQUATERNION* q1,
                                       const D3DXQUATERNION* q2) noexcept;
D3DXQUATERNION* D3DXQuaternionNormalize(D3DXQUATERNION* out, const D3DXQUATERNION* q) noexcept;
// The conjugate divided by the squared length; zero gives zero.
D3DXQUATERNION* D3DXQuaternionInverse(D3DXQUATERNION* out, const D3DXQUATERNION* q) noexcept;
// Logarithm of a unit quaternion: (axis * half angle, 0).
D3DXQUATERNION* D3DXQuaternionLn(D3DXQUATERNION* out, const D3DXQUATERNION* q) noexcept;
// Exponential of a pure quaternion (w ignored): the inverse of D3DXQuaternionLn.
D3DXQUATERNION* D3DXQuaternionExp(D3DXQUATERNION* out, const D3DXQUATERNION* q) noexcept;
// Spherical interpolation from q1 (t = 0) to q2 (t = 1) along the shorter arc.
D3DXQUATERNION* D3DXQuaternionSlerp(D3DXQUATERNION* out, const D3DXQUATERNION* q1,
                                    const D3DXQUATERNION* q2, FLOAT t) noexcept;
// Spherical quadrangle interpolation from q1 (t = 0) to c (t = 1) with control points a and b
// from D3DXQuaternionSquadSetup.
D3DXQUATERNION* D3DXQuaternionSquad(D3DXQUATERNION* out, const D3DXQUATERNION* q1,
                                    const D3DXQUATERNION* a, const D3DXQUATERNION* b,
                                    const D3DXQUATERNION* c, FLOAT t) noexcept;
// Control points for D3DXQuaternionSquad between q1 and q2 with neighbours q0 and q3 (unit
// quaternions); `outC` is q2 on q1's side of the sphere.
void D3DXQuaternionSquadSetup(D3DXQUATERNION* outA, D3DXQUATERNION* outB, D3DXQUATERNION* outC,
                              const D3DXQUATERNION* q0, const D3DXQUATERNION* q1,
                              const D3DXQUATERNION* q2, const D3DXQUATERNION* q3) noexcept;
// Slerp(Slerp(q1, q2, f + g), Slerp(q1, q3, f + g), g / (f + g)); q1 when f + g is 0.
D3DXQUATERNION* D3DXQuaternionBaryCentric(D3DXQUATERNION* out, const D3DXQUATERNION* q1,
                                          const D3DXQUATERNION* q2, const D3DXQUATERNION* q3,
                                          FLOAT f, FLOAT g) noexcept;

// `plane` scaled so that (a, b, c) has unit length; a zero normal gives zeros.
D3DXPLANE* D3DXPlaneNormalize(D3DXPLANE* out, const D3DXPLANE* plane) noexcept;
D3DXPLANE* D3DXPlaneFromPointNormal(D3DXPLANE* out, const D3DXVECTOR3* point,
                                    const D3DXVECTOR3* normal) noexcept;
// The plane through three points, normal (v2 - v1) x (v3 - v1) normalised.
D3DXPLANE* D3DXPlaneFromPoints(D3DXPLANE* out, const D3DXVECTOR3* v1, const D3DXVECTOR3* v2,
                               const D3DXVECTOR3* v3) noexcept;
// Where the line through v1 and v2 meets `plane`; null, `out` untouched, when they are
// parallel.
D3DXVECTOR3* D3DXPlaneIntersectLine(D3DXVECTOR3* out, const D3DXPLANE* plane, const D3DXVECTOR3* v1,
                                    const D3DXVECTOR3* v2) noexcept;
// (a, b, c, d) * m, where m is the inverse transpose of the transformation applied to points.
D3DXPLANE* D3DXPlaneTransform(D3DXPLANE* out, const D3DXPLANE* plane, const D3DXMATRIX* m) noexcept;
D3DXPLANE* D3DXPlaneTransformArray(D3DXPLANE* out, UINT outStride, const D3DXPLANE* plane,
                                   UINT planeStride, const D3DXMATRIX* m, UINT count) noexcept;

// Fresnel reflectance of unpolarised light at an interface: `cosTheta` the cosine of the angle
// of incidence, `refractionIndex` the ratio of the indices.
FLOAT D3DXFresnelTerm(FLOAT cosTheta, FLOAT refractionIndex) noexcept;

// ---- Small inline helpers ----

inline FLOAT D3DXVec2LengthSq(const D3DXVECTOR2* v) {
    return v->x * v->x + v->y * v->y;
}
inline FLOAT D3DXVec2Length(const D3DXVECTOR2* v) {
    return std::sqrt(D3DXVec2LengthSq(v));
}
inline FLOAT D3DXVec2Dot(const D3DXVECTOR2* v1, const D3DXVECTOR2* v2) {
    return v1->x * v2->x + v1->y * v2->y;
}
// The z component of the three-dimensional cross product.
inline FLOAT D3DXVec2CCW(const D3DXVECTOR2* v1, const D3DXVECTOR2* v2) {
    return v1->x * v2->y - v1->y * v2->x;
}
inline D3DXVECTOR2* D3DXVec2Lerp(D3DXVECTOR2* out, const D3DXVECTOR2* v1, const D3DXVECTOR2* v2,
                                 FLOAT s) {
    *out = D3DXVECTOR2(v1->x + s * (v2->x - v1->x), v1->y + s * (v2->y - v1->y));
    return out;
}

inline FLOAT D3DXVec3LengthSq(const D3DXVECTOR3* v) {
    return v->x * v->x + v->y * v->y + v->z * v->z;
}
inline FLOAT D3DXVec3Length(const D3DXVECTOR3* v) {
    return std::sqrt(D3DXVec3LengthSq(v));
}
inline FLOAT D3DXVec3Dot(const D3DXVECTOR3* v1, const D3DXVECTOR3* v2) {
    return v1->x * v2->x + v1->y * v2->y + v1->z * v2->z;
}
inline D3DXVECTOR3* D3DXVec3Cross(D3DXVECTOR3* out, const D3DXVECTOR3* v1, const D3DXVECTOR3* v2) {
    *out = D3DXVECTOR3(v1->y * v2->z - v1->z * v2->y, v1->z * v2->x - v1->x * v2->z,
                       v1->x * v2->y - v1->y * v2->x);
    return out;
}
inline D3DXVECTOR3* D3DXVec3Add(D3DXVECTOR3* out, const D3DXVECTOR3* v1, const D3DXVECTOR3* v2) {
    *out = *v1 + *v2;
    return out;
}
inline D3DXVECTOR3* D3DXVec3Subtract(D3DXVECTOR3* out, const D3DXVECTOR3* v1,
                                     const D3DXVECTOR3* v2) {
    *out = *v1 - *v2;
    return out;
}
inline D3DXVECTOR3* D3DXVec3Scale(D3DXVECTOR3* out, const D3DXVECTOR3* v, FLOAT s) {
    *out = *v * s;
    return out;
}
inline D3DXVECTOR3* D3DXVec3Lerp(D3DXVECTOR3* out, const D3DXVECTOR3* v1, const D3DXVECTOR3* v2,
                                 FLOAT s) {
    *out = D3DXVECTOR3(v1->x + s * (v2->x - v1->x), v1->y + s * (v2->y - v1->y),
                       v1->z + s * (v2->z - v1->z));
    return out;
}
inline D3DXVECTOR3* D3DXVec3Minimize(D3DXVECTOR3* out, const D3DXVECTOR3* v1,
                                     const D3DXVECTOR3* v2) {
    *out = D3DXVECTOR3(v1->x < v2->x ? v1->x : v2->x, v1->y < v2->y ? v1->y : v2->y,
                       v1->z < v2->z ? v1->z : v2->z);
    return out;
}
inline D3DXVECTOR3* D3DXVec3Maximize(D3DXVECTOR3* out, const D3DXVECTOR3* v1,
                                     const D3DXVECTOR3* v2) {
    *out = D3DXVECTOR3(v1->x > v2->x ? v1->x : v2->x, v1->y > v2->y ? v1->y : v2->y,
                       v1->z > v2->z ? v1->z : v2->z);
    return out;
}

inline FLOAT D3DXVec4LengthSq(const D3DXVECTOR4* v) {
    return v->x * v->x + v->y * v->y + v->z * v->z + v->w * v->w;
}
inline FLOAT D3DXVec4Length(const D3DXVECTOR4* v) {
    return std::sqrt(D3DXVec4LengthSq(v));
}
inline FLOAT D3DXVec4Dot(const D3DXVECTOR4* v1, const D3DXVECTOR4* v2) {
    return v1->x * v2->x + v1->y * v2->y + v1->z * v2->z + v1->w * v2->w;
}

inline D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* out) {
    *out = D3DXMATRIX(1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f,
                      0.0f, 0.0f, 1.0f);
    return out;
}
inline BOOL D3DXMatrixIsIdentity(const D3DXMATRIX* m) {
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
            if (m->m[row][column] != (row == column ? 1.0f : 0.0f)) {
                return FALSE;
            }
        }
    }
    return TRUE;
}

inline FLOAT D3DXQuaternionLengthSq(const D3DXQUATERNION* q) {
    return q->x * q->x + q->y * q->y + q->z * q->z + q->w * q->w;
}
inline FLOAT D3DXQuaternionLength(const D3DXQUATERNION* q) {
    return std::sqrt(D3DXQuaternionLengthSq(q));
}
inline FLOAT D3DXQuaternionDot(const D3DXQUATERNION* q1, const D3DXQUATERNION* q2) {
    return q1->x * q2->x + q1->y * q2->y + q1->z * q2->z + q1->w * q2->w;
}
inline D3DXQUATERNION* D3DXQuaternionIdentity(D3DXQUATERNION* out) {
    *out = D3DXQUATERNION(0.0f, 0.0f, 0.0f, 1.0f);
    return out;
}
inline BOOL D3DXQuaternionIsIdentity(const D3DXQUATERNION* q) {
    return q->x == 0.0f && q->y == 0.0f && q->z == 0.0f && q->w == 1.0f ? TRUE : FALSE;
}
inline D3DXQUATERNION* D3DXQuaternionConjugate(D3DXQUATERNION* out, const D3DXQUATERNION* q) {
    *out = D3DXQUATERNION(-q->x, -q->y, -q->z, q->w);
    return out;
}

inline FLOAT D3DXPlaneDot(const D3DXPLANE* p, const D3DXVECTOR4* v) {
    return p->a * v->x + p->b * v->y + p->c * v->z + p->d * v->w;
}
// Signed distance-like value of a point: a x + b y + c z + d.
inline FLOAT D3DXPlaneDotCoord(const D3DXPLANE* p, const D3DXVECTOR3* v) {
    return p->a * v->x + p->b * v->y + p->c * v->z + p->d;
}
inline FLOAT D3DXPlaneDotNormal(const D3DXPLANE* p, const D3DXVECTOR3* v) {
    return p->a * v->x + p->b * v->y + p->c * v->z;
}

// ---- Out-of-class members that call the routines ----

inline D3DXMATRIX::D3DXMATRIX(const FLOAT* f) {
    for (int i = 0; i < 16; ++i) {
        m[i / 4][i % 4] = f[i];
    }
}

inline D3DXMATRIX::D3DXMATRIX(FLOAT f11, FLOAT f12, FLOAT f13, FLOAT f14, FLOAT f21, FLOAT f22,
                              FLOAT f23, FLOAT f24, FLOAT f31, FLOAT f32, FLOAT f33, FLOAT f34,
                              FLOAT f41, FLOAT f42, FLOAT f43, FLOAT f44) {
    _11 = f11;
    _12 = f12;
    _13 = f13;
    _14 = f14;
    _21 = f21;
    _22 = f22;
    _23 = f23;
    _24 = f24;
    _31 = f31;
    _32 = f32;
    _33 = f33;
    _34 = f34;
    _41 = f41;
    _42 = f42;
    _43 = f43;
    _44 = f44;
}

inline D3DXMATRIX& D3DXMATRIX::operator*=(const D3DXMATRIX& other) {
    D3DXMatrixMultiply(this, this, &other);
    return *this;
}

inline D3DXMATRIX& D3DXMATRIX::operator+=(const D3DXMATRIX& other) {
    for (int i = 0; i < 16; ++i) {
        m[i / 4][i % 4] += other.m[i / 4][i % 4];
    }
    return *this;
}

inline D3DXMATRIX& D3DXMATRIX::operator-=(const D3DXMATRIX& other) {
    for (int i = 0; i < 16; ++i) {
        m[i / 4][i % 4] -= other.m[i / 4][i % 4];
    }
    return *this;
}

inline D3DXMATRIX& D3DXMATRIX::operator*=(FLOAT f) {
    for (int i = 0; i < 16; ++i) {
        m[i / 4][i % 4] *= f;
    }
    return *this;
}

inline D3DXMATRIX D3DXMATRIX::operator*(const D3DXMATRIX& other) const {
    D3DXMATRIX product;
    D3DXMatrixMultiply(&product, this, &other);
    return product;
}

inline bool D3DXMATRIX::operator==(const D3DXMATRIX& other) const {
    for (int i = 0; i < 16; ++i) {
        if (m[i / 4][i % 4] != other.m[i / 4][i % 4]) {
            return false;
        }
    }
    return true;
}

inline D3DXQUATERNION& D3DXQUATERNION::operator*=(const D3DXQUATERNION& q) {
    D3DXQuaternionMultiply(this, this, &q);
    return *this;
}

inline D3DXQUATERNION D3DXQUATERNION::operator*(const D3DXQUATERNION& q) const {
    D3DXQUATERNION product;
    D3DXQuaternionMultiply(&product, this, &q);
    return product;
}
