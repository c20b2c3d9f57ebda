// View and projection matrices: the left-handed pair the scene calls directly, and the
// right-handed view matrix of the dispatch table.
#include "math/detail/portable.h"
#include "math/vector_math.h"

#include <cmath>

namespace halv::math {
namespace {

// Rows hold the camera axes as columns, then the eye moved to the origin. `forward` points
// from the eye into the scene for a left-handed view and back out of it for a right-handed one.
D3DXMATRIX* viewMatrix(D3DXMATRIX* out, const D3DXVECTOR3& eye, const D3DXVECTOR3& forward,
                       const D3DXVECTOR3& up) {
    D3DXVECTOR3 z;
    D3DXVec3Normalize(&z, &forward);
    D3DXVECTOR3 x;
    D3DXVec3Cross(&x, &up, &z);
    D3DXVec3Normalize(&x, &x);
    // z and x are unit and perpendicular, so y needs no normalising of its own.
    D3DXVECTOR3 y;
    D3DXVec3Cross(&y, &z, &x);
    *out = D3DXMATRIX(x.x, y.x, z.x, 0.0f, x.y, y.y, z.y, 0.0f, x.z, y.z, z.z, 0.0f,
                      -D3DXVec3Dot(&x, &eye), -D3DXVec3Dot(&y, &eye), -D3DXVec3Dot(&z, &eye), 1.0f);
    return out;
}

} // namespace

namespace portable {

D3DXMATRIX* matrixLookAtRH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                           const D3DXVECTOR3* up) noexcept {
    return viewMatrix(out, *eye, *eye - *at, *up);
}

} // namespace portable
} // namespace halv::math

D3DXMATRIX* D3DXMatrixLookAtLH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                               const D3DXVECTOR3* up) noexcept {
    return halv::math::viewMatrix(out, *eye, *at - *eye, *up);
}

D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* out, FLOAT fovy, FLOAT aspect, FLOAT zn,
                                       FLOAT zf) noexcept {
    const float halfAngle = fovy * 0.5f;
    const float h = std::cos(halfAngle) / std::sin(halfAngle);
    const float w = h / aspect;
    const float q = zf / (zf - zn);
    *out = D3DXMATRIX(w, 0.0f, 0.0f, 0.0f, 0.0f, h, 0.0f, 0.0f, 0.0f, 0.0f, q, 1.0f, 0.0f, 0.0f,
                      -q * zn, 0.0f);
    return out;
}
