// The portable quaternion routines.
#include "math/detail/portable.h"
#include "math/detail/rsqrt_table.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace halv::math::portable {
namespace {

// The Hamilton product p q: q's rotation first, then p's.
D3DXQUATERNION hamilton(const D3DXQUATERNION& p, const D3DXQUATERNION& q) {
    return {p.w * q.x + p.x * q.w + p.y * q.z - p.z * q.y,
            p.w * q.y - p.x * q.z + p.y * q.w + p.z * q.x,
            p.w * q.z + p.x * q.y - p.y * q.x + p.z * q.w,
            p.w * q.w - p.x * q.x - p.y * q.y - p.z * q.z};
}

D3DXQUATERNION conjugate(const D3DXQUATERNION& q) {
    return {-q.x, -q.y, -q.z, q.w};
}

D3DXQUATERNION logarithm(const D3DXQUATERNION& q) {
    D3DXQUATERNION r;
    quaternionLn(&r, &q);
    return r;
}

D3DXQUATERNION exponential(const D3DXQUATERNION& q) {
    D3DXQUATERNION r;
    quaternionExp(&r, &q);
    return r;
}

D3DXQUATERNION slerp(const D3DXQUATERNION& a, const D3DXQUATERNION& b, float t) {
    D3DXQUATERNION r;
    D3DXQuaternionSlerp(&r, &a, &b, t);
    return r;
}

// q1^-1 q2 for unit quaternions, the relative rotation in the order Shoemake's squad uses.
D3DXQUATERNION relative(const D3DXQUATERNION& q1, const D3DXQUATERNION& q2) {
    return hamilton(conjugate(q1), q2);
}

// Of q and -q (the same rotation), the one closer to `near` on the sphere.
D3DXQUATERNION nearTo(const D3DXQUATERNION& near, const D3DXQUATERNION& q) {
    const D3DXQUATERNION sum = near + q;
    const D3DXQUATERNION difference = near - q;
    return D3DXQuaternionLengthSq(&sum) < D3DXQuaternionLengthSq(&difference) ? -q : q;
}

} // namespace

D3DXQUATERNION* quaternionRotationYawPitchRoll(D3DXQUATERNION* out, FLOAT yaw, FLOAT pitch,
                                               FLOAT roll) noexcept {
    const float halfYaw = yaw * 0.5f;
    const float halfPitch = pitch * 0.5f;
    const float halfRoll = roll * 0.5f;
    const float sy = std::sin(halfYaw);
    const float cy = std::cos(halfYaw);
    const float sp = std::sin(halfPitch);
    const float cp = std::cos(halfPitch);
    const float sr = std::sin(halfRoll);
    const float cr = std::cos(halfRoll);
    *out = D3DXQUATERNION(cy * sp * cr + sy * cp * sr, sy * cp * cr - cy * sp * sr,
                          cy * cp * sr - sy * sp * cr, cy * cp * cr + sy * sp * sr);
    return out;
}

D3DXQUATERNION* quaternionRotationMatrix(D3DXQUATERNION* out, const D3DXMATRIX* m) noexcept {
    const float trace = m->_11 + m->_22 + m->_33;
    D3DXQUATERNION q;
    // Divide by the largest of the four candidates to keep the result accurate.
    if (trace > 0.0f) {
        const float w = 0.5f * std::sqrt(1.0f + trace);
        const float k = 0.25f / w;
        q = {(m->_23 - m->_32) * k, (m->_31 - m->_13) * k, (m->_12 - m->_21) * k, w};
    } else if (m->_11 >= m->_22 && m->_11 >= m->_33) {
        const float x = 0.5f * std::sqrt(1.0f + m->_11 - m->_22 - m->_33);
        const float k = 0.25f / x;
        q = {x, (m->_12 + m->_21) * k, (m->_13 + m->_31) * k, (m->_23 - m->_32) * k};
    } else if (m->_22 >= m->_33) {
        const float y = 0.5f * std::sqrt(1.0f + m->_22 - m->_11 - m->_33);
        const float k = 0.25f / y;
        q = {(m->_12 + m->_21) * k, y, (m->_23 + m->_32) * k, (m->_31 - m->_13) * k};
    } else {
        const float z = 0.5f * std::sqrt(1.0f + m->_33 - m->_11 - m->_22);
        const float k = 0.25f / z;
        q = {(m->_13 + m->_31) * k, (m->_23 + m->_32) * k, z, (m->_12 - m->_21) * k};
    }
    *out = q;
    return out;
}

D3DXQUATERNION* quaternionRotationAxis(D3DXQUATERNION* out, const D3DXVECTOR3* axis,
                                       FLOAT angle) noexcept {
    D3DXVECTOR3 unit;
    D3DXVec3Normalize(&unit, axis);
    const float s = std::sin(angle * 0.5f);
    *out = D3DXQUATERNION(unit.x * s, unit.y * s, unit.z * s, std::cos(angle * 0.5f));
    return out;
}

void quaternionToAxisAngle(const D3DXQUATERNION* q, D3DXVECTOR3* axis, FLOAT* angle) noexcept {
    if (axis != nullptr) {
        *axis = D3DXVECTOR3(q->x, q->y, q->z);
    }
    if (angle != nullptr) {
        *angle = 2.0f * std::acos(std::clamp(q->w, -1.0f, 1.0f));
    }
}

D3DXQUATERNION* quaternionMultiply(D3DXQUATERNION* out, const D3DXQUATERNION* q1,
                                   const D3DXQUATERNION* q2) noexcept {
    *out = hamilton(*q2, *q1);
    return out;
}

D3DXQUATERNION* quaternionNormalize(D3DXQUATERNION* out, const D3DXQUATERNION* q) noexcept {
    const float s = D3DXQuaternionLengthSq(q);
    const float r = s == 0.0f ? 0.0f : 1.0f / std::sqrt(s);
    *out = *q * r;
    return out;
}

D3DXQUATERNION* quaternionNormalizeTable(D3DXQUATERNION* out, const D3DXQUATERNION* q) noexcept {
    std::array<float, 4> components = {q->x, q->y, q->z, q->w};
    detail::normalizeWithTable(components);
    *out = D3DXQUATERNION(components.data());
    return out;
}

D3DXQUATERNION* quaternionInverse(D3DXQUATERNION* out, const D3DXQUATERNION* q) noexcept {
    const float s = D3DXQuaternionLengthSq(q);
    const float r = s == 0.0f ? 0.0f : 1.0f / s;
    *out = conjugate(*q) * r;
    return out;
}

D3DXQUATERNION* quaternionLn(D3DXQUATERNION* out, const D3DXQUATERNION* q) noexcept {
    const float w = std::clamp(q->w, -1.0f, 1.0f);
    const float theta = std::acos(w);
    const float s = std::sin(theta);
    // At the identity the axis is undefined; x, y, z are then (near) zero and kept as they are.
    const float k = s == 0.0f ? 1.0f : theta / s;
    *out = D3DXQUATERNION(q->x * k, q->y * k, q->z * k, 0.0f);
    return out;
}

D3DXQUATERNION* quaternionExp(D3DXQUATERNION* out, const D3DXQUATERNION* q) noexcept {
    const float theta = std::sqrt(q->x * q->x + q->y * q->y + q->z * q->z);
    const float k = theta == 0.0f ? 1.0f : std::sin(theta) / theta;
    *out = D3DXQUATERNION(q->x * k, q->y * k, q->z * k, std::cos(theta));
    return out;
}

D3DXQUATERNION* quaternionSlerp(D3DXQUATERNION* out, const D3DXQUATERNION* q1,
                                const D3DXQUATERNION* q2, FLOAT t) noexcept {
    const D3DXQUATERNION a = *q1;
    D3DXQUATERNION b = *q2;
    float cosine = D3DXQuaternionDot(&a, &b);
    if (cosine < 0.0f) {
        b = -b;
        cosine = -cosine;
    }
    float wa = 1.0f - t;
    float wb = t;
    // Nearly equal rotations: the sine below would lose its digits; a straight line is as good.
    if (cosine < 0.9999f) {
        const float theta = std::acos(cosine);
        const float inverseSine = 1.0f / std::sin(theta);
        wa = std::sin((1.0f - t) * theta) * inverseSine;
        wb = std::sin(t * theta) * inverseSine;
    }
    *out = a * wa + b * wb;
    return out;
}

D3DXQUATERNION* quaternionSquad(D3DXQUATERNION* out, const D3DXQUATERNION* q1,
                                const D3DXQUATERNION* a, const D3DXQUATERNION* b,
                                const D3DXQUATERNION* c, FLOAT t) noexcept {
    const D3DXQUATERNION outer = slerp(*q1, *c, t);
    const D3DXQUATERNION inner = slerp(*a, *b, t);
    *out = slerp(outer, inner, 2.0f * t * (1.0f - t));
    return out;
}

void quaternionSquadSetup(D3DXQUATERNION* outA, D3DXQUATERNION* outB, D3DXQUATERNION* outC,
                          const D3DXQUATERNION* q0, const D3DXQUATERNION* q1,
                          const D3DXQUATERNION* q2, const D3DXQUATERNION* q3) noexcept {
    // Each neighbour on the side of the sphere nearest its predecessor, so the curve takes
    // the short way between keys.
    const D3DXQUATERNION p1 = *q1;
    const D3DXQUATERNION p0 = nearTo(p1, *q0);
    const D3DXQUATERNION p2 = nearTo(p1, *q2);
    const D3DXQUATERNION p3 = nearTo(p2, *q3);
    // Logarithms are pure (w = 0), and so are these averages of them.
    const D3DXQUATERNION tangent1 =
        (logarithm(relative(p1, p2)) + logarithm(relative(p1, p0))) * -0.25f;
    const D3DXQUATERNION tangent2 =
        (logarithm(relative(p2, p3)) + logarithm(relative(p2, p1))) * -0.25f;
    *outA = hamilton(p1, exponential(tangent1));
    *outB = hamilton(p2, exponential(tangent2));
    *outC = p2;
}

D3DXQUATERNION* quaternionBaryCentric(D3DXQUATERNION* out, const D3DXQUATERNION* q1,
                                      const D3DXQUATERNION* q2, const D3DXQUATERNION* q3, FLOAT f,
                                      FLOAT g) noexcept {
    const float sum = f + g;
    if (sum == 0.0f) {
        *out = *q1;
        return out;
    }
    const D3DXQUATERNION towards2 = slerp(*q1, *q2, sum);
    const D3DXQUATERNION towards3 = slerp(*q1, *q3, sum);
    *out = slerp(towards2, towards3, g / sum);
    return out;
}

} // namespace halv::math::portable
