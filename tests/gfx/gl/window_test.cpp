// The device on a platform window (an SDL window with a GL context). Runs under Xvfb; skips
// without a display.
#include "gfx/device.h"
#include "gfx/device_factory.h"
#include "gfx/inspection.h"
#include "platform/window.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace halv::gfx {
namespace {

using base::ComRef;

class WindowedDevice : public testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) {
            GTEST_SKIP() << "no X display (run under xvfb-run)";
        }
        platform::WindowOptions options;
        options.title = "gfx window test";
        options.width = 48;
        options.height = 40;
        window = platform::createWindow(options);
        ASSERT_NE(window, nullptr) << "the display did not give a window";
    }
    void TearDown() override { platform::destroyWindow(window); }

    HWND window = nullptr;
};

TEST_F(WindowedDevice, TakesTheClientSizeAndPresents) {
    ComRef<IDirect3D9> d3d(Direct3DCreate9(D3D_SDK_VERSION));
    ASSERT_TRUE(d3d);
    D3DDISPLAYMODE mode{};
    ASSERT_EQ(d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode), D3D_OK);
    // The Xvfb screen the test runs on.
    platform::DisplayMode desktop;
    ASSERT_TRUE(platform::desktopDisplayMode(&desktop));
    EXPECT_EQ(mode.Width, static_cast<UINT>(desktop.width));
    EXPECT_EQ(mode.Height, static_cast<UINT>(desktop.height));
    EXPECT_EQ(mode.Format, D3DFMT_X8R8G8B8);

    D3DPRESENT_PARAMETERS parameters{};
    parameters.BackBufferFormat = mode.Format;
    parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
    parameters.Windowed = TRUE;
    parameters.EnableAutoDepthStencil = TRUE;
    parameters.AutoDepthStencilFormat = D3DFMT_D16;
    parameters.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    ComRef<IDirect3DDevice9> device;
    ASSERT_EQ(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters, device.put()),
              D3D_OK);
    EXPECT_EQ(parameters.BackBufferWidth, 48u);
    EXPECT_EQ(parameters.BackBufferHeight, 40u);

    RendererInfo info;
    ASSERT_EQ(getRendererInfo(device.get(), &info), D3D_OK);
    EXPECT_EQ(info.kind, "opengl-window");

    for (int frame = 0; frame < 3; ++frame) {
        ASSERT_EQ(
            device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000064, 1.0f, 0),
            D3D_OK);
        ASSERT_EQ(device->BeginScene(), D3D_OK);
        ASSERT_EQ(device->EndScene(), D3D_OK);
        ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    }
    BackBufferImage image;
    ASSERT_EQ(readBackBuffer(device.get(), &image), D3D_OK);
    EXPECT_EQ(image.at(47, 39), 0xFF000064u);
    // Presenting into another window is refused.
    EXPECT_EQ(device->Present(nullptr, nullptr, reinterpret_cast<HWND>(0x10), nullptr),
              D3DERR_INVALIDCALL);
}

TEST_F(WindowedDevice, MultisampledWindowWhenAsked) {
    ComRef<IDirect3D9> d3d(createDirect3D({RendererKind::kWindow, std::nullopt, false}));
    D3DPRESENT_PARAMETERS parameters{};
    parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
    parameters.Windowed = TRUE;
    parameters.EnableAutoDepthStencil = TRUE;
    parameters.AutoDepthStencilFormat = D3DFMT_D16;
    // The fewest samples the driver offers (llvmpipe has four, not two).
    for (int samples = 2; samples <= 16 && parameters.MultiSampleType == D3DMULTISAMPLE_NONE;
         ++samples) {
        const auto type = static_cast<D3DMULTISAMPLE_TYPE>(samples);
        if (SUCCEEDED(d3d->CheckDeviceMultiSampleType(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL,
                                                      D3DFMT_X8R8G8B8, TRUE, type, nullptr)) &&
            SUCCEEDED(d3d->CheckDeviceMultiSampleType(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL,
                                                      D3DFMT_D16, TRUE, type, nullptr))) {
            parameters.MultiSampleType = type;
        }
    }
    if (parameters.MultiSampleType == D3DMULTISAMPLE_NONE) {
        GTEST_SKIP() << "the driver offers no multisampling";
    }
    ComRef<IDirect3DDevice9> device;
    ASSERT_EQ(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                D3DCREATE_HARDWARE_VERTEXPROCESSING, &parameters, device.put()),
              D3D_OK);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF336699, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    BackBufferImage image;
    ASSERT_EQ(readBackBuffer(device.get(), &image), D3D_OK);
    EXPECT_EQ(image.at(0, 0), 0xFF336699u);

    // A window renderer needs a window.
    ComRef<IDirect3DDevice9> windowless;
    EXPECT_EQ(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr,
                                D3DCREATE_HARDWARE_VERTEXPROCESSING, &parameters, windowless.put()),
              D3DERR_INVALIDCALL);
}

TEST_F(WindowedDevice, OutlivesItsWindow) {
    // The shell destroys its window before the scene releases the device.
    ComRef<IDirect3D9> d3d(createDirect3D({RendererKind::kWindow, std::nullopt, false}));
    D3DPRESENT_PARAMETERS parameters{};
    parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
    parameters.Windowed = TRUE;
    ComRef<IDirect3DDevice9> device;
    ASSERT_EQ(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                D3DCREATE_HARDWARE_VERTEXPROCESSING, &parameters, device.put()),
              D3D_OK);
    platform::destroyWindow(window);
    EXPECT_EQ(platform::sdlWindow(window), nullptr);
    window = nullptr;
    // Frames keep working into the hidden window until the device goes.
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF102030, 1.0f, 0), D3D_OK);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    BackBufferImage image;
    ASSERT_EQ(readBackBuffer(device.get(), &image), D3D_OK);
    EXPECT_EQ(image.at(0, 0), 0xFF102030u);
}

// SDL keeps its connections until it is shut down.
class VideoShutdown : public testing::Environment {
public:
    void TearDown() override { platform::stopVideo(); }
};

const testing::Environment* const kVideoShutdown =
    testing::AddGlobalTestEnvironment(new VideoShutdown);

} // namespace
} // namespace halv::gfx
