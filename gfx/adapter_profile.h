// The adapter profile: the one table that GetDeviceCaps, CheckDeviceFormat,
// CheckDeviceMultiSampleType, GetAdapterIdentifier and GetAdapterDisplayMode answer from. Tests
// replace the profile to describe other hardware.
#pragma once

#include "gfx/caps.h"

#include <vector>

namespace halv::gfx {

// The bit for one resource type in FormatSupport::resourceTypes.
inline constexpr DWORD resourceTypeBit(D3DRESOURCETYPE type) {
    return 1u << static_cast<DWORD>(type);
}

// One format's support: the resource types it can be created as and the usages (including
// the D3DUSAGE_QUERY_* bits) it supports there. A format may appear in several rows.
struct FormatSupport {
    D3DFORMAT format;
    DWORD resourceTypes;
    DWORD usage;
};

// Everything the adapter reports about itself. CheckDeviceFormat answers D3D_OK when a row
// with the format and resource type supports every requested usage bit, D3DOK_NOAUTOGEN when
// only D3DUSAGE_AUTOGENMIPMAP is missing, and D3DERR_NOTAVAILABLE otherwise. Texture creation
// checks formats against the same rows (except in D3DPOOL_SCRATCH) and sizes against caps.
struct AdapterProfile {
    D3DADAPTER_IDENTIFIER9 identifier;
    // Reported as is when useDesktopMode is false or no display is reachable.
    D3DDISPLAYMODE displayMode;
    // Ask the platform layer for the real desktop mode (size and refresh rate).
    bool useDesktopMode;
    D3DCAPS9 caps;
    std::vector<FormatSupport> formats;
    // Bit n set: D3DMULTISAMPLE_TYPE n is supported for back-buffer and depth formats
    // (bit 0, no multisampling, is always supported).
    DWORD multiSampleTypes;
};

// The profile of the OpenGL renderer: what it can create, sample and render, with a fixed
// identity ("Halvorine OpenGL 3.3 adapter", no vendor), a fixed 1024x768 X8R8G8B8 60 Hz mode
// and useDesktopMode false. Adapter objects for the GL renderers that keep this profile take
// the identity from the GL driver and, unless headless, the mode from the desktop.
AdapterProfile defaultAdapterProfile();

} // namespace halv::gfx
