#include "texture/detail/debug_mute.h"

#include "base/registry.h"

namespace halv::texture::detail {

bool readDoNotMute() noexcept {
    HKEY key = nullptr;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Direct3D", &key) != ERROR_SUCCESS) {
        return false;
    }
    DWORD type = REG_NONE;
    DWORD value = 0;
    DWORD size = sizeof value;
    const LONG result = RegQueryValueExA(key, "D3DXDoNotMute", nullptr, &type,
                                         reinterpret_cast<LPBYTE>(&value), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_DWORD && size == sizeof value && value != 0;
}

bool doNotMute() noexcept {
    // Process-wide: the registry is read once, on first use.
    static const bool value = readDoNotMute();
    return value;
}

ScopedDebugMute::ScopedDebugMute() noexcept
    : mMuting(!doNotMute()) {}

} // namespace halv::texture::detail
