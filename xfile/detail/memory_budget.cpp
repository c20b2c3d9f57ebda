#include "xfile/detail/memory_budget.h"

#include "base/registry.h"

#include <algorithm>

namespace halv::xfile::detail {

std::uint64_t readBudgetCeiling() noexcept {
    std::uint64_t megabytes = kDefaultBudgetCeilingMiB;
    HKEY key = nullptr;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Direct3D", &key) == ERROR_SUCCESS) {
        DWORD type = REG_NONE;
        DWORD value = 0;
        DWORD size = sizeof value;
        if (RegQueryValueExA(key, kBudgetCeilingValue, nullptr, &type,
                             reinterpret_cast<LPBYTE>(&value), &size) == ERROR_SUCCESS &&
            type == REG_DWORD && size == sizeof value && value != 0) {
            megabytes = value;
        }
        RegCloseKey(key);
    }
    return megabytes << 20;
}

MemoryBudget MemoryBudget::forInput(std::uint64_t inputBytes) {
    // Read on every load, so a changed value takes effect at the next one.
    const std::uint64_t relative =
        inputBytes > (kUnlimited - kBudgetBaseBytes) / kBudgetBytesPerInputByte
            ? kUnlimited
            : kBudgetBaseBytes + inputBytes * kBudgetBytesPerInputByte;
    return MemoryBudget(std::min(relative, readBudgetCeiling()));
}

} // namespace halv::xfile::detail
