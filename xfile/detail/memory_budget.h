// What one load may allocate, so that a small file (compressed, or made of references and
// empty objects) cannot claim memory out of all proportion to its size.
#pragma once

#include <cstdint>
#include <limits>

namespace halv::xfile::detail {

// 64 MiB plus 64 bytes per input byte, at most the ceiling.
inline constexpr std::uint64_t kBudgetBaseBytes = std::uint64_t{64} << 20;
inline constexpr std::uint64_t kBudgetBytesPerInputByte = 64;
// The ceiling when the registry names none.
inline constexpr std::uint64_t kDefaultBudgetCeilingMiB = 2048;
// REG_DWORD under the Direct3D key: the ceiling in MiB (0 or absent: the default).
inline constexpr const char* kBudgetCeilingValue = "D3DXFileMemoryCeilingMB";

class MemoryBudget {
public:
    static constexpr std::uint64_t kUnlimited = std::numeric_limits<std::uint64_t>::max();

    explicit MemoryBudget(std::uint64_t limit = kUnlimited)
        : mLimit(limit) {}

    // The budget of a load whose input is `inputBytes` long, under the registry's ceiling.
    static MemoryBudget forInput(std::uint64_t inputBytes);

    // Counts `bytes` as allocated; false (and nothing counted) when that would pass the limit.
    [[nodiscard]] bool take(std::uint64_t bytes) {
        if (bytes > mLimit - mUsed) {
            return false;
        }
        mUsed += bytes;
        return true;
    }
    void give(std::uint64_t bytes) { mUsed -= bytes < mUsed ? bytes : mUsed; }

    std::uint64_t used() const { return mUsed; }
    std::uint64_t limit() const { return mLimit; }

private:
    std::uint64_t mLimit;
    std::uint64_t mUsed = 0;
};

// The ceiling in bytes as the registry sets it.
std::uint64_t readBudgetCeiling() noexcept;

} // namespace halv::xfile::detail
