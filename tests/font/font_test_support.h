// Shared by the font tests: null devices with chosen capabilities and the device's reference
// count, to show that a font lets go of everything it took.
#pragma once

#include "base/com.h"
#include "gfx/caps.h"
#include "gfx/device_factory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

namespace halv::font::testing_support {

using base::ComRef;

inline ComRef<IDirect3DDevice9> makeNullDevice(std::optional<gfx::AdapterProfile> profile = {}) {
    gfx::DeviceSetup setup;
    // Small enough for profiles with tiny texture limits.
    setup.width = 8;
    setup.height = 8;
    setup.profile = std::move(profile);
    ComRef<IDirect3DDevice9> device;
    EXPECT_EQ(gfx::createNullDevice(setup, device.put()), D3D_OK);
    return device;
}

// The default profile with both texture limits set to `edge`.
inline gfx::AdapterProfile profileWithMaxTexture(DWORD edge) {
    gfx::AdapterProfile profile = gfx::defaultAdapterProfile();
    profile.caps.MaxTextureWidth = edge;
    profile.caps.MaxTextureHeight = edge;
    return profile;
}

// The default profile without any D3DFMT_A8R8G8B8 row.
inline gfx::AdapterProfile profileWithoutA8R8G8B8() {
    gfx::AdapterProfile profile = gfx::defaultAdapterProfile();
    std::erase_if(profile.formats,
                  [](const gfx::FormatSupport& row) { return row.format == D3DFMT_A8R8G8B8; });
    return profile;
}

// The count of references others hold on the device.
inline ULONG referenceCount(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

} // namespace halv::font::testing_support
