// The dispatch table: the portable table, the choice of set, the once-per-process set-up with
// its first-call stubs, and the published entries that jump through the table.
#include "math/dispatch.h"

#include "base/debug_output.h"
#include "base/processor.h"
#include "base/registry.h"
#include "math/detail/portable.h"
#include "math/detail/simd_sets.h"

#include <atomic>
#include <mutex>
#include <new>

#if defined(__x86_64__) || defined(__i386__)
#define HALV_MATH_X86_SETS 1
#else
#define HALV_MATH_X86_SETS 0
#endif

namespace halv::math {
namespace {

constexpr DispatchTable kPortableTable = {
    .matrixMultiply = portable::matrixMultiply,
    .matrixTranslation = portable::matrixTranslation,
    .matrixRotationYawPitchRoll = portable::matrixRotationYawPitchRoll,
    .quaternionRotationYawPitchRoll = portable::quaternionRotationYawPitchRoll,
    .matrixRotationQuaternion = portable::matrixRotationQuaternion,
    .vec3Normalize = portable::vec3Normalize,
    .vec3TransformCoord = portable::vec3TransformCoord,
    .vec3TransformNormal = portable::vec3TransformNormal,
    .float32To16Array = portable::float32To16Array,
    .float16To32Array = portable::float16To32Array,
    .vec2Normalize = portable::vec2Normalize,
    .vec2Hermite = portable::vec2Hermite,
    .vec2CatmullRom = portable::vec2CatmullRom,
    .vec2BaryCentric = portable::vec2BaryCentric,
    .vec2Transform = portable::vec2Transform,
    .vec2TransformCoord = portable::vec2TransformCoord,
    .vec2TransformNormal = portable::vec2TransformNormal,
    .vec2TransformArray = portable::vec2TransformArray,
    .vec2TransformCoordArray = portable::vec2TransformCoordArray,
    .vec2TransformNormalArray = portable::vec2TransformNormalArray,
    .vec3Hermite = portable::vec3Hermite,
    .vec3CatmullRom = portable::vec3CatmullRom,
    .vec3BaryCentric = portable::vec3BaryCentric,
    .vec3Transform = portable::vec3Transform,
    .vec3TransformArray = portable::vec3TransformArray,
    .vec3TransformCoordArray = portable::vec3TransformCoordArray,
    .vec3TransformNormalArray = portable::vec3TransformNormalArray,
    .vec4Cross = portable::vec4Cross,
    .vec4Normalize = portable::vec4Normalize,
    .vec4Hermite = portable::vec4Hermite,
    .vec4CatmullRom = portable::vec4CatmullRom,
    .vec4BaryCentric = portable::vec4BaryCentric,
    .vec4Transform = portable::vec4Transform,
    .vec4TransformArray = portable::vec4TransformArray,
    .matrixDeterminant = portable::matrixDeterminant,
    .matrixTranspose = portable::matrixTranspose,
    .matrixMultiplyTranspose = portable::matrixMultiplyTranspose,
    .matrixInverse = portable::matrixInverse,
    .matrixScaling = portable::matrixScaling,
    .matrixRotationX = portable::matrixRotationX,
    .matrixRotationY = portable::matrixRotationY,
    .matrixRotationZ = portable::matrixRotationZ,
    .matrixRotationAxis = portable::matrixRotationAxis,
    .matrixAffineTransformation = portable::matrixAffineTransformation,
    .matrixAffineTransformation2D = portable::matrixAffineTransformation2D,
    .matrixTransformation = portable::matrixTransformation,
    .matrixTransformation2D = portable::matrixTransformation2D,
    .matrixReflect = portable::matrixReflect,
    .matrixShadow = portable::matrixShadow,
    .matrixDecompose = portable::matrixDecompose,
    .matrixPerspectiveLH = portable::matrixPerspectiveLH,
    .matrixPerspectiveOffCenterLH = portable::matrixPerspectiveOffCenterLH,
    .matrixOrthoLH = portable::matrixOrthoLH,
    .matrixOrthoOffCenterLH = portable::matrixOrthoOffCenterLH,
    .matrixLookAtRH = portable::matrixLookAtRH,
    .quaternionRotationMatrix = portable::quaternionRotationMatrix,
    .quaternionRotationAxis = portable::quaternionRotationAxis,
    .quaternionToAxisAngle = portable::quaternionToAxisAngle,
    .quaternionMultiply = portable::quaternionMultiply,
    .quaternionNormalize = portable::quaternionNormalize,
    .quaternionInverse = portable::quaternionInverse,
    .quaternionLn = portable::quaternionLn,
    .quaternionExp = portable::quaternionExp,
    .quaternionSlerp = portable::quaternionSlerp,
    .quaternionSquad = portable::quaternionSquad,
    .quaternionSquadSetup = portable::quaternionSquadSetup,
    .quaternionBaryCentric = portable::quaternionBaryCentric,
    .planeNormalize = portable::planeNormalize,
    .planeFromPointNormal = portable::planeFromPointNormal,
    .planeFromPoints = portable::planeFromPoints,
    .planeIntersectLine = portable::planeIntersectLine,
    .planeTransform = portable::planeTransform,
    .planeTransformArray = portable::planeTransformArray,
    .fresnelTerm = portable::fresnelTerm,
};

// No 3DNow! routines are carried: no processor this runs on has the instructions (see
// IsProcessorFeaturePresent), so the dispatch rule never picks that set.
constexpr bool k3DNowSetAvailable = false;

const DispatchTable& active() noexcept;

// The slot's first-call stub: runs the set-up, then calls the operation again through its
// slot, which now holds the chosen routine.
template <auto Slot>
struct FirstCall;

template <typename R, typename... Args, R (*DispatchTable::*Slot)(Args...) noexcept>
struct FirstCall<Slot> {
    static R call(Args... args) noexcept {
        initialiseDispatch();
        return (active().*Slot)(args...);
    }
};

constexpr DispatchTable kStubTable = {
    .matrixMultiply = FirstCall<&DispatchTable::matrixMultiply>::call,
    .matrixTranslation = FirstCall<&DispatchTable::matrixTranslation>::call,
    .matrixRotationYawPitchRoll = FirstCall<&DispatchTable::matrixRotationYawPitchRoll>::call,
    .quaternionRotationYawPitchRoll =
        FirstCall<&DispatchTable::quaternionRotationYawPitchRoll>::call,
    .matrixRotationQuaternion = FirstCall<&DispatchTable::matrixRotationQuaternion>::call,
    .vec3Normalize = FirstCall<&DispatchTable::vec3Normalize>::call,
    .vec3TransformCoord = FirstCall<&DispatchTable::vec3TransformCoord>::call,
    .vec3TransformNormal = FirstCall<&DispatchTable::vec3TransformNormal>::call,
    .float32To16Array = FirstCall<&DispatchTable::float32To16Array>::call,
    .float16To32Array = FirstCall<&DispatchTable::float16To32Array>::call,
    .vec2Normalize = FirstCall<&DispatchTable::vec2Normalize>::call,
    .vec2Hermite = FirstCall<&DispatchTable::vec2Hermite>::call,
    .vec2CatmullRom = FirstCall<&DispatchTable::vec2CatmullRom>::call,
    .vec2BaryCentric = FirstCall<&DispatchTable::vec2BaryCentric>::call,
    .vec2Transform = FirstCall<&DispatchTable::vec2Transform>::call,
    .vec2TransformCoord = FirstCall<&DispatchTable::vec2TransformCoord>::call,
    .vec2TransformNormal = FirstCall<&DispatchTable::vec2TransformNormal>::call,
    .vec2TransformArray = FirstCall<&DispatchTable::vec2TransformArray>::call,
    .vec2TransformCoordArray = FirstCall<&DispatchTable::vec2TransformCoordArray>::call,
    .vec2TransformNormalArray = FirstCall<&DispatchTable::vec2TransformNormalArray>::call,
    .vec3Hermite = FirstCall<&DispatchTable::vec3Hermite>::call,
    .vec3CatmullRom = FirstCall<&DispatchTable::vec3CatmullRom>::call,
    .vec3BaryCentric = FirstCall<&DispatchTable::vec3BaryCentric>::call,
    .vec3Transform = FirstCall<&DispatchTable::vec3Transform>::call,
    .vec3TransformArray = FirstCall<&DispatchTable::vec3TransformArray>::call,
    .vec3TransformCoordArray = FirstCall<&DispatchTable::vec3TransformCoordArray>::call,
    .vec3TransformNormalArray = FirstCall<&DispatchTable::vec3TransformNormalArray>::call,
    .vec4Cross = FirstCall<&DispatchTable::vec4Cross>::call,
    .vec4Normalize = FirstCall<&DispatchTable::vec4Normalize>::call,
    .vec4Hermite = FirstCall<&DispatchTable::vec4Hermite>::call,
    .vec4CatmullRom = FirstCall<&DispatchTable::vec4CatmullRom>::call,
    .vec4BaryCentric = FirstCall<&DispatchTable::vec4BaryCentric>::call,
    .vec4Transform = FirstCall<&DispatchTable::vec4Transform>::call,
    .vec4TransformArray = FirstCall<&DispatchTable::vec4TransformArray>::call,
    .matrixDeterminant = FirstCall<&DispatchTable::matrixDeterminant>::call,
    .matrixTranspose = FirstCall<&DispatchTable::matrixTranspose>::call,
    .matrixMultiplyTranspose = FirstCall<&DispatchTable::matrixMultiplyTranspose>::call,
    .matrixInverse = FirstCall<&DispatchTable::matrixInverse>::call,
    .matrixScaling = FirstCall<&DispatchTable::matrixScaling>::call,
    .matrixRotationX = FirstCall<&DispatchTable::matrixRotationX>::call,
    .matrixRotationY = FirstCall<&DispatchTable::matrixRotationY>::call,
    .matrixRotationZ = FirstCall<&DispatchTable::matrixRotationZ>::call,
    .matrixRotationAxis = FirstCall<&DispatchTable::matrixRotationAxis>::call,
    .matrixAffineTransformation = FirstCall<&DispatchTable::matrixAffineTransformation>::call,
    .matrixAffineTransformation2D = FirstCall<&DispatchTable::matrixAffineTransformation2D>::call,
    .matrixTransformation = FirstCall<&DispatchTable::matrixTransformation>::call,
    .matrixTransformation2D = FirstCall<&DispatchTable::matrixTransformation2D>::call,
    .matrixReflect = FirstCall<&DispatchTable::matrixReflect>::call,
    .matrixShadow = FirstCall<&DispatchTable::matrixShadow>::call,
    .matrixDecompose = FirstCall<&DispatchTable::matrixDecompose>::call,
    .matrixPerspectiveLH = FirstCall<&DispatchTable::matrixPerspectiveLH>::call,
    .matrixPerspectiveOffCenterLH = FirstCall<&DispatchTable::matrixPerspectiveOffCenterLH>::call,
    .matrixOrthoLH = FirstCall<&DispatchTable::matrixOrthoLH>::call,
    .matrixOrthoOffCenterLH = FirstCall<&DispatchTable::matrixOrthoOffCenterLH>::call,
    .matrixLookAtRH = FirstCall<&DispatchTable::matrixLookAtRH>::call,
    .quaternionRotationMatrix = FirstCall<&DispatchTable::quaternionRotationMatrix>::call,
    .quaternionRotationAxis = FirstCall<&DispatchTable::quaternionRotationAxis>::call,
    .quaternionToAxisAngle = FirstCall<&DispatchTable::quaternionToAxisAngle>::call,
    .quaternionMultiply = FirstCall<&DispatchTable::quaternionMultiply>::call,
    .quaternionNormalize = FirstCall<&DispatchTable::quaternionNormalize>::call,
    .quaternionInverse = FirstCall<&DispatchTable::quaternionInverse>::call,
    .quaternionLn = FirstCall<&DispatchTable::quaternionLn>::call,
    .quaternionExp = FirstCall<&DispatchTable::quaternionExp>::call,
    .quaternionSlerp = FirstCall<&DispatchTable::quaternionSlerp>::call,
    .quaternionSquad = FirstCall<&DispatchTable::quaternionSquad>::call,
    .quaternionSquadSetup = FirstCall<&DispatchTable::quaternionSquadSetup>::call,
    .quaternionBaryCentric = FirstCall<&DispatchTable::quaternionBaryCentric>::call,
    .planeNormalize = FirstCall<&DispatchTable::planeNormalize>::call,
    .planeFromPointNormal = FirstCall<&DispatchTable::planeFromPointNormal>::call,
    .planeFromPoints = FirstCall<&DispatchTable::planeFromPoints>::call,
    .planeIntersectLine = FirstCall<&DispatchTable::planeIntersectLine>::call,
    .planeTransform = FirstCall<&DispatchTable::planeTransform>::call,
    .planeTransformArray = FirstCall<&DispatchTable::planeTransformArray>::call,
    .fresnelTerm = FirstCall<&DispatchTable::fresnelTerm>::call,
};

// Process-wide: the table the published entries jump through (the stubs until the set-up has
// run, then the chosen table), the chosen table itself, the level and the once-flag. The
// pointer is published last, so a thread that sees the chosen table sees it filled.
std::atomic<const DispatchTable*> gActiveTable{&kStubTable};
DispatchTable gChosenTable;
std::atomic<DWORD> gLevel{static_cast<DWORD>(DispatchLevel::kUndecided)};
std::once_flag gSetupOnce;

const DispatchTable& active() noexcept {
    return *gActiveTable.load(std::memory_order_acquire);
}

void* globalAllocate(std::size_t bytes) noexcept {
    return ::operator new(bytes, std::nothrow);
}

void globalRelease(void* block) noexcept {
    ::operator delete(block);
}

// The routines that replace their first forms in the portable set.
void installPreferredPortable(DispatchTable& table) {
    table.matrixMultiply = portable::matrixMultiplyUnrolled;
    table.matrixMultiplyTranspose = portable::matrixMultiplyTransposeUnrolled;
    table.vec3TransformNormal = portable::vec3TransformNormalUnrolled;
    table.vec2TransformNormal = portable::vec2TransformNormalUnrolled;
    table.vec3TransformNormalArray = portable::vec3TransformNormalArrayUnrolled;
    table.vec2Normalize = portable::vec2NormalizeTable;
    table.vec3Normalize = portable::vec3NormalizeTable;
    table.vec4Normalize = portable::vec4NormalizeTable;
    table.quaternionNormalize = portable::quaternionNormalizeTable;
}

// A registry value counts only as a four-byte REG_DWORD; anything else leaves `value` as it is.
void queryDword(HKEY key, const char* name, DWORD* value) {
    DWORD type = REG_NONE;
    DWORD data = 0;
    DWORD size = sizeof data;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(&data), &size) ==
            ERROR_SUCCESS &&
        type == REG_DWORD && size == sizeof data) {
        *value = data;
    }
}

} // namespace

const DispatchTable& portableTable() noexcept {
    return kPortableTable;
}

DispatchTable makeDispatchTable(DispatchLevel level) noexcept {
    DispatchTable table = kPortableTable;
    installPreferredPortable(table);
    switch (level) {
#if HALV_MATH_X86_SETS
    case DispatchLevel::kSse2:
        detail::installSse2Set(table);
        break;
    case DispatchLevel::kSse:
        detail::installSseSet(table);
        break;
#endif
    default:
        // Portable, undecided, 3DNow! (no routines of its own here) and, off x86, the SSE
        // levels: the portable routines.
        break;
    }
    return table;
}

ProcessorFeatures detectProcessorFeatures() noexcept {
    ProcessorFeatures features{};
    features.has3DNow = IsProcessorFeaturePresent(PF_3DNOW_INSTRUCTIONS_AVAILABLE) != FALSE;
    base::CpuidRegisters leaf1{};
    features.hasSse2 = base::cpuid(1, &leaf1) && (leaf1.edx & (1u << 26)) != 0;
    features.hasSse = IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE) != FALSE;
    return features;
}

DWORD readDispatchOverride() noexcept {
    HKEY key = nullptr;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Direct3D", &key) != ERROR_SUCCESS) {
        return 0;
    }
    DWORD overrideValue = 0;
    queryDword(key, "DisablePSGP", &overrideValue);
    queryDword(key, "DisableD3DXPSGP", &overrideValue);
    RegCloseKey(key);
    return overrideValue;
}

DispatchLevel decideDispatchLevel(DWORD overrideValue, const ProcessorFeatures& features) noexcept {
    if (overrideValue == 1) {
        return DispatchLevel::kPortable;
    }
    // The 3DNow! step: with an override other than 2 it would come first. Left out here (see
    // k3DNowSetAvailable), so such a processor falls through to SSE2 or SSE like any other.
    if (k3DNowSetAvailable && overrideValue != 2 && features.has3DNow) {
        return DispatchLevel::k3DNow;
    }
    if (features.hasSse2) {
        return DispatchLevel::kSse2;
    }
    if (features.hasSse) {
        return DispatchLevel::kSse;
    }
    return DispatchLevel::kPortable;
}

AllocatorProbe globalAllocatorProbe() noexcept {
    return {globalAllocate, globalRelease};
}

bool checkAllocator(const AllocatorProbe& probe) noexcept {
    void* first = probe.allocate(0);
    void* second = probe.allocate(0);
    const bool conforming = first != nullptr && second != nullptr && first != second;
    if (!conforming) {
        OutputDebugStringA("D3DX: (WARN) Overloaded ::new and ::delete operators do not conform "
                           "to C++ standards:\r\n");
        OutputDebugStringA("D3DX: (WARN) An allocation of zero bytes should return a unique "
                           "non-null pointer to at\r\n");
        OutputDebugStringA("D3DX: (WARN) least zero bytes. Deletion of a null pointer should "
                           "quietly do nothing.\r\n");
        OutputDebugStringA("D3DX: (WARN) D3DX relies upon this behavior.\r\n");
    }
    // A block handed out twice is released once.
    probe.release(first);
    if (second != first) {
        probe.release(second);
    }
    probe.release(nullptr);
    return conforming;
}

DispatchLevel currentDispatchLevel() noexcept {
    return static_cast<DispatchLevel>(gLevel.load(std::memory_order_acquire));
}

DispatchLevel initialiseDispatch() noexcept {
    std::call_once(gSetupOnce, [] {
        checkAllocator(globalAllocatorProbe());
        const DispatchLevel level =
            decideDispatchLevel(readDispatchOverride(), detectProcessorFeatures());
        gChosenTable = makeDispatchTable(level);
        gLevel.store(static_cast<DWORD>(level), std::memory_order_release);
        gActiveTable.store(&gChosenTable, std::memory_order_release);
    });
    return currentDispatchLevel();
}

} // namespace halv::math

using halv::math::active;

D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* m1,
                               const D3DXMATRIX* m2) noexcept {
    return active().matrixMultiply(out, m1, m2);
}

D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* out, FLOAT x, FLOAT y, FLOAT z) noexcept {
    return active().matrixTranslation(out, x, y, z);
}

D3DXMATRIX* D3DXMatrixRotationYawPitchRoll(D3DXMATRIX* out, FLOAT yaw, FLOAT pitch,
                                           FLOAT roll) noexcept {
    return active().matrixRotationYawPitchRoll(out, yaw, pitch, roll);
}

D3DXQUATERNION* D3DXQuaternionRotationYawPitchRoll(D3DXQUATERNION* out, FLOAT yaw, FLOAT pitch,
                                                   FLOAT roll) noexcept {
    return active().quaternionRotationYawPitchRoll(out, yaw, pitch, roll);
}

D3DXMATRIX* D3DXMatrixRotationQuaternion(D3DXMATRIX* out, const D3DXQUATERNION* q) noexcept {
    return active().matrixRotationQuaternion(out, q);
}

D3DXVECTOR3* D3DXVec3Normalize(D3DXVECTOR3* out, const D3DXVECTOR3* v) noexcept {
    return active().vec3Normalize(out, v);
}

D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v,
                                    const D3DXMATRIX* m) noexcept {
    return active().vec3TransformCoord(out, v, m);
}

D3DXVECTOR3* D3DXVec3TransformNormal(D3DXVECTOR3* out, const D3DXVECTOR3* v,
                                     const D3DXMATRIX* m) noexcept {
    return active().vec3TransformNormal(out, v, m);
}

D3DXFLOAT16* D3DXFloat32To16Array(D3DXFLOAT16* out, const FLOAT* in, UINT count) noexcept {
    return active().float32To16Array(out, in, count);
}

FLOAT* D3DXFloat16To32Array(FLOAT* out, const D3DXFLOAT16* in, UINT count) noexcept {
    return active().float16To32Array(out, in, count);
}

D3DXVECTOR2* D3DXVec2Normalize(D3DXVECTOR2* out, const D3DXVECTOR2* v) noexcept {
    return active().vec2Normalize(out, v);
}

D3DXVECTOR2* D3DXVec2Hermite(D3DXVECTOR2* out, const D3DXVECTOR2* v1, const D3DXVECTOR2* t1,
                             const D3DXVECTOR2* v2, const D3DXVECTOR2* t2, FLOAT s) noexcept {
    return active().vec2Hermite(out, v1, t1, v2, t2, s);
}

D3DXVECTOR2* D3DXVec2CatmullRom(D3DXVECTOR2* out, const D3DXVECTOR2* v0, const D3DXVECTOR2* v1,
                                const D3DXVECTOR2* v2, const D3DXVECTOR2* v3, FLOAT s) noexcept {
    return active().vec2CatmullRom(out, v0, v1, v2, v3, s);
}

D3DXVECTOR2* D3DXVec2BaryCentric(D3DXVECTOR2* out, const D3DXVECTOR2* v1, const D3DXVECTOR2* v2,
                                 const D3DXVECTOR2* v3, FLOAT f, FLOAT g) noexcept {
    return active().vec2BaryCentric(out, v1, v2, v3, f, g);
}

D3DXVECTOR4* D3DXVec2Transform(D3DXVECTOR4* out, const D3DXVECTOR2* v,
                               const D3DXMATRIX* m) noexcept {
    return active().vec2Transform(out, v, m);
}

D3DXVECTOR2* D3DXVec2TransformCoord(D3DXVECTOR2* out, const D3DXVECTOR2* v,
                                    const D3DXMATRIX* m) noexcept {
    return active().vec2TransformCoord(out, v, m);
}

D3DXVECTOR2* D3DXVec2TransformNormal(D3DXVECTOR2* out, const D3DXVECTOR2* v,
                                     const D3DXMATRIX* m) noexcept {
    return active().vec2TransformNormal(out, v, m);
}

D3DXVECTOR4* D3DXVec2TransformArray(D3DXVECTOR4* out, UINT outStride, const D3DXVECTOR2* v,
                                    UINT vStride, const D3DXMATRIX* m, UINT count) noexcept {
    return active().vec2TransformArray(out, outStride, v, vStride, m, count);
}

D3DXVECTOR2* D3DXVec2TransformCoordArray(D3DXVECTOR2* out, UINT outStride, const D3DXVECTOR2* v,
                                         UINT vStride, const D3DXMATRIX* m, UINT count) noexcept {
    return active().vec2TransformCoordArray(out, outStride, v, vStride, m, count);
}

D3DXVECTOR2* D3DXVec2TransformNormalArray(D3DXVECTOR2* out, UINT outStride, const D3DXVECTOR2* v,
                                          UINT vStride, const D3DXMATRIX* m, UINT count) noexcept {
    return active().vec2TransformNormalArray(out, outStride, v, vStride, m, count);
}

D3DXVECTOR3* D3DXVec3Hermite(D3DXVECTOR3* out, const D3DXVECTOR3* v1, const D3DXVECTOR3* t1,
                             const D3DXVECTOR3* v2, const D3DXVECTOR3* t2, FLOAT s) noexcept {
    return active().vec3Hermite(out, v1, t1, v2, t2, s);
}

D3DXVECTOR3* D3DXVec3CatmullRom(D3DXVECTOR3* out, const D3DXVECTOR3* v0, const D3DXVECTOR3* v1,
                                const D3DXVECTOR3* v2, const D3DXVECTOR3* v3, FLOAT s) noexcept {
    return active().vec3CatmullRom(out, v0, v1, v2, v3, s);
}

D3DXVECTOR3* D3DXVec3BaryCentric(D3DXVECTOR3* out, const D3DXVECTOR3* v1, const D3DXVECTOR3* v2,
                                 const D3DXVECTOR3* v3, FLOAT f, FLOAT g) noexcept {
    return active().vec3BaryCentric(out, v1, v2, v3, f, g);
}

D3DXVECTOR4* D3DXVec3Transform(D3DXVECTOR4* out, const D3DXVECTOR3* v,
                               const D3DXMATRIX* m) noexcept {
    return active().vec3Transform(out, v, m);
}

D3DXVECTOR4* D3DXVec3TransformArray(D3DXVECTOR4* out, UINT outStride, const D3DXVECTOR3* v,
                                    UINT vStride, const D3DXMATRIX* m, UINT count) noexcept {
    return active().vec3TransformArray(out, outStride, v, vStride, m, count);
}

D3DXVECTOR3* D3DXVec3TransformCoordArray(D3DXVECTOR3* out, UINT outStride, const D3DXVECTOR3* v,
                                         UINT vStride, const D3DXMATRIX* m, UINT count) noexcept {
    return active().vec3TransformCoordArray(out, outStride, v, vStride, m, count);
}

D3DXVECTOR3* D3DXVec3TransformNormalArray(D3DXVECTOR3* out, UINT outStride, const D3DXVECTOR3* v,
                                          UINT vStride, const D3DXMATRIX* m, UINT count) noexcept {
    return active().vec3TransformNormalArray(out, outStride, v, vStride, m, count);
}

D3DXVECTOR4* D3DXVec4Cross(D3DXVECTOR4* out, const D3DXVECTOR4* v1, const D3DXVECTOR4* v2,
                           const D3DXVECTOR4* v3) noexcept {
    return active().vec4Cross(out, v1, v2, v3);
}

D3DXVECTOR4* D3DXVec4Normalize(D3DXVECTOR4* out, const D3DXVECTOR4* v) noexcept {
    return active().vec4Normalize(out, v);
}

D3DXVECTOR4* D3DXVec4Hermite(D3DXVECTOR4* out, const D3DXVECTOR4* v1, const D3DXVECTOR4* t1,
                             const D3DXVECTOR4* v2, const D3DXVECTOR4* t2, FLOAT s) noexcept {
    return active().vec4Hermite(out, v1, t1, v2, t2, s);
}

D3DXVECTOR4* D3DXVec4CatmullRom(D3DXVECTOR4* out, const D3DXVECTOR4* v0, const D3DXVECTOR4* v1,
                                const D3DXVECTOR4* v2, const D3DXVECTOR4* v3, FLOAT s) noexcept {
    return active().vec4CatmullRom(out, v0, v1, v2, v3, s);
}

D3DXVECTOR4* D3DXVec4BaryCentric(D3DXVECTOR4* out, const D3DXVECTOR4* v1, const D3DXVECTOR4* v2,
                                 const D3DXVECTOR4* v3, FLOAT f, FLOAT g) noexcept {
    return active().vec4BaryCentric(out, v1, v2, v3, f, g);
}

D3DXVECTOR4* D3DXVec4Transform(D3DXVECTOR4* out, const D3DXVECTOR4* v,
                               const D3DXMATRIX* m) noexcept {
    return active().vec4Transform(out, v, m);
}

D3DXVECTOR4* D3DXVec4TransformArray(D3DXVECTOR4* out, UINT outStride, const D3DXVECTOR4* v,
                                    UINT vStride, const D3DXMATRIX* m, UINT count) noexcept {
    return active().vec4TransformArray(out, outStride, v, vStride, m, count);
}

FLOAT D3DXMatrixDeterminant(const D3DXMATRIX* m) noexcept {
    return active().matrixDeterminant(m);
}

D3DXMATRIX* D3DXMatrixTranspose(D3DXMATRIX* out, const D3DXMATRIX* m) noexcept {
    return active().matrixTranspose(out, m);
}

D3DXMATRIX* D3DXMatrixMultiplyTranspose(D3DXMATRIX* out, const D3DXMATRIX* m1,
                                        const D3DXMATRIX* m2) noexcept {
    return active().matrixMultiplyTranspose(out, m1, m2);
}

D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* out, FLOAT* determinant, const D3DXMATRIX* m) noexcept {
    return active().matrixInverse(out, determinant, m);
}

D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* out, FLOAT sx, FLOAT sy, FLOAT sz) noexcept {
    return active().matrixScaling(out, sx, sy, sz);
}

D3DXMATRIX* D3DXMatrixRotationX(D3DXMATRIX* out, FLOAT angle) noexcept {
    return active().matrixRotationX(out, angle);
}

D3DXMATRIX* D3DXMatrixRotationY(D3DXMATRIX* out, FLOAT angle) noexcept {
    return active().matrixRotationY(out, angle);
}

D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* out, FLOAT angle) noexcept {
    return active().matrixRotationZ(out, angle);
}

D3DXMATRIX* D3DXMatrixRotationAxis(D3DXMATRIX* out, const D3DXVECTOR3* axis, FLOAT angle) noexcept {
    return active().matrixRotationAxis(out, axis, angle);
}

D3DXMATRIX* D3DXMatrixAffineTransformation(D3DXMATRIX* out, FLOAT scaling,
                                           const D3DXVECTOR3* rotationCenter,
                                           const D3DXQUATERNION* rotation,
                                           const D3DXVECTOR3* translation) noexcept {
    return active().matrixAffineTransformation(out, scaling, rotationCenter, rotation, translation);
}

D3DXMATRIX* D3DXMatrixAffineTransformation2D(D3DXMATRIX* out, FLOAT scaling,
                                             const D3DXVECTOR2* rotationCenter, FLOAT rotation,
                                             const D3DXVECTOR2* translation) noexcept {
    return active().matrixAffineTransformation2D(out, scaling, rotationCenter, rotation,
                                                 translation);
}

D3DXMATRIX* D3DXMatrixTransformation(D3DXMATRIX* out, const D3DXVECTOR3* scalingCenter,
                                     const D3DXQUATERNION* scalingRotation,
                                     const D3DXVECTOR3* scaling, const D3DXVECTOR3* rotationCenter,
                                     const D3DXQUATERNION* rotation,
                                     const D3DXVECTOR3* translation) noexcept {
    return active().matrixTransformation(out, scalingCenter, scalingRotation, scaling,
                                         rotationCenter, rotation, translation);
}

D3DXMATRIX* D3DXMatrixTransformation2D(D3DXMATRIX* out, const D3DXVECTOR2* scalingCenter,
                                       FLOAT scalingRotation, const D3DXVECTOR2* scaling,
                                       const D3DXVECTOR2* rotationCenter, FLOAT rotation,
                                       const D3DXVECTOR2* translation) noexcept {
    return active().matrixTransformation2D(out, scalingCenter, scalingRotation, scaling,
                                           rotationCenter, rotation, translation);
}

D3DXMATRIX* D3DXMatrixReflect(D3DXMATRIX* out, const D3DXPLANE* plane) noexcept {
    return active().matrixReflect(out, plane);
}

D3DXMATRIX* D3DXMatrixShadow(D3DXMATRIX* out, const D3DXVECTOR4* light,
                             const D3DXPLANE* plane) noexcept {
    return active().matrixShadow(out, light, plane);
}

HRESULT D3DXMatrixDecompose(D3DXVECTOR3* scaling, D3DXQUATERNION* rotation,
                            D3DXVECTOR3* translation, const D3DXMATRIX* m) noexcept {
    return active().matrixDecompose(scaling, rotation, translation, m);
}

D3DXMATRIX* D3DXMatrixPerspectiveLH(D3DXMATRIX* out, FLOAT width, FLOAT height, FLOAT zn,
                                    FLOAT zf) noexcept {
    return active().matrixPerspectiveLH(out, width, height, zn, zf);
}

D3DXMATRIX* D3DXMatrixPerspectiveOffCenterLH(D3DXMATRIX* out, FLOAT left, FLOAT right, FLOAT bottom,
                                             FLOAT top, FLOAT zn, FLOAT zf) noexcept {
    return active().matrixPerspectiveOffCenterLH(out, left, right, bottom, top, zn, zf);
}

D3DXMATRIX* D3DXMatrixOrthoLH(D3DXMATRIX* out, FLOAT width, FLOAT height, FLOAT zn,
                              FLOAT zf) noexcept {
    return active().matrixOrthoLH(out, width, height, zn, zf);
}

D3DXMATRIX* D3DXMatrixOrthoOffCenterLH(D3DXMATRIX* out, FLOAT left, FLOAT right, FLOAT bottom,
                                       FLOAT top, FLOAT zn, FLOAT zf) noexcept {
    return active().matrixOrthoOffCenterLH(out, left, right, bottom, top, zn, zf);
}

D3DXMATRIX* D3DXMatrixLookAtRH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                               const D3DXVECTOR3* up) noexcept {
    return active().matrixLookAtRH(out, eye, at, up);
}

D3DXQUATERNION* D3DXQuaternionRotationMatrix(D3DXQUATERNION* out, const D3DXMATRIX* m) noexcept {
    return active().quaternionRotationMatrix(out, m);
}

D3DXQUATERNION* D3DXQuaternionRotationAxis(D3DXQUATERNION* out, const D3DXVECTOR3* axis,
                                           FLOAT angle) noexcept {
    return active().quaternionRotationAxis(out, axis, angle);
}

void D3DXQuaternionToAxisAngle(const D3DXQUATERNION* q, D3DXVECTOR3* axis, FLOAT* angle) noexcept {
    active().quaternionToAxisAngle(q, axis, angle);
}

D3DXQUATERNION* D3DXQuaternionMultiply(D3DXQUATERNION* out, const D3DXQUATERNION* q1,
                                       const D3DXQUATERNION* q2) noexcept {
    return active().quaternionMultiply(out, q1, q2);
}

D3DXQUATERNION* D3DXQuaternionNormalize(D3DXQUATERNION* out, const D3DXQUATERNION* q) noexcept {
    return active().quaternionNormalize(out, q);
}

D3DXQUATERNION* D3DXQuaternionInverse(D3DXQUATERNION* out, const D3DXQUATERNION* q) noexcept {
    return active().quaternionInverse(out, q);
}

D3DXQUATERNION* D3DXQuaternionLn(D3DXQUATERNION* out, const D3DXQUATERNION* q) noexcept {
    return active().quaternionLn(out, q);
}

D3DXQUATERNION* D3DXQuaternionExp(D3DXQUATERNION* out, const D3DXQUATERNION* q) noexcept {
    return active().quaternionExp(out, q);
}

D3DXQUATERNION* D3DXQuaternionSlerp(D3DXQUATERNION* out, const D3DXQUATERNION* q1,
                                    const D3DXQUATERNION* q2, FLOAT t) noexcept {
    return active().quaternionSlerp(out, q1, q2, t);
}

D3DXQUATERNION* D3DXQuaternionSquad(D3DXQUATERNION* out, const D3DXQUATERNION* q1,
                                    const D3DXQUATERNION* a, const D3DXQUATERNION* b,
                                    const D3DXQUATERNION* c, FLOAT t) noexcept {
    return active().quaternionSquad(out, q1, a, b, c, t);
}

void D3DXQuaternionSquadSetup(D3DXQUATERNION* outA, D3DXQUATERNION* outB, D3DXQUATERNION* outC,
                              const D3DXQUATERNION* q0, const D3DXQUATERNION* q1,
                              const D3DXQUATERNION* q2, const D3DXQUATERNION* q3) noexcept {
    active().quaternionSquadSetup(outA, outB, outC, q0, q1, q2, q3);
}

D3DXQUATERNION* D3DXQuaternionBaryCentric(D3DXQUATERNION* out, const D3DXQUATERNION* q1,
                                          const D3DXQUATERNION* q2, const D3DXQUATERNION* q3,
                                          FLOAT f, FLOAT g) noexcept {
    return active().quaternionBaryCentric(out, q1, q2, q3, f, g);
}

D3DXPLANE* D3DXPlaneNormalize(D3DXPLANE* out, const D3DXPLANE* plane) noexcept {
    return active().planeNormalize(out, plane);
}

D3DXPLANE* D3DXPlaneFromPointNormal(D3DXPLANE* out, const D3DXVECTOR3* point,
                                    const D3DXVECTOR3* normal) noexcept {
    return active().planeFromPointNormal(out, point, normal);
}

D3DXPLANE* D3DXPlaneFromPoints(D3DXPLANE* out, const D3DXVECTOR3* v1, const D3DXVECTOR3* v2,
                               const D3DXVECTOR3* v3) noexcept {
    return active().planeFromPoints(out, v1, v2, v3);
}

D3DXVECTOR3* D3DXPlaneIntersectLine(D3DXVECTOR3* out, const D3DXPLANE* plane, const D3DXVECTOR3* v1,
                                    const D3DXVECTOR3* v2) noexcept {
    return active().planeIntersectLine(out, plane, v1, v2);
}

D3DXPLANE* D3DXPlaneTransform(D3DXPLANE* out, const D3DXPLANE* plane,
                              const D3DXMATRIX* m) noexcept {
    return active().planeTransform(out, plane, m);
}

D3DXPLANE* D3DXPlaneTransformArray(D3DXPLANE* out, UINT outStride, const D3DXPLANE* plane,
                                   UINT planeStride, const D3DXMATRIX* m, UINT count) noexcept {
    return active().planeTransformArray(out, outStride, plane, planeStride, m, count);
}

FLOAT D3DXFresnelTerm(FLOAT cosTheta, FLOAT refractionIndex) noexcept {
    return active().fresnelTerm(cosTheta, refractionIndex);
}
