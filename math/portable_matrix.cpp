// The portable matrix routines.
#include "math/detail/portable.h"

#include <cmath>

namespace halv::math::portable {
namespace {

D3DXMATRIX identity() {
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    return m;
}

D3DXMATRIX translation(float x, float y, float z) {
    D3DXMATRIX m = identity();
    m._41 = x;
    m._42 = y;
    m._43 = z;
    return m;
}

D3DXMATRIX rotationZ(float angle) {
    D3DXMATRIX m;
    D3DXMatrixRotationZ(&m, angle);
    return m;
}

D3DXMATRIX rotationOf(const D3DXQUATERNION& q) {
    D3DXMATRIX m;
    D3DXMatrixRotationQuaternion(&m, &q);
    return m;
}

// a * b through the dispatch table.
D3DXMATRIX product(const D3DXMATRIX& a, const D3DXMATRIX& b) {
    D3DXMATRIX m;
    D3DXMatrixMultiply(&m, &a, &b);
    return m;
}

// The six 2x2 minors of the top two rows and of the bottom two, from which the determinant and
// every cofactor follow. Worked in double so nearly singular matrices keep their digits.
struct Minors {
    double s[6];
    double c[6];
    double determinant;
};

Minors minorsOf(const D3DXMATRIX& matrix) {
    auto m = [&matrix](int row, int column) { return static_cast<double>(matrix.m[row][column]); };
    Minors r;
    r.s[0] = m(0, 0) * m(1, 1) - m(1, 0) * m(0, 1);
    r.s[1] = m(0, 0) * m(1, 2) - m(1, 0) * m(0, 2);
    r.s[2] = m(0, 0) * m(1, 3) - m(1, 0) * m(0, 3);
    r.s[3] = m(0, 1) * m(1, 2) - m(1, 1) * m(0, 2);
    r.s[4] = m(0, 1) * m(1, 3) - m(1, 1) * m(0, 3);
    r.s[5] = m(0, 2) * m(1, 3) - m(1, 2) * m(0, 3);
    r.c[0] = m(2, 0) * m(3, 1) - m(3, 0) * m(2, 1);
    r.c[1] = m(2, 0) * m(3, 2) - m(3, 0) * m(2, 2);
    r.c[2] = m(2, 0) * m(3, 3) - m(3, 0) * m(2, 3);
    r.c[3] = m(2, 1) * m(3, 2) - m(3, 1) * m(2, 2);
    r.c[4] = m(2, 1) * m(3, 3) - m(3, 1) * m(2, 3);
    r.c[5] = m(2, 2) * m(3, 3) - m(3, 2) * m(2, 3);
    r.determinant = r.s[0] * r.c[5] - r.s[1] * r.c[4] + r.s[2] * r.c[3] + r.s[3] * r.c[2] -
                    r.s[4] * r.c[1] + r.s[5] * r.c[0];
    return r;
}

} // namespace

D3DXMATRIX* matrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* m1, const D3DXMATRIX* m2) noexcept {
    // Through a temporary, so `out` may be either input.
    D3DXMATRIX result;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            result.m[i][j] = m1->m[i][0] * m2->m[0][j] + m1->m[i][1] * m2->m[1][j] +
                             m1->m[i][2] * m2->m[2][j] + m1->m[i][3] * m2->m[3][j];
        }
    }
    *out = result;
    return out;
}

D3DXMATRIX* matrixMultiplyUnrolled(D3DXMATRIX* out, const D3DXMATRIX* m1,
                                   const D3DXMATRIX* m2) noexcept {
    // All of m2 is read first and each row of m1 before its own row of `out` is written, so
    // `out` may be m1, m2 or both.
    const float b11 = m2->_11, b12 = m2->_12, b13 = m2->_13, b14 = m2->_14;
    const float b21 = m2->_21, b22 = m2->_22, b23 = m2->_23, b24 = m2->_24;
    const float b31 = m2->_31, b32 = m2->_32, b33 = m2->_33, b34 = m2->_34;
    const float b41 = m2->_41, b42 = m2->_42, b43 = m2->_43, b44 = m2->_44;
    for (int i = 0; i < 4; ++i) {
        const float a1 = m1->m[i][0];
        const float a2 = m1->m[i][1];
        const float a3 = m1->m[i][2];
        const float a4 = m1->m[i][3];
        out->m[i][0] = a1 * b11 + a2 * b21 + a3 * b31 + a4 * b41;
        out->m[i][1] = a1 * b12 + a2 * b22 + a3 * b32 + a4 * b42;
        out->m[i][2] = a1 * b13 + a2 * b23 + a3 * b33 + a4 * b43;
        out->m[i][3] = a1 * b14 + a2 * b24 + a3 * b34 + a4 * b44;
    }
    return out;
}

D3DXMATRIX* matrixMultiplyTranspose(D3DXMATRIX* out, const D3DXMATRIX* m1,
                                    const D3DXMATRIX* m2) noexcept {
    D3DXMATRIX result;
    matrixMultiply(&result, m1, m2);
    return matrixTranspose(out, &result);
}

D3DXMATRIX* matrixMultiplyTransposeUnrolled(D3DXMATRIX* out, const D3DXMATRIX* m1,
                                            const D3DXMATRIX* m2) noexcept {
    D3DXMATRIX result;
    matrixMultiplyUnrolled(&result, m1, m2);
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            out->m[j][i] = result.m[i][j];
        }
    }
    return out;
}

D3DXMATRIX* matrixTranslation(D3DXMATRIX* out, FLOAT x, FLOAT y, FLOAT z) noexcept {
    *out = translation(x, y, z);
    return out;
}

D3DXMATRIX* matrixRotationQuaternion(D3DXMATRIX* out, const D3DXQUATERNION* q) noexcept {
    const float x = q->x;
    const float y = q->y;
    const float z = q->z;
    const float w = q->w;
    *out = D3DXMATRIX(1.0f - 2.0f * (y * y + z * z), 2.0f * (x * y + z * w), 2.0f * (x * z - y * w),
                      0.0f, 2.0f * (x * y - z * w), 1.0f - 2.0f * (x * x + z * z),
                      2.0f * (y * z + x * w), 0.0f, 2.0f * (x * z + y * w), 2.0f * (y * z - x * w),
                      1.0f - 2.0f * (x * x + y * y), 0.0f, 0.0f, 0.0f, 0.0f, 1.0f);
    return out;
}

D3DXMATRIX* matrixRotationYawPitchRoll(D3DXMATRIX* out, FLOAT yaw, FLOAT pitch,
                                       FLOAT roll) noexcept {
    // Both steps through the table, so a set's own quaternion routine is used here too.
    D3DXQUATERNION q;
    D3DXQuaternionRotationYawPitchRoll(&q, yaw, pitch, roll);
    return D3DXMatrixRotationQuaternion(out, &q);
}

FLOAT matrixDeterminant(const D3DXMATRIX* m) noexcept {
    return static_cast<float>(minorsOf(*m).determinant);
}

D3DXMATRIX* matrixTranspose(D3DXMATRIX* out, const D3DXMATRIX* m) noexcept {
    const D3DXMATRIX source = *m;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            out->m[j][i] = source.m[i][j];
        }
    }
    return out;
}

D3DXMATRIX* matrixInverse(D3DXMATRIX* out, FLOAT* determinant, const D3DXMATRIX* m) noexcept {
    const Minors r = minorsOf(*m);
    if (determinant != nullptr) {
        *determinant = static_cast<float>(r.determinant);
    }
    if (r.determinant == 0.0) {
        return nullptr;
    }
    auto a = [m](int row, int column) { return static_cast<double>(m->m[row][column]); };
    const double* s = r.s;
    const double* c = r.c;
    // The adjugate: each entry the cofactor of the transposed position.
    const double adjugate[4][4] = {
        {a(1, 1) * c[5] - a(1, 2) * c[4] + a(1, 3) * c[3],
         -a(0, 1) * c[5] + a(0, 2) * c[4] - a(0, 3) * c[3],
         a(3, 1) * s[5] - a(3, 2) * s[4] + a(3, 3) * s[3],
         -a(2, 1) * s[5] + a(2, 2) * s[4] - a(2, 3) * s[3]},
        {-a(1, 0) * c[5] + a(1, 2) * c[2] - a(1, 3) * c[1],
         a(0, 0) * c[5] - a(0, 2) * c[2] + a(0, 3) * c[1],
         -a(3, 0) * s[5] + a(3, 2) * s[2] - a(3, 3) * s[1],
         a(2, 0) * s[5] - a(2, 2) * s[2] + a(2, 3) * s[1]},
        {a(1, 0) * c[4] - a(1, 1) * c[2] + a(1, 3) * c[0],
         -a(0, 0) * c[4] + a(0, 1) * c[2] - a(0, 3) * c[0],
         a(3, 0) * s[4] - a(3, 1) * s[2] + a(3, 3) * s[0],
         -a(2, 0) * s[4] + a(2, 1) * s[2] - a(2, 3) * s[0]},
        {-a(1, 0) * c[3] + a(1, 1) * c[1] - a(1, 2) * c[0],
         a(0, 0) * c[3] - a(0, 1) * c[1] + a(0, 2) * c[0],
         -a(3, 0) * s[3] + a(3, 1) * s[1] - a(3, 2) * s[0],
         a(2, 0) * s[3] - a(2, 1) * s[1] + a(2, 2) * s[0]},
    };
    const double inverseDeterminant = 1.0 / r.determinant;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            out->m[i][j] = static_cast<float>(adjugate[i][j] * inverseDeterminant);
        }
    }
    return out;
}

D3DXMATRIX* matrixScaling(D3DXMATRIX* out, FLOAT sx, FLOAT sy, FLOAT sz) noexcept {
    *out = identity();
    out->_11 = sx;
    out->_22 = sy;
    out->_33 = sz;
    return out;
}

D3DXMATRIX* matrixRotationX(D3DXMATRIX* out, FLOAT angle) noexcept {
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    *out = identity();
    out->_22 = c;
    out->_23 = s;
    out->_32 = -s;
    out->_33 = c;
    return out;
}

D3DXMATRIX* matrixRotationY(D3DXMATRIX* out, FLOAT angle) noexcept {
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    *out = identity();
    out->_11 = c;
    out->_13 = -s;
    out->_31 = s;
    out->_33 = c;
    return out;
}

D3DXMATRIX* matrixRotationZ(D3DXMATRIX* out, FLOAT angle) noexcept {
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    *out = identity();
    out->_11 = c;
    out->_12 = s;
    out->_21 = -s;
    out->_22 = c;
    return out;
}

D3DXMATRIX* matrixRotationAxis(D3DXMATRIX* out, const D3DXVECTOR3* axis, FLOAT angle) noexcept {
    D3DXQUATERNION q;
    D3DXQuaternionRotationAxis(&q, axis, angle);
    return D3DXMatrixRotationQuaternion(out, &q);
}

D3DXMATRIX* matrixAffineTransformation(D3DXMATRIX* out, FLOAT scaling,
                                       const D3DXVECTOR3* rotationCenter,
                                       const D3DXQUATERNION* rotation,
                                       const D3DXVECTOR3* translation) noexcept {
    D3DXMATRIX result;
    matrixScaling(&result, scaling, scaling, scaling);
    if (rotation != nullptr) {
        const D3DXVECTOR3 center =
            rotationCenter != nullptr ? *rotationCenter : D3DXVECTOR3(0.0f, 0.0f, 0.0f);
        result = product(result, portable::translation(-center.x, -center.y, -center.z));
        result = product(result, rotationOf(*rotation));
        result = product(result, portable::translation(center.x, center.y, center.z));
    }
    if (translation != nullptr) {
        result._41 += translation->x;
        result._42 += translation->y;
        result._43 += translation->z;
    }
    *out = result;
    return out;
}

D3DXMATRIX* matrixAffineTransformation2D(D3DXMATRIX* out, FLOAT scaling,
                                         const D3DXVECTOR2* rotationCenter, FLOAT rotation,
                                         const D3DXVECTOR2* translation) noexcept {
    D3DXMATRIX result;
    matrixScaling(&result, scaling, scaling, 1.0f);
    const D3DXVECTOR2 center =
        rotationCenter != nullptr ? *rotationCenter : D3DXVECTOR2(0.0f, 0.0f);
    result = product(result, portable::translation(-center.x, -center.y, 0.0f));
    result = product(result, rotationZ(rotation));
    result = product(result, portable::translation(center.x, center.y, 0.0f));
    if (translation != nullptr) {
        result._41 += translation->x;
        result._42 += translation->y;
    }
    *out = result;
    return out;
}

D3DXMATRIX* matrixTransformation(D3DXMATRIX* out, const D3DXVECTOR3* scalingCenter,
                                 const D3DXQUATERNION* scalingRotation, const D3DXVECTOR3* scaling,
                                 const D3DXVECTOR3* rotationCenter, const D3DXQUATERNION* rotation,
                                 const D3DXVECTOR3* translation) noexcept {
    const D3DXVECTOR3 zero(0.0f, 0.0f, 0.0f);
    const D3DXVECTOR3 sc = scalingCenter != nullptr ? *scalingCenter : zero;
    const D3DXVECTOR3 rc = rotationCenter != nullptr ? *rotationCenter : zero;
    D3DXMATRIX result = portable::translation(-sc.x, -sc.y, -sc.z);
    if (scaling != nullptr) {
        // Scale along the axes of scalingRotation: undo it, scale, redo it.
        D3DXMATRIX axes = identity();
        D3DXMATRIX axesInverse = identity();
        if (scalingRotation != nullptr) {
            axes = rotationOf(*scalingRotation);
            D3DXMatrixTranspose(&axesInverse, &axes);
        }
        D3DXMATRIX scale;
        matrixScaling(&scale, scaling->x, scaling->y, scaling->z);
        result = product(result, axesInverse);
        result = product(result, scale);
        result = product(result, axes);
    }
    result = product(result, portable::translation(sc.x - rc.x, sc.y - rc.y, sc.z - rc.z));
    if (rotation != nullptr) {
        result = product(result, rotationOf(*rotation));
    }
    result = product(result, portable::translation(rc.x, rc.y, rc.z));
    if (translation != nullptr) {
        result._41 += translation->x;
        result._42 += translation->y;
        result._43 += translation->z;
    }
    *out = result;
    return out;
}

D3DXMATRIX* matrixTransformation2D(D3DXMATRIX* out, const D3DXVECTOR2* scalingCenter,
                                   FLOAT scalingRotation, const D3DXVECTOR2* scaling,
                                   const D3DXVECTOR2* rotationCenter, FLOAT rotation,
                                   const D3DXVECTOR2* translation) noexcept {
    const D3DXVECTOR2 zero(0.0f, 0.0f);
    const D3DXVECTOR2 sc = scalingCenter != nullptr ? *scalingCenter : zero;
    const D3DXVECTOR2 rc = rotationCenter != nullptr ? *rotationCenter : zero;
    D3DXMATRIX result = portable::translation(-sc.x, -sc.y, 0.0f);
    if (scaling != nullptr) {
        D3DXMATRIX scale;
        matrixScaling(&scale, scaling->x, scaling->y, 1.0f);
        result = product(result, rotationZ(-scalingRotation));
        result = product(result, scale);
        result = product(result, rotationZ(scalingRotation));
    }
    result = product(result, portable::translation(sc.x - rc.x, sc.y - rc.y, 0.0f));
    result = product(result, rotationZ(rotation));
    result = product(result, portable::translation(rc.x, rc.y, 0.0f));
    if (translation != nullptr) {
        result._41 += translation->x;
        result._42 += translation->y;
    }
    *out = result;
    return out;
}

D3DXMATRIX* matrixReflect(D3DXMATRIX* out, const D3DXPLANE* plane) noexcept {
    D3DXPLANE p;
    D3DXPlaneNormalize(&p, plane);
    // p' = p - 2 (n.p + d) n.
    const float n[3] = {p.a, p.b, p.c};
    D3DXMATRIX result = identity();
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            result.m[i][j] -= 2.0f * n[i] * n[j];
        }
        result.m[3][i] = -2.0f * p.d * n[i];
    }
    *out = result;
    return out;
}

D3DXMATRIX* matrixShadow(D3DXMATRIX* out, const D3DXVECTOR4* light,
                         const D3DXPLANE* plane) noexcept {
    D3DXPLANE p;
    D3DXPlaneNormalize(&p, plane);
    const float planeRow[4] = {p.a, p.b, p.c, p.d};
    const float lightRow[4] = {light->x, light->y, light->z, light->w};
    const float dot = D3DXPlaneDot(&p, light);
    // Every point goes to where the line from the light through it meets the plane:
    // q = (P.L) q - (P.q) L in homogeneous coordinates.
    D3DXMATRIX result;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            result.m[i][j] = (i == j ? dot : 0.0f) - planeRow[i] * lightRow[j];
        }
    }
    *out = result;
    return out;
}

HRESULT matrixDecompose(D3DXVECTOR3* scaling, D3DXQUATERNION* rotation, D3DXVECTOR3* translation,
                        const D3DXMATRIX* m) noexcept {
    D3DXVECTOR3 rows[3] = {
        {m->_11, m->_12, m->_13}, {m->_21, m->_22, m->_23}, {m->_31, m->_32, m->_33}};
    float scale[3];
    for (int i = 0; i < 3; ++i) {
        scale[i] = D3DXVec3Length(&rows[i]);
        if (scale[i] == 0.0f) {
            return D3DERR_INVALIDCALL;
        }
    }
    // A mirror cannot be a rotation; the x axis takes the sign.
    D3DXVECTOR3 cross;
    D3DXVec3Cross(&cross, &rows[0], &rows[1]);
    if (D3DXVec3Dot(&cross, &rows[2]) < 0.0f) {
        scale[0] = -scale[0];
    }
    D3DXMATRIX pure = identity();
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            pure.m[i][j] = m->m[i][j] / scale[i];
        }
    }
    D3DXQUATERNION q;
    D3DXQuaternionRotationMatrix(&q, &pure);
    *scaling = D3DXVECTOR3(scale[0], scale[1], scale[2]);
    *rotation = q;
    *translation = D3DXVECTOR3(m->_41, m->_42, m->_43);
    return S_OK;
}

D3DXMATRIX* matrixPerspectiveLH(D3DXMATRIX* out, FLOAT width, FLOAT height, FLOAT zn,
                                FLOAT zf) noexcept {
    const float q = zf / (zf - zn);
    *out = D3DXMATRIX(2.0f * zn / width, 0.0f, 0.0f, 0.0f, 0.0f, 2.0f * zn / height, 0.0f, 0.0f,
                      0.0f, 0.0f, q, 1.0f, 0.0f, 0.0f, -q * zn, 0.0f);
    return out;
}

D3DXMATRIX* matrixPerspectiveOffCenterLH(D3DXMATRIX* out, FLOAT left, FLOAT right, FLOAT bottom,
                                         FLOAT top, FLOAT zn, FLOAT zf) noexcept {
    const float q = zf / (zf - zn);
    *out = D3DXMATRIX(2.0f * zn / (right - left), 0.0f, 0.0f, 0.0f, 0.0f,
                      2.0f * zn / (top - bottom), 0.0f, 0.0f, (left + right) / (left - right),
                      (top + bottom) / (bottom - top), q, 1.0f, 0.0f, 0.0f, -q * zn, 0.0f);
    return out;
}

D3DXMATRIX* matrixOrthoLH(D3DXMATRIX* out, FLOAT width, FLOAT height, FLOAT zn, FLOAT zf) noexcept {
    const float depth = 1.0f / (zf - zn);
    *out = D3DXMATRIX(2.0f / width, 0.0f, 0.0f, 0.0f, 0.0f, 2.0f / height, 0.0f, 0.0f, 0.0f, 0.0f,
                      depth, 0.0f, 0.0f, 0.0f, -zn * depth, 1.0f);
    return out;
}

D3DXMATRIX* matrixOrthoOffCenterLH(D3DXMATRIX* out, FLOAT left, FLOAT right, FLOAT bottom,
                                   FLOAT top, FLOAT zn, FLOAT zf) noexcept {
    const float depth = 1.0f / (zf - zn);
    *out = D3DXMATRIX(2.0f / (right - left), 0.0f, 0.0f, 0.0f, 0.0f, 2.0f / (top - bottom), 0.0f,
                      0.0f, 0.0f, 0.0f, depth, 0.0f, (left + right) / (left - right),
                      (top + bottom) / (bottom - top), -zn * depth, 1.0f);
    return out;
}

} // namespace halv::math::portable
