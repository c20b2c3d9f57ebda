// Muting of the Direct3D debug runtime around format probing and device copies. This platform
// has no debug runtime, so the mute itself does nothing; only the opt-out value is honoured,
// read once from the registry.
#pragma once

namespace halv::texture::detail {

// The DWORD "D3DXDoNotMute" under HKEY_LOCAL_MACHINE "Software\Microsoft\Direct3D" is
// present and non-zero. Reads the registry on every call.
bool readDoNotMute() noexcept;

// readDoNotMute() as read on first use.
bool doNotMute() noexcept;

// Marks a stretch of device calls during which debug output would be muted.
class ScopedDebugMute {
public:
    ScopedDebugMute() noexcept;
    ~ScopedDebugMute() = default;
    ScopedDebugMute(const ScopedDebugMute&) = delete;
    ScopedDebugMute& operator=(const ScopedDebugMute&) = delete;

    // Whether this stretch mutes (false when the registry value opts out).
    bool muting() const noexcept { return mMuting; }

private:
    bool mMuting;
};

} // namespace halv::texture::detail
