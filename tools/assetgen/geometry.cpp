// Inverse of an affine row-vector matrix by cofactors of its 3x3 part.
#include "tools/assetgen/geometry.h"

namespace halv::assetgen {

Mat4 inverseAffine(const Mat4& a) {
    const auto& m = a.m;
    const double c00 = m[1][1] * m[2][2] - m[1][2] * m[2][1];
    const double c01 = m[1][2] * m[2][0] - m[1][0] * m[2][2];
    const double c02 = m[1][0] * m[2][1] - m[1][1] * m[2][0];
    const double det = m[0][0] * c00 + m[0][1] * c01 + m[0][2] * c02;
    const double inv = 1.0 / det;
    Mat4 r = Mat4::identity();
    r.m[0][0] = c00 * inv;
    r.m[1][0] = c01 * inv;
    r.m[2][0] = c02 * inv;
    r.m[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) * inv;
    r.m[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) * inv;
    r.m[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) * inv;
    r.m[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) * inv;
    r.m[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) * inv;
    r.m[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) * inv;
    const Vec3 t{m[3][0], m[3][1], m[3][2]};
    const Vec3 back = r.transformDirection(t);
    r.m[3][0] = -back.x;
    r.m[3][1] = -back.y;
    r.m[3][2] = -back.z;
    return r;
}

} // namespace halv::assetgen
