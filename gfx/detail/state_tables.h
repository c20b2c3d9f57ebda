// The tables of device states: which numbers are states, their published defaults, and their
// names and value formatting for the call log and snapshot differences.
#pragma once

#include "gfx/device_types.h"

#include <bit>
#include <cstddef>
#include <string>

namespace halv::gfx::detail {

enum class ValueKind {
    kInteger,
    kHex,
    kBool,
    kFloat,
    kZBuffer,
    kFill,
    kShade,
    kCull,
    kCompare,
    kBlend,
    kBlendOp,
    kStencilOp,
    kFog,
    kMaterialSource,
    kTextureOp,
    kTextureArg,
    kTextureAddress,
    kTextureFilter,
};

struct StateInfo {
    DWORD number;
    const char* name;
    DWORD defaultValue;
    ValueKind kind;
};

// Null for numbers that are not states of that kind.
const StateInfo* findRenderState(DWORD state) noexcept;
const StateInfo* findSamplerState(DWORD type) noexcept;
// Defaults are those of stage 0; see stageStateDefault for the others.
const StateInfo* findStageState(DWORD type) noexcept;
DWORD stageStateDefault(DWORD stage, DWORD type) noexcept;

// Every table row, for resetting a device to its defaults.
const StateInfo* renderStateTable(std::size_t* count) noexcept;
const StateInfo* samplerStateTable(std::size_t* count) noexcept;
const StateInfo* stageStateTable(std::size_t* count) noexcept;

// "D3DCULL_NONE", "TRUE", "0.1", "0xff000064" ... as the kind says.
std::string formatValue(ValueKind kind, DWORD value);

// "D3DTS_WORLD", "D3DTS_WORLDMATRIX(3)", "D3DTS_TEXTURE0"; empty for an invalid number.
std::string transformName(DWORD state);
bool isValidTransform(DWORD state) noexcept;

std::string formatFloat(float value);
std::string formatMatrix(const D3DMATRIX& matrix);

// Index into the snapshot's sampler arrays: 0..15 as they are, D3DDMAPSAMPLER and the vertex
// samplers after them; -1 for any other number.
int samplerSlot(DWORD sampler) noexcept;

inline float floatFromBits(DWORD bits) noexcept {
    return std::bit_cast<float>(bits);
}
inline DWORD bitsFromFloat(float value) noexcept {
    return std::bit_cast<DWORD>(value);
}

} // namespace halv::gfx::detail
