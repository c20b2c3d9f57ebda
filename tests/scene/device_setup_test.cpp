// The scene's device set-up against a recording adapter: presentation parameters and behaviour
// flags for both modes, the multisampling rule, and no second attempt.
#include "scene/device_setup.h"
#include "tests/scene/scene_test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace halv::scene {
namespace {

using base::ComRef;

// Passes every call to a real adapter object and writes down the ones the set-up makes.
class RecordingDirect3D final : public IDirect3D9 {
public:
    explicit RecordingDirect3D(IDirect3D9* inner)
        : mInner(ComRef<IDirect3D9>::retain(inner)) {}

    HRESULT QueryInterface(REFIID riid, void** object) noexcept override {
        return mInner->QueryInterface(riid, object);
    }
    ULONG AddRef() noexcept override { return 2; }
    ULONG Release() noexcept override { return 1; }

    HRESULT RegisterSoftwareDevice(void* function) noexcept override {
        return mInner->RegisterSoftwareDevice(function);
    }
    UINT GetAdapterCount() noexcept override { return mInner->GetAdapterCount(); }
    HRESULT GetAdapterIdentifier(UINT adapter, DWORD flags,
                                 D3DADAPTER_IDENTIFIER9* identifier) noexcept override {
        calls.push_back("GetAdapterIdentifier");
        return mInner->GetAdapterIdentifier(adapter, flags, identifier);
    }
    UINT GetAdapterModeCount(UINT adapter, D3DFORMAT format) noexcept override {
        return mInner->GetAdapterModeCount(adapter, format);
    }
    HRESULT EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT mode,
                             D3DDISPLAYMODE* displayMode) noexcept override {
        return mInner->EnumAdapterModes(adapter, format, mode, displayMode);
    }
    HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* displayMode) noexcept override {
        calls.push_back("GetAdapterDisplayMode");
        if (failDisplayMode) {
            return D3DERR_INVALIDCALL;
        }
        return mInner->GetAdapterDisplayMode(adapter, displayMode);
    }
    HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                            D3DFORMAT backBufferFormat, BOOL windowed) noexcept override {
        return mInner->CheckDeviceType(adapter, type, adapterFormat, backBufferFormat, windowed);
    }
    HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                              D3DRESOURCETYPE resourceType,
                              D3DFORMAT checkFormat) noexcept override {
        return mInner->CheckDeviceFormat(adapter, type, adapterFormat, usage, resourceType,
                                         checkFormat);
    }
    HRESULT CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT format,
                                       BOOL windowed, D3DMULTISAMPLE_TYPE multiSample,
                                       DWORD* qualityLevels) noexcept override {
        calls.push_back("CheckDeviceMultiSampleType");
        multiSampleWindowed = windowed;
        return mInner->CheckDeviceMultiSampleType(adapter, type, format, windowed, multiSample,
                                                  qualityLevels);
    }
    HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                   D3DFORMAT targetFormat,
                                   D3DFORMAT depthFormat) noexcept override {
        return mInner->CheckDepthStencilMatch(adapter, type, adapterFormat, targetFormat,
                                              depthFormat);
    }
    HRESULT CheckDeviceFormatConversion(UINT adapter, D3DDEVTYPE type, D3DFORMAT source,
                                        D3DFORMAT target) noexcept override {
        return mInner->CheckDeviceFormatConversion(adapter, type, source, target);
    }
    HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) noexcept override {
        return mInner->GetDeviceCaps(adapter, type, caps);
    }
    HMONITOR GetAdapterMonitor(UINT adapter) noexcept override {
        return mInner->GetAdapterMonitor(adapter);
    }
    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
                         D3DPRESENT_PARAMETERS* parameters,
                         IDirect3DDevice9** device) noexcept override {
        calls.push_back("CreateDevice");
        focus = focusWindow;
        behavior = behaviorFlags;
        requested = *parameters;
        if (refuseDevice) {
            return D3DERR_NOTAVAILABLE;
        }
        return mInner->CreateDevice(adapter, type, focusWindow, behaviorFlags, parameters, device);
    }

    std::vector<std::string> calls;
    bool failDisplayMode = false;
    bool refuseDevice = false;
    HWND focus = nullptr;
    DWORD behavior = 0;
    BOOL multiSampleWindowed = FALSE;
    D3DPRESENT_PARAMETERS requested{};

private:
    ComRef<IDirect3D9> mInner;
};

gfx::AdapterProfile profileWith(DWORD vendor, DWORD device, DWORD multiSampleTypes) {
    gfx::AdapterProfile profile = gfx::defaultAdapterProfile();
    profile.identifier.VendorId = vendor;
    profile.identifier.DeviceId = device;
    profile.displayMode = {1280, 1024, 75, D3DFMT_X8R8G8B8};
    profile.multiSampleTypes = multiSampleTypes;
    return profile;
}

constexpr DWORD kTwoSamples = (1u << D3DMULTISAMPLE_NONE) | (1u << D3DMULTISAMPLE_2_SAMPLES);
constexpr DWORD kNoSamples = 1u << D3DMULTISAMPLE_NONE;

class DeviceSetup : public ::testing::Test {
protected:
    void useAdapter(const gfx::AdapterProfile& profile) {
        gfx::Direct3DOptions options;
        options.renderer = gfx::RendererKind::kNull;
        options.profile = profile;
        mInner.reset(gfx::createDirect3D(options));
        mAdapter.emplace(mInner.get());
    }

    HRESULT create(bool fullScreen) {
        return createSceneDevice(&*mAdapter, mWindow, 800, 600, fullScreen, mDevice.put(),
                                 &mMultiSampleAllowed);
    }

    ComRef<IDirect3D9> mInner;
    std::optional<RecordingDirect3D> mAdapter;
    ComRef<IDirect3DDevice9> mDevice;
    bool mMultiSampleAllowed = false;
    HWND mWindow = reinterpret_cast<HWND>(0x1234);
};

TEST_F(DeviceSetup, FullScreenTakesTheSizeAskedForAndTheDesktopsFormatAndRate) {
    useAdapter(profileWith(0x1002, 0x4E48, kTwoSamples));
    ASSERT_EQ(create(true), S_OK);
    EXPECT_THAT(mAdapter->calls,
                ::testing::ElementsAre("GetAdapterDisplayMode", "GetAdapterIdentifier",
                                       "CheckDeviceMultiSampleType", "CreateDevice"));
    const D3DPRESENT_PARAMETERS& p = mAdapter->requested;
    EXPECT_EQ(p.BackBufferWidth, 800u);
    EXPECT_EQ(p.BackBufferHeight, 600u);
    EXPECT_EQ(p.BackBufferFormat, D3DFMT_X8R8G8B8);
    EXPECT_EQ(p.BackBufferCount, 0u);
    EXPECT_EQ(p.MultiSampleType, D3DMULTISAMPLE_2_SAMPLES);
    EXPECT_EQ(p.MultiSampleQuality, 0u);
    EXPECT_EQ(p.SwapEffect, D3DSWAPEFFECT_DISCARD);
    EXPECT_EQ(p.hDeviceWindow, nullptr);
    EXPECT_EQ(p.Windowed, FALSE);
    EXPECT_EQ(p.EnableAutoDepthStencil, TRUE);
    EXPECT_EQ(p.AutoDepthStencilFormat, D3DFMT_D16);
    EXPECT_EQ(p.Flags, 0u);
    EXPECT_EQ(p.FullScreen_RefreshRateInHz, 75u);
    EXPECT_EQ(p.PresentationInterval, D3DPRESENT_INTERVAL_DEFAULT);
    EXPECT_EQ(mAdapter->behavior, D3DCREATE_HARDWARE_VERTEXPROCESSING);
    EXPECT_EQ(mAdapter->focus, mWindow);
    EXPECT_EQ(mAdapter->multiSampleWindowed, FALSE);
    EXPECT_TRUE(mMultiSampleAllowed);
    EXPECT_NE(mDevice.get(), nullptr);
}

TEST_F(DeviceSetup, WindowedTakesTheWindowsSizeAndPresentsAtOnce) {
    useAdapter(profileWith(0x1002, 0x4E48, kTwoSamples));
    mWindow = nullptr;
    ASSERT_EQ(create(false), S_OK);
    const D3DPRESENT_PARAMETERS& p = mAdapter->requested;
    EXPECT_EQ(p.BackBufferWidth, 0u);
    EXPECT_EQ(p.BackBufferHeight, 0u);
    EXPECT_EQ(p.Windowed, TRUE);
    EXPECT_EQ(p.FullScreen_RefreshRateInHz, 0u);
    EXPECT_EQ(p.PresentationInterval, D3DPRESENT_INTERVAL_IMMEDIATE);
    EXPECT_EQ(p.MultiSampleType, D3DMULTISAMPLE_2_SAMPLES);
    EXPECT_EQ(mAdapter->behavior, D3DCREATE_SOFTWARE_VERTEXPROCESSING);
    EXPECT_EQ(mAdapter->multiSampleWindowed, TRUE);
}

TEST_F(DeviceSetup, TheExcludedAdapterIsNeverAskedForSamples) {
    useAdapter(profileWith(kNoMultiSampleVendorId, kNoMultiSampleDeviceId, kTwoSamples));
    ASSERT_EQ(create(true), S_OK);
    EXPECT_THAT(mAdapter->calls, ::testing::Not(::testing::Contains("CheckDeviceMultiSampleType")));
    EXPECT_EQ(mAdapter->requested.MultiSampleType, D3DMULTISAMPLE_NONE);
    EXPECT_FALSE(mMultiSampleAllowed);

    // Only the pair is excluded: the same vendor with another device is asked.
    mDevice.reset();
    useAdapter(profileWith(kNoMultiSampleVendorId, 0x0312, kTwoSamples));
    ASSERT_EQ(create(true), S_OK);
    EXPECT_THAT(mAdapter->calls, ::testing::Contains("CheckDeviceMultiSampleType"));
    EXPECT_TRUE(mMultiSampleAllowed);
}

TEST_F(DeviceSetup, AnAdapterWithoutTwoSamplesStillGetsItsDevice) {
    useAdapter(profileWith(0x8086, 0x0166, kNoSamples));
    ASSERT_EQ(create(true), S_OK);
    EXPECT_EQ(mAdapter->requested.MultiSampleType, D3DMULTISAMPLE_NONE);
    EXPECT_TRUE(mMultiSampleAllowed);
    EXPECT_NE(mDevice.get(), nullptr);
}

TEST_F(DeviceSetup, FailuresAreNotRetried) {
    useAdapter(profileWith(0x1002, 0x4E48, kTwoSamples));
    mAdapter->refuseDevice = true;
    EXPECT_EQ(create(true), E_FAIL);
    EXPECT_EQ(std::count(mAdapter->calls.begin(), mAdapter->calls.end(), "CreateDevice"), 1);
    EXPECT_EQ(mDevice.get(), nullptr);

    useAdapter(profileWith(0x1002, 0x4E48, kTwoSamples));
    mAdapter->failDisplayMode = true;
    EXPECT_EQ(create(true), E_FAIL);
    EXPECT_THAT(mAdapter->calls, ::testing::ElementsAre("GetAdapterDisplayMode"));
}

class SceneWithoutDevice : public testing::FreshShow {};

TEST_F(SceneWithoutDevice, InitialiseFailsAndCreatesNothingElse) {
    // A window renderer without a window cannot make a device.
    gfx::Direct3DOptions options;
    options.renderer = gfx::RendererKind::kWindow;
    const gfx::ScopedDirect3DOptions useWindow(options);
    StationScene scene;
    EXPECT_EQ(scene.initialise(nullptr, 1024, 768, true), E_FAIL);
    EXPECT_EQ(scene.device(), nullptr);
    EXPECT_NE(scene.direct3d(), nullptr);
    EXPECT_EQ(scene.texture(kSkySlot), nullptr);
    EXPECT_EQ(scene.vertexBuffer(SceneBuffer::kSky), nullptr);
    ASSERT_NE(scene.model(), nullptr);
    EXPECT_EQ(scene.model()->mesh(), nullptr);
    EXPECT_THAT(mMessages.shown(), ::testing::IsEmpty());
}

} // namespace
} // namespace halv::scene
