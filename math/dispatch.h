// The processor dispatch behind the routines of math/vector_math.h: a table of 74 slots, one
// per dispatched operation, filled on the first call of any of them with the set that suits
// the processor (portable, SSE or SSE2), and the pieces of that choice, so tests and
// benchmarks can build the table of any set.
#pragma once

#include "base/win_types.h"
#include "math/half_float.h"
#include "math/vector_math.h"

#include <cstddef>

namespace halv::math {

// The process-wide dispatch level's values.
enum class DispatchLevel : DWORD {
    kPortable = 0,
    k3DNow = 1,
    kSse2 = 2,
    kSse = 3,
    kUndecided = 0xFFFF,
};

// One slot per dispatched operation, each with the signature of its published routine. The
// ten the system calls come first.
struct DispatchTable {
    decltype(&D3DXMatrixMultiply) matrixMultiply;
    decltype(&D3DXMatrixTranslation) matrixTranslation;
    decltype(&D3DXMatrixRotationYawPitchRoll) matrixRotationYawPitchRoll;
    decltype(&D3DXQuaternionRotationYawPitchRoll) quaternionRotationYawPitchRoll;
    decltype(&D3DXMatrixRotationQuaternion) matrixRotationQuaternion;
    decltype(&D3DXVec3Normalize) vec3Normalize;
    decltype(&D3DXVec3TransformCoord) vec3TransformCoord;
    decltype(&D3DXVec3TransformNormal) vec3TransformNormal;
    decltype(&D3DXFloat32To16Array) float32To16Array;
    decltype(&D3DXFloat16To32Array) float16To32Array;
    decltype(&D3DXVec2Normalize) vec2Normalize;
    decltype(&D3DXVec2Hermite) vec2Hermite;
    decltype(&D3DXVec2CatmullRom) vec2CatmullRom;
    decltype(&D3DXVec2BaryCentric) vec2BaryCentric;
    decltype(&D3DXVec2Transform) vec2Transform;
    decltype(&D3DXVec2TransformCoord) vec2TransformCoord;
    decltype(&D3DXVec2TransformNormal) vec2TransformNormal;
    decltype(&D3DXVec2TransformArray) vec2TransformArray;
    decltype(&D3DXVec2TransformCoordArray) vec2TransformCoordArray;
    decltype(&D3DXVec2TransformNormalArray) vec2TransformNormalArray;
    decltype(&D3DXVec3Hermite) vec3Hermite;
    decltype(&D3DXVec3CatmullRom) vec3CatmullRom;
    decltype(&D3DXVec3BaryCentric) vec3BaryCentric;
    decltype(&D3DXVec3Transform) vec3Transform;
    decltype(&D3DXVec3TransformArray) vec3TransformArray;
    decltype(&D3DXVec3TransformCoordArray) vec3TransformCoordArray;
    decltype(&D3DXVec3TransformNormalArray) vec3TransformNormalArray;
    decltype(&D3DXVec4Cross) vec4Cross;
    decltype(&D3DXVec4Normalize) vec4Normalize;
    decltype(&D3DXVec4Hermite) vec4Hermite;
    decltype(&D3DXVec4CatmullRom) vec4CatmullRom;
    decltype(&D3DXVec4BaryCentric) vec4BaryCentric;
    decltype(&D3DXVec4Transform) vec4Transform;
    decltype(&D3DXVec4TransformArray) vec4TransformArray;
    decltype(&D3DXMatrixDeterminant) matrixDeterminant;
    decltype(&D3DXMatrixTranspose) matrixTranspose;
    decltype(&D3DXMatrixMultiplyTranspose) matrixMultiplyTranspose;
    decltype(&D3DXMatrixInverse) matrixInverse;
    decltype(&D3DXMatrixScaling) matrixScaling;
    decltype(&D3DXMatrixRotationX) matrixRotationX;
    decltype(&D3DXMatrixRotationY) matrixRotationY;
    decltype(&D3DXMatrixRotationZ) matrixRotationZ;
    decltype(&D3DXMatrixRotationAxis) matrixRotationAxis;
    decltype(&D3DXMatrixAffineTransformation) matrixAffineTransformation;
    decltype(&D3DXMatrixAffineTransformation2D) matrixAffineTransformation2D;
    decltype(&D3DXMatrixTransformation) matrixTransformation;
    decltype(&D3DXMatrixTransformation2D) matrixTransformation2D;
    decltype(&D3DXMatrixReflect) matrixReflect;
    decltype(&D3DXMatrixShadow) matrixShadow;
    decltype(&D3DXMatrixDecompose) matrixDecompose;
    decltype(&D3DXMatrixPerspectiveLH) matrixPerspectiveLH;
    decltype(&D3DXMatrixPerspectiveOffCenterLH) matrixPerspectiveOffCenterLH;
    decltype(&D3DXMatrixOrthoLH) matrixOrthoLH;
    decltype(&D3DXMatrixOrthoOffCenterLH) matrixOrthoOffCenterLH;
    decltype(&D3DXMatrixLookAtRH) matrixLookAtRH;
    decltype(&D3DXQuaternionRotationMatrix) quaternionRotationMatrix;
    decltype(&D3DXQuaternionRotationAxis) quaternionRotationAxis;
    decltype(&D3DXQuaternionToAxisAngle) quaternionToAxisAngle;
    decltype(&D3DXQuaternionMultiply) quaternionMultiply;
    decltype(&D3DXQuaternionNormalize) quaternionNormalize;
    decltype(&D3DXQuaternionInverse) quaternionInverse;
    decltype(&D3DXQuaternionLn) quaternionLn;
    decltype(&D3DXQuaternionExp) quaternionExp;
    decltype(&D3DXQuaternionSlerp) quaternionSlerp;
    decltype(&D3DXQuaternionSquad) quaternionSquad;
    decltype(&D3DXQuaternionSquadSetup) quaternionSquadSetup;
    decltype(&D3DXQuaternionBaryCentric) quaternionBaryCentric;
    decltype(&D3DXPlaneNormalize) planeNormalize;
    decltype(&D3DXPlaneFromPointNormal) planeFromPointNormal;
    decltype(&D3DXPlaneFromPoints) planeFromPoints;
    decltype(&D3DXPlaneIntersectLine) planeIntersectLine;
    decltype(&D3DXPlaneTransform) planeTransform;
    decltype(&D3DXPlaneTransformArray) planeTransformArray;
    decltype(&D3DXFresnelTerm) fresnelTerm;
};

inline constexpr std::size_t kDispatchSlotCount = 74;
static_assert(sizeof(DispatchTable) == kDispatchSlotCount * sizeof(void (*)()));

// The portable routines in their first form: the read-only table every set starts from.
const DispatchTable& portableTable() noexcept;

// The table the published routines use at `level`: the portable table with its nine preferred
// portable routines (table-based normalisation, unrolled multiplies and normal transforms),
// then the set's own routines over the slots it has them for. The 3DNow! level keeps the
// portable routines; on processors other than x86 so do the SSE levels. kUndecided counts as
// portable.
DispatchTable makeDispatchTable(DispatchLevel level) noexcept;

struct ProcessorFeatures {
    bool has3DNow;
    bool hasSse2;
    bool hasSse;
};

// This processor's features as the dispatch asks for them: IsProcessorFeaturePresent for
// 3DNow! and SSE, CPUID leaf 1 for SSE2 (absent when the leaf is not there).
ProcessorFeatures detectProcessorFeatures() noexcept;

// The override from the registry key HKEY_LOCAL_MACHINE "Software\Microsoft\Direct3D": the
// REG_DWORD value "DisablePSGP", replaced by "DisableD3DXPSGP" when that exists as a
// REG_DWORD; 0 when neither does. 1 keeps the portable set; 2 rules out 3DNow! only.
DWORD readDispatchOverride() noexcept;

// The level for an override and a processor: portable for override 1, else SSE2, SSE or
// portable, whichever the processor has first.
DispatchLevel decideDispatchLevel(DWORD overrideValue, const ProcessorFeatures& features) noexcept;

// The allocator the dispatch set-up checks once per process.
struct AllocatorProbe {
    void* (*allocate)(std::size_t bytes) noexcept;
    void (*release)(void* block) noexcept;
};

// The global operator new and delete.
AllocatorProbe globalAllocatorProbe() noexcept;

// Allocates two zero-byte blocks; when either is null or both are the same, writes the four
// "D3DX: (WARN)" lines to the debugger output and returns false. Then releases each distinct
// block once and releases a null pointer.
bool checkAllocator(const AllocatorProbe& probe) noexcept;

// The level the published routines use; kUndecided until the first call of any of them.
DispatchLevel currentDispatchLevel() noexcept;

// Runs the once-per-process set-up that the first call of a dispatched routine runs, if it
// has not run yet, and returns the level. Safe to call from several threads.
DispatchLevel initialiseDispatch() noexcept;

} // namespace halv::math
