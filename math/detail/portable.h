// The portable routines: the reference every processor-specific set is measured against.
#pragma once

#include "math/half_float.h"
#include "math/vector_math.h"

namespace halv::math::portable {

D3DXMATRIX* matrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* m1, const D3DXMATRIX* m2) noexcept;
D3DXMATRIX* matrixTranslation(D3DXMATRIX* out, FLOAT x, FLOAT y, FLOAT z) noexcept;
D3DXMATRIX* matrixRotationYawPitchRoll(D3DXMATRIX* out, FLOAT yaw, FLOAT pitch,
                                       FLOAT roll) noexcept;
D3DXQUATERNION* quaternionRotationYawPitchRoll(D3DXQUATERNION* out, FLOAT yaw, FLOAT pitch,
                                               FLOAT roll) noexcept;
D3DXMATRIX* matrixRotationQuaternion(D3DXMATRIX* out, const D3DXQUATERNION* q) noexcept;
D3DXVECTOR3* vec3Normalize(D3DXVECTOR3* out, const D3DXVECTOR3* v) noexcept;
D3DXVECTOR3* vec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v,
                                const D3DXMATRIX* m) noexcept;
D3DXVECTOR3* vec3TransformNormal(D3DXVECTOR3* out, const D3DXVECTOR3* v,
                                 const D3DXMATRIX* m) noexcept;
D3DXFLOAT16* float32To16Array(D3DXFLOAT16* out, const FLOAT* in, UINT count) noexcept;
FLOAT* float16To32Array(FLOAT* out, const D3DXFLOAT16* in, UINT count) noexcept;
D3DXVECTOR2* vec2Normalize(D3DXVECTOR2* out, const D3DXVECTOR2* v) noexcept;
D3DXVECTOR2* vec2Hermite(D3DXVECTOR2* out, const D3DXVECTOR2* v1, const D3DXVECTOR2* t1,
                         const D3DXVECTOR2* v2, const D3DXVECTOR2* t2, FLOAT s) noexcept;
D3DXVECTOR2* vec2CatmullRom(D3DXVECTOR2* out, const D3DXVECTOR2* v0, const D3DXVECTOR2* v1,
                            const D3DXVECTOR2* v2, const D3DXVECTOR2* v3, FLOAT s) noexcept;
D3DXVECTOR2* vec2BaryCentric(D3DXVECTOR2* out, const D3DXVECTOR2* v1, const D3DXVECTOR2* v2,
                             const D3DXVECTOR2* v3, FLOAT f, FLOAT g) noexcept;
D3DXVECTOR4* vec2Transform(D3DXVECTOR4* out, const D3DXVECTOR2* v, const D3DXMATRIX* m) noexcept;
D3DXVECTOR2* vec2TransformCoord(D3DXVECTOR2* out, const D3DXVECTOR2* v,
                                const D3DXMATRIX* m) noexcept;
D3DXVECTOR2* vec2TransformNormal(D3DXVECTOR2* out, const D3DXVECTOR2* v,
                                 const D3DXMATRIX* m) noexcept;
D3DXVECTOR4* vec2TransformArray(D3DXVECTOR4* out, UINT outStride, const D3DXVECTOR2* v,
                                UINT vStride, const D3DXMATRIX* m, UINT count) noexcept;
D3DXVECTOR2* vec2TransformCoordArray(D3DXVECTOR2* out, UINT outStride, const D3DXVECTOR2* v,
                                     UINT vStride, const D3DXMATRIX* m, UINT count) noexcept;
D3DXVECTOR2* vec2TransformNormalArray(D3DXVECTOR2* out, UINT outStride, const D3DXVECTOR2* v,
                                      UINT vStride, const D3DXMATRIX* m, UINT count) noexcept;
D3DXVECTOR3* vec3Hermite(D3DXVECTOR3* out, const D3DXVECTOR3* v1, const D3DXVECTOR3* t1,
                         const D3DXVECTOR3* v2, const D3DXVECTOR3* t2, FLOAT s) noexcept;
D3DXVECTOR3* vec3CatmullRom(D3DXVECTOR3* out, const D3DXVECTOR3* v0, const D3DXVECTOR3* v1,
                            const D3DXVECTOR3* v2, const D3DXVECTOR3* v3, FLOAT s) noexcept;
D3DXVECTOR3* vec3BaryCentric(D3DXVECTOR3* out, const D3DXVECTOR3* v1, const D3DXVECTOR3* v2,
                             const D3DXVECTOR3* v3, FLOAT f, FLOAT g) noexcept;
D3DXVECTOR4* vec3Transform(D3DXVECTOR4* out, const D3DXVECTOR3* v, const D3DXMATRIX* m) noexcept;
D3DXVECTOR4* vec3TransformArray(D3DXVECTOR4* out, UINT outStride, const D3DXVECTOR3* v,
                                UINT vStride, const D3DXMATRIX* m, UINT count) noexcept;
D3DXVECTOR3* vec3TransformCoordArray(D3DXVECTOR3* out, UINT outStride, const D3DXVECTOR3* v,
                                     UINT vStride, const D3DXMATRIX* m, UINT count) noexcept;
D3DXVECTOR3* vec3TransformNormalArray(D3DXVECTOR3* out, UINT outStride, const D3DXVECTOR3* v,
                                      UINT vStride, const D3DXMATRIX* m, UINT count) noexcept;
D3DXVECTOR4* vec4Cross(D3DXVECTOR4* out, const D3DXVECTOR4* v1, const D3DXVECTOR4* v2,
                       const D3DXVECTOR4* v3) noexcept;
D3DXVECTOR4* vec4Normalize(D3DXVECTOR4* out, const D3DXVECTOR4* v) noexcept;
D3DXVECTOR4* vec4Hermite(D3DXVECTOR4* out, const D3DXVECTOR4* v1, const D3DXVECTOR4* t1,
                         const D3DXVECTOR4* v2, const D3DXVECTOR4* t2, FLOAT s) noexcept;
D3DXVECTOR4* vec4CatmullRom(D3DXVECTOR4* out, const D3DXVECTOR4* v0, const D3DXVECTOR4* v1,
                            const D3DXVECTOR4* v2, const D3DXVECTOR4* v3, FLOAT s) noexcept;
D3DXVECTOR4* vec4BaryCentric(D3DXVECTOR4* out, const D3DXVECTOR4* v1, const D3DXVECTOR4* v2,
                             const D3DXVECTOR4* v3, FLOAT f, FLOAT g) noexcept;
D3DXVECTOR4* vec4Transform(D3DXVECTOR4* out, const D3DXVECTOR4* v, const D3DXMATRIX* m) noexcept;
D3DXVECTOR4* vec4TransformArray(D3DXVECTOR4* out, UINT outStride, const D3DXVECTOR4* v,
                                UINT vStride, const D3DXMATRIX* m, UINT count) noexcept;
FLOAT matrixDeterminant(const D3DXMATRIX* m) noexcept;
D3DXMATRIX* matrixTranspose(D3DXMATRIX* out, const D3DXMATRIX* m) noexcept;
D3DXMATRIX* matrixMultiplyTranspose(D3DXMATRIX* out, const D3DXMATRIX* m1,
                                    const D3DXMATRIX* m2) noexcept;
D3DXMATRIX* matrixInverse(D3DXMATRIX* out, FLOAT* determinant, const D3DXMATRIX* m) noexcept;
D3DXMATRIX* matrixScaling(D3DXMATRIX* out, FLOAT sx, FLOAT sy, FLOAT sz) noexcept;
D3DXMATRIX* matrixRotationX(D3DXMATRIX* out, FLOAT angle) noexcept;
D3DXMATRIX* matrixRotationY(D3DXMATRIX* out, FLOAT angle) noexcept;
D3DXMATRIX* matrixRotationZ(D3DXMATRIX* out, FLOAT angle) noexcept;
D3DXMATRIX* matrixRotationAxis(D3DXMATRIX* out, const D3DXVECTOR3* axis, FLOAT angle) noexcept;
D3DXMATRIX* matrixAffineTransformation(D3DXMATRIX* out, FLOAT scaling,
                                       const D3DXVECTOR3* rotationCenter,
                                       const D3DXQUATERNION* rotation,
                                       const D3DXVECTOR3* translation) noexcept;
D3DXMATRIX* matrixAffineTransformation2D(D3DXMATRIX* out, FLOAT scaling,
                                         const D3DXVECTOR2* rotationCenter, FLOAT rotation,
                                         const D3DXVECTOR2* translation) noexcept;
D3DXMATRIX* matrixTransformation(D3DXMATRIX* out, const D3DXVECTOR3* scalingCenter,
                                 const D3DXQUATERNION* scalingRotation, const D3DXVECTOR3* scaling,
                                 const D3DXVECTOR3* rotationCenter, const D3DXQUATERNION* rotation,
                                 const D3DXVECTOR3* translation) noexcept;
D3DXMATRIX* matrixTransformation2D(D3DXMATRIX* out, const D3DXVECTOR2* scalingCenter,
                                   FLOAT scalingRotation, const D3DXVECTOR2* scaling,
                                   const D3DXVECTOR2* rotationCenter, FLOAT rotation,
                                   const D3DXVECTOR2* translation) noexcept;
D3DXMATRIX* matrixReflect(D3DXMATRIX* out, const D3DXPLANE* plane) noexcept;
D3DXMATRIX* matrixShadow(D3DXMATRIX* out, const D3DXVECTOR4* light,
                         const D3DXPLANE* plane) noexcept;
HRESULT matrixDecompose(D3DXVECTOR3* scaling, D3DXQUATERNION* rotation, D3DXVECTOR3* translation,
                        const D3DXMATRIX* m) noexcept;
D3DXMATRIX* matrixPerspectiveLH(D3DXMATRIX* out, FLOAT width, FLOAT height, FLOAT zn,
                                FLOAT zf) noexcept;
D3DXMATRIX* matrixPerspectiveOffCenterLH(D3DXMATRIX* out, FLOAT left, FLOAT right, FLOAT bottom,
                                         FLOAT top, FLOAT zn, FLOAT zf) noexcept;
D3DXMATRIX* matrixOrthoLH(D3DXMATRIX* out, FLOAT width, FLOAT height, FLOAT zn, FLOAT zf) noexcept;
D3DXMATRIX* matrixOrthoOffCenterLH(D3DXMATRIX* out, FLOAT left, FLOAT right, FLOAT bottom,
                                   FLOAT top, FLOAT zn, FLOAT zf) noexcept;
D3DXMATRIX* matrixLookAtRH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                           const D3DXVECTOR3* up) noexcept;
D3DXQUATERNION* quaternionRotationMatrix(D3DXQUATERNION* out, const D3DXMATRIX* m) noexcept;
D3DXQUATERNION* quaternionRotationAxis(D3DXQUATERNION* out, const D3DXVECTOR3* axis,
                                       FLOAT angle) noexcept;
void quaternionToAxisAngle(const D3DXQUATERNION* q, D3DXVECTOR3* axis, FLOAT* angle) noexcept;
D3DXQUATERNION* quaternionMultiply(D3DXQUATERNION* out, const D3DXQUATERNION* q1,
                                   const D3DXQUATERNION* q2) noexcept;
D3DXQUATERNION* quaternionNormalize(D3DXQUATERNION* out, const D3DXQUATERNION* q) noexcept;
D3DXQUATERNION* quaternionInverse(D3DXQUATERNION* out, const D3DXQUATERNION* q) noexcept;
D3DXQUATERNION* quaternionLn(D3DXQUATERNION* out, const D3DXQUATERNION* q) noexcept;
D3DXQUATERNION* quaternionExp(D3DXQUATERNION* out, const D3DXQUATERNION* q) noexcept;
D3DXQUATERNION* quaternionSlerp(D3DXQUATERNION* out, const D3DXQUATERNION* q1,
                                const D3DXQUATERNION* q2, FLOAT t) noexcept;
D3DXQUATERNION* quaternionSquad(D3DXQUATERNION* out, const D3DXQUATERNION* q1,
                                const D3DXQUATERNION* a, const D3DXQUATERNION* b,
                                const D3DXQUATERNION* c, FLOAT t) noexcept;
void quaternionSquadSetup(D3DXQUATERNION* outA, D3DXQUATERNION* outB, D3DXQUATERNION* outC,
                          const D3DXQUATERNION* q0, const D3DXQUATERNION* q1,
                          const D3DXQUATERNION* q2, const D3DXQUATERNION* q3) noexcept;
D3DXQUATERNION* quaternionBaryCentric(D3DXQUATERNION* out, const D3DXQUATERNION* q1,
                                      const D3DXQUATERNION* q2, const D3DXQUATERNION* q3, FLOAT f,
                                      FLOAT g) noexcept;
D3DXPLANE* planeNormalize(D3DXPLANE* out, const D3DXPLANE* plane) noexcept;
D3DXPLANE* planeFromPointNormal(D3DXPLANE* out, const D3DXVECTOR3* point,
                                const D3DXVECTOR3* normal) noexcept;
D3DXPLANE* planeFromPoints(D3DXPLANE* out, const D3DXVECTOR3* v1, const D3DXVECTOR3* v2,
                           const D3DXVECTOR3* v3) noexcept;
D3DXVECTOR3* planeIntersectLine(D3DXVECTOR3* out, const D3DXPLANE* plane, const D3DXVECTOR3* v1,
                                const D3DXVECTOR3* v2) noexcept;
D3DXPLANE* planeTransform(D3DXPLANE* out, const D3DXPLANE* plane, const D3DXMATRIX* m) noexcept;
D3DXPLANE* planeTransformArray(D3DXPLANE* out, UINT outStride, const D3DXPLANE* plane,
                               UINT planeStride, const D3DXMATRIX* m, UINT count) noexcept;
FLOAT fresnelTerm(FLOAT cosTheta, FLOAT refractionIndex) noexcept;

// The preferred portable routines that replace their first forms at set-up: normalisation
// through the reciprocal-square-root table, and unrolled products.
D3DXMATRIX* matrixMultiplyUnrolled(D3DXMATRIX* out, const D3DXMATRIX* m1,
                                   const D3DXMATRIX* m2) noexcept;
D3DXMATRIX* matrixMultiplyTransposeUnrolled(D3DXMATRIX* out, const D3DXMATRIX* m1,
                                            const D3DXMATRIX* m2) noexcept;
D3DXVECTOR3* vec3TransformNormalUnrolled(D3DXVECTOR3* out, const D3DXVECTOR3* v,
                                         const D3DXMATRIX* m) noexcept;
D3DXVECTOR2* vec2TransformNormalUnrolled(D3DXVECTOR2* out, const D3DXVECTOR2* v,
                                         const D3DXMATRIX* m) noexcept;
D3DXVECTOR3* vec3TransformNormalArrayUnrolled(D3DXVECTOR3* out, UINT outStride,
                                              const D3DXVECTOR3* v, UINT vStride,
                                              const D3DXMATRIX* m, UINT count) noexcept;
D3DXVECTOR2* vec2NormalizeTable(D3DXVECTOR2* out, const D3DXVECTOR2* v) noexcept;
D3DXVECTOR3* vec3NormalizeTable(D3DXVECTOR3* out, const D3DXVECTOR3* v) noexcept;
D3DXVECTOR4* vec4NormalizeTable(D3DXVECTOR4* out, const D3DXVECTOR4* v) noexcept;
D3DXQUATERNION* quaternionNormalizeTable(D3DXQUATERNION* out, const D3DXQUATERNION* q) noexcept;

} // namespace halv::math::portable
