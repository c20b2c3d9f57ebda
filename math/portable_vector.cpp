// The portable vector and plane routines.
#include "math/detail/portable.h"
#include "math/detail/rsqrt_table.h"

#include <array>
#include <cfloat>
#include <cmath>

namespace halv::math::portable {
namespace {

// Vectors are handled as float arrays; reading every input before writing keeps each routine
// correct when `out` is one of its inputs.
std::array<float, 2> load(const D3DXVECTOR2& v) {
    return {v.x, v.y};
}
std::array<float, 3> load(const D3DXVECTOR3& v) {
    return {v.x, v.y, v.z};
}
std::array<float, 4> load(const D3DXVECTOR4& v) {
    return {v.x, v.y, v.z, v.w};
}

void store(D3DXVECTOR2* out, const std::array<float, 2>& a) {
    *out = D3DXVECTOR2(a[0], a[1]);
}
void store(D3DXVECTOR3* out, const std::array<float, 3>& a) {
    *out = D3DXVECTOR3(a[0], a[1], a[2]);
}
void store(D3DXVECTOR4* out, const std::array<float, 4>& a) {
    *out = D3DXVECTOR4(a[0], a[1], a[2], a[3]);
}
void store(D3DXPLANE* out, const std::array<float, 4>& a) {
    *out = D3DXPLANE(a[0], a[1], a[2], a[3]);
}

template <typename T>
T* atByteOffset(T* base, UINT stride, UINT index) {
    return reinterpret_cast<T*>(reinterpret_cast<unsigned char*>(base) +
                                static_cast<std::size_t>(stride) * index);
}

template <typename T>
const T* atByteOffset(const T* base, UINT stride, UINT index) {
    return reinterpret_cast<const T*>(reinterpret_cast<const unsigned char*>(base) +
                                      static_cast<std::size_t>(stride) * index);
}

// Sums (h1 * a + h2 * b + h3 * c + h4 * d) component by component.
template <std::size_t N, typename Vector>
Vector* weightedSum(Vector* out, const Vector* a, float h1, const Vector* b, float h2,
                    const Vector* c, float h3, const Vector* d, float h4) {
    const auto va = load(*a);
    const auto vb = load(*b);
    const auto vc = load(*c);
    const auto vd = load(*d);
    std::array<float, N> r;
    for (std::size_t i = 0; i < N; ++i) {
        r[i] = h1 * va[i] + h2 * vb[i] + h3 * vc[i] + h4 * vd[i];
    }
    store(out, r);
    return out;
}

template <std::size_t N, typename Vector>
Vector* hermite(Vector* out, const Vector* v1, const Vector* t1, const Vector* v2, const Vector* t2,
                float s) {
    const float s2 = s * s;
    const float s3 = s2 * s;
    return weightedSum<N>(out, v1, 2.0f * s3 - 3.0f * s2 + 1.0f, t1, s3 - 2.0f * s2 + s, v2,
                          -2.0f * s3 + 3.0f * s2, t2, s3 - s2);
}

template <std::size_t N, typename Vector>
Vector* catmullRom(Vector* out, const Vector* v0, const Vector* v1, const Vector* v2,
                   const Vector* v3, float s) {
    const float s2 = s * s;
    const float s3 = s2 * s;
    return weightedSum<N>(out, v0, 0.5f * (-s3 + 2.0f * s2 - s), v1,
                          0.5f * (3.0f * s3 - 5.0f * s2 + 2.0f), v2,
                          0.5f * (-3.0f * s3 + 4.0f * s2 + s), v3, 0.5f * (s3 - s2));
}

template <std::size_t N, typename Vector>
Vector* baryCentric(Vector* out, const Vector* v1, const Vector* v2, const Vector* v3, float f,
                    float g) {
    const auto a = load(*v1);
    const auto b = load(*v2);
    const auto c = load(*v3);
    std::array<float, N> r;
    for (std::size_t i = 0; i < N; ++i) {
        r[i] = a[i] + f * (b[i] - a[i]) + g * (c[i] - a[i]);
    }
    store(out, r);
    return out;
}

// The exact normalisation of the first forms; the table-based one replaces them at set-up.
template <std::size_t N, typename Vector>
Vector* normalizeExact(Vector* out, const Vector* v) {
    auto a = load(*v);
    float s = 0.0f;
    for (float component : a) {
        s += component * component;
    }
    const float r = s == 0.0f ? 0.0f : 1.0f / std::sqrt(s);
    for (float& component : a) {
        component *= r;
    }
    store(out, a);
    return out;
}

template <std::size_t N, typename Vector>
Vector* normalizeTable(Vector* out, const Vector* v) {
    auto a = load(*v);
    detail::normalizeWithTable(a);
    store(out, a);
    return out;
}

// (x, y, z, w) * m with the row-vector convention, summed in row order.
std::array<float, 4> transform4(float x, float y, float z, float w, const D3DXMATRIX* m) {
    std::array<float, 4> r;
    for (int j = 0; j < 4; ++j) {
        r[j] = x * m->m[0][j] + y * m->m[1][j] + z * m->m[2][j] + w * m->m[3][j];
    }
    return r;
}

// A w within the single-precision epsilon of 1 (the difference taken exactly) is taken as 1,
// so affine matrices give exact coordinates.
bool nearlyOne(float w) {
    const double difference = static_cast<double>(w) - 1.0;
    return difference >= -static_cast<double>(FLT_EPSILON) &&
           difference <= static_cast<double>(FLT_EPSILON);
}

std::array<float, 4> divideByW(std::array<float, 4> r) {
    if (!nearlyOne(r[3])) {
        const float inverse = 1.0f / r[3];
        r[0] *= inverse;
        r[1] *= inverse;
        r[2] *= inverse;
    }
    return r;
}

} // namespace

D3DXVECTOR2* vec2Normalize(D3DXVECTOR2* out, const D3DXVECTOR2* v) noexcept {
    return normalizeExact<2>(out, v);
}

D3DXVECTOR3* vec3Normalize(D3DXVECTOR3* out, const D3DXVECTOR3* v) noexcept {
    return normalizeExact<3>(out, v);
}

D3DXVECTOR4* vec4Normalize(D3DXVECTOR4* out, const D3DXVECTOR4* v) noexcept {
    return normalizeExact<4>(out, v);
}

D3DXVECTOR2* vec2NormalizeTable(D3DXVECTOR2* out, const D3DXVECTOR2* v) noexcept {
    return normalizeTable<2>(out, v);
}

D3DXVECTOR3* vec3NormalizeTable(D3DXVECTOR3* out, const D3DXVECTOR3* v) noexcept {
    return normalizeTable<3>(out, v);
}

D3DXVECTOR4* vec4NormalizeTable(D3DXVECTOR4* out, const D3DXVECTOR4* v) noexcept {
    return normalizeTable<4>(out, v);
}

D3DXVECTOR2* vec2Hermite(D3DXVECTOR2* out, const D3DXVECTOR2* v1, const D3DXVECTOR2* t1,
                         const D3DXVECTOR2* v2, const D3DXVECTOR2* t2, FLOAT s) noexcept {
    return hermite<2>(out, v1, t1, v2, t2, s);
}

D3DXVECTOR3* vec3Hermite(D3DXVECTOR3* out, const D3DXVECTOR3* v1, const D3DXVECTOR3* t1,
                         const D3DXVECTOR3* v2, const D3DXVECTOR3* t2, FLOAT s) noexcept {
    return hermite<3>(out, v1, t1, v2, t2, s);
}

D3DXVECTOR4* vec4Hermite(D3DXVECTOR4* out, const D3DXVECTOR4* v1, const D3DXVECTOR4* t1,
                         const D3DXVECTOR4* v2, const D3DXVECTOR4* t2, FLOAT s) noexcept {
    return hermite<4>(out, v1, t1, v2, t2, s);
}

D3DXVECTOR2* vec2CatmullRom(D3DXVECTOR2* out, const D3DXVECTOR2* v0, const D3DXVECTOR2* v1,
                            const D3DXVECTOR2* v2, const D3DXVECTOR2* v3, FLOAT s) noexcept {
    return catmullRom<2>(out, v0, v1, v2, v3, s);
}

D3DXVECTOR3* vec3CatmullRom(D3DXVECTOR3* out, const D3DXVECTOR3* v0, const D3DXVECTOR3* v1,
                            const D3DXVECTOR3* v2, const D3DXVECTOR3* v3, FLOAT s) noexcept {
    return catmullRom<3>(out, v0, v1, v2, v3, s);
}

D3DXVECTOR4* vec4CatmullRom(D3DXVECTOR4* out, const D3DXVECTOR4* v0, const D3DXVECTOR4* v1,
                            const D3DXVECTOR4* v2, const D3DXVECTOR4* v3, FLOAT s) noexcept {
    return catmullRom<4>(out, v0, v1, v2, v3, s);
}

D3DXVECTOR2* vec2BaryCentric(D3DXVECTOR2* out, const D3DXVECTOR2* v1, const D3DXVECTOR2* v2,
                             const D3DXVECTOR2* v3, FLOAT f, FLOAT g) noexcept {
    return baryCentric<2>(out, v1, v2, v3, f, g);
}

D3DXVECTOR3* vec3BaryCentric(D3DXVECTOR3* out, const D3DXVECTOR3* v1, const D3DXVECTOR3* v2,
                             const D3DXVECTOR3* v3, FLOAT f, FLOAT g) noexcept {
    return baryCentric<3>(out, v1, v2, v3, f, g);
}

D3DXVECTOR4* vec4BaryCentric(D3DXVECTOR4* out, const D3DXVECTOR4* v1, const D3DXVECTOR4* v2,
                             const D3DXVECTOR4* v3, FLOAT f, FLOAT g) noexcept {
    return baryCentric<4>(out, v1, v2, v3, f, g);
}

D3DXVECTOR4* vec2Transform(D3DXVECTOR4* out, const D3DXVECTOR2* v, const D3DXMATRIX* m) noexcept {
    store(out, transform4(v->x, v->y, 0.0f, 1.0f, m));
    return out;
}

D3DXVECTOR2* vec2TransformCoord(D3DXVECTOR2* out, const D3DXVECTOR2* v,
                                const D3DXMATRIX* m) noexcept {
    const auto r = divideByW(transform4(v->x, v->y, 0.0f, 1.0f, m));
    *out = D3DXVECTOR2(r[0], r[1]);
    return out;
}

D3DXVECTOR2* vec2TransformNormal(D3DXVECTOR2* out, const D3DXVECTOR2* v,
                                 const D3DXMATRIX* m) noexcept {
    const auto r = transform4(v->x, v->y, 0.0f, 0.0f, m);
    *out = D3DXVECTOR2(r[0], r[1]);
    return out;
}

D3DXVECTOR2* vec2TransformNormalUnrolled(D3DXVECTOR2* out, const D3DXVECTOR2* v,
                                         const D3DXMATRIX* m) noexcept {
    const float x = v->x;
    const float y = v->y;
    out->x = x * m->_11 + y * m->_21;
    out->y = x * m->_12 + y * m->_22;
    return out;
}

D3DXVECTOR4* vec2TransformArray(D3DXVECTOR4* out, UINT outStride, const D3DXVECTOR2* v,
                                UINT vStride, const D3DXMATRIX* m, UINT count) noexcept {
    for (UINT i = 0; i < count; ++i) {
        vec2Transform(atByteOffset(out, outStride, i), atByteOffset(v, vStride, i), m);
    }
    return out;
}

D3DXVECTOR2* vec2TransformCoordArray(D3DXVECTOR2* out, UINT outStride, const D3DXVECTOR2* v,
                                     UINT vStride, const D3DXMATRIX* m, UINT count) noexcept {
    for (UINT i = 0; i < count; ++i) {
        vec2TransformCoord(atByteOffset(out, outStride, i), atByteOffset(v, vStride, i), m);
    }
    return out;
}

D3DXVECTOR2* vec2TransformNormalArray(D3DXVECTOR2* out, UINT outStride, const D3DXVECTOR2* v,
                                      UINT vStride, const D3DXMATRIX* m, UINT count) noexcept {
    for (UINT i = 0; i < count; ++i) {
        vec2TransformNormal(atByteOffset(out, outStride, i), atByteOffset(v, vStride, i), m);
    }
    return out;
}

D3DXVECTOR4* vec3Transform(D3DXVECTOR4* out, const D3DXVECTOR3* v, const D3DXMATRIX* m) noexcept {
    store(out, transform4(v->x, v->y, v->z, 1.0f, m));
    return out;
}

D3DXVECTOR3* vec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v,
                                const D3DXMATRIX* m) noexcept {
    const auto r = divideByW(transform4(v->x, v->y, v->z, 1.0f, m));
    *out = D3DXVECTOR3(r[0], r[1], r[2]);
    return out;
}

D3DXVECTOR3* vec3TransformNormal(D3DXVECTOR3* out, const D3DXVECTOR3* v,
                                 const D3DXMATRIX* m) noexcept {
    const auto r = transform4(v->x, v->y, v->z, 0.0f, m);
    *out = D3DXVECTOR3(r[0], r[1], r[2]);
    return out;
}

D3DXVECTOR3* vec3TransformNormalUnrolled(D3DXVECTOR3* out, const D3DXVECTOR3* v,
                                         const D3DXMATRIX* m) noexcept {
    const float x = v->x;
    const float y = v->y;
    const float z = v->z;
    out->x = x * m->_11 + y * m->_21 + z * m->_31;
    out->y = x * m->_12 + y * m->_22 + z * m->_32;
    out->z = x * m->_13 + y * m->_23 + z * m->_33;
    return out;
}

D3DXVECTOR4* vec3TransformArray(D3DXVECTOR4* out, UINT outStride, const D3DXVECTOR3* v,
                                UINT vStride, const D3DXMATRIX* m, UINT count) noexcept {
    for (UINT i = 0; i < count; ++i) {
        vec3Transform(atByteOffset(out, outStride, i), atByteOffset(v, vStride, i), m);
    }
    return out;
}

D3DXVECTOR3* vec3TransformCoordArray(D3DXVECTOR3* out, UINT outStride, const D3DXVECTOR3* v,
                                     UINT vStride, const D3DXMATRIX* m, UINT count) noexcept {
    for (UINT i = 0; i < count; ++i) {
        vec3TransformCoord(atByteOffset(out, outStride, i), atByteOffset(v, vStride, i), m);
    }
    return out;
}

D3DXVECTOR3* vec3TransformNormalArray(D3DXVECTOR3* out, UINT outStride, const D3DXVECTOR3* v,
                                      UINT vStride, const D3DXMATRIX* m, UINT count) noexcept {
    for (UINT i = 0; i < count; ++i) {
        vec3TransformNormal(atByteOffset(out, outStride, i), atByteOffset(v, vStride, i), m);
    }
    return out;
}

D3DXVECTOR3* vec3TransformNormalArrayUnrolled(D3DXVECTOR3* out, UINT outStride,
                                              const D3DXVECTOR3* v, UINT vStride,
                                              const D3DXMATRIX* m, UINT count) noexcept {
    // The matrix is read once; the results can only overlap the inputs element by element.
    const float m11 = m->_11, m12 = m->_12, m13 = m->_13;
    const float m21 = m->_21, m22 = m->_22, m23 = m->_23;
    const float m31 = m->_31, m32 = m->_32, m33 = m->_33;
    for (UINT i = 0; i < count; ++i) {
        const D3DXVECTOR3* in = atByteOffset(v, vStride, i);
        const float x = in->x;
        const float y = in->y;
        const float z = in->z;
        D3DXVECTOR3* result = atByteOffset(out, outStride, i);
        result->x = x * m11 + y * m21 + z * m31;
        result->y = x * m12 + y * m22 + z * m32;
        result->z = x * m13 + y * m23 + z * m33;
    }
    return out;
}

D3DXVECTOR4* vec4Cross(D3DXVECTOR4* out, const D3DXVECTOR4* v1, const D3DXVECTOR4* v2,
                       const D3DXVECTOR4* v3) noexcept {
    // The 2x2 minors of v2 and v3, then a cofactor expansion along v1.
    const float a = v2->x * v3->y - v2->y * v3->x;
    const float b = v2->x * v3->z - v2->z * v3->x;
    const float c = v2->x * v3->w - v2->w * v3->x;
    const float d = v2->y * v3->z - v2->z * v3->y;
    const float e = v2->y * v3->w - v2->w * v3->y;
    const float f = v2->z * v3->w - v2->w * v3->z;
    const D3DXVECTOR4 u = *v1;
    *out = D3DXVECTOR4(u.y * f - u.z * e + u.w * d, -u.x * f + u.z * c - u.w * b,
                       u.x * e - u.y * c + u.w * a, -u.x * d + u.y * b - u.z * a);
    return out;
}

D3DXVECTOR4* vec4Transform(D3DXVECTOR4* out, const D3DXVECTOR4* v, const D3DXMATRIX* m) noexcept {
    store(out, transform4(v->x, v->y, v->z, v->w, m));
    return out;
}

D3DXVECTOR4* vec4TransformArray(D3DXVECTOR4* out, UINT outStride, const D3DXVECTOR4* v,
                                UINT vStride, const D3DXMATRIX* m, UINT count) noexcept {
    for (UINT i = 0; i < count; ++i) {
        vec4Transform(atByteOffset(out, outStride, i), atByteOffset(v, vStride, i), m);
    }
    return out;
}

D3DXPLANE* planeNormalize(D3DXPLANE* out, const D3DXPLANE* plane) noexcept {
    const float length = std::sqrt(plane->a * plane->a + plane->b * plane->b + plane->c * plane->c);
    const float r = length == 0.0f ? 0.0f : 1.0f / length;
    *out = *plane * r;
    return out;
}

D3DXPLANE* planeFromPointNormal(D3DXPLANE* out, const D3DXVECTOR3* point,
                                const D3DXVECTOR3* normal) noexcept {
    *out = D3DXPLANE(normal->x, normal->y, normal->z, -D3DXVec3Dot(point, normal));
    return out;
}

D3DXPLANE* planeFromPoints(D3DXPLANE* out, const D3DXVECTOR3* v1, const D3DXVECTOR3* v2,
                           const D3DXVECTOR3* v3) noexcept {
    const D3DXVECTOR3 edge1 = *v2 - *v1;
    const D3DXVECTOR3 edge2 = *v3 - *v1;
    D3DXVECTOR3 normal;
    D3DXVec3Cross(&normal, &edge1, &edge2);
    D3DXVec3Normalize(&normal, &normal);
    const D3DXVECTOR3 point = *v1;
    return planeFromPointNormal(out, &point, &normal);
}

D3DXVECTOR3* planeIntersectLine(D3DXVECTOR3* out, const D3DXPLANE* plane, const D3DXVECTOR3* v1,
                                const D3DXVECTOR3* v2) noexcept {
    const D3DXVECTOR3 direction = *v2 - *v1;
    const float denominator = D3DXPlaneDotNormal(plane, &direction);
    if (denominator == 0.0f) {
        return nullptr;
    }
    const float t = -D3DXPlaneDotCoord(plane, v1) / denominator;
    *out = *v1 + direction * t;
    return out;
}

D3DXPLANE* planeTransform(D3DXPLANE* out, const D3DXPLANE* plane, const D3DXMATRIX* m) noexcept {
    store(out, transform4(plane->a, plane->b, plane->c, plane->d, m));
    return out;
}

D3DXPLANE* planeTransformArray(D3DXPLANE* out, UINT outStride, const D3DXPLANE* plane,
                               UINT planeStride, const D3DXMATRIX* m, UINT count) noexcept {
    for (UINT i = 0; i < count; ++i) {
        planeTransform(atByteOffset(out, outStride, i), atByteOffset(plane, planeStride, i), m);
    }
    return out;
}

FLOAT fresnelTerm(FLOAT cosTheta, FLOAT refractionIndex) noexcept {
    const float g2 = refractionIndex * refractionIndex + cosTheta * cosTheta - 1.0f;
    // No refracted ray: total internal reflection.
    if (g2 < 0.0f) {
        return 1.0f;
    }
    const float g = std::sqrt(g2);
    const float difference = g - cosTheta;
    const float sum = g + cosTheta;
    const float ratio = difference / sum;
    const float parallel = (cosTheta * sum - 1.0f) / (cosTheta * difference + 1.0f);
    return 0.5f * ratio * ratio * (1.0f + parallel * parallel);
}

} // namespace halv::math::portable
