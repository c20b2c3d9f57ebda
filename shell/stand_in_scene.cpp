#include "shell/stand_in_scene.h"

#include "platform/debug_output.h"
#include "platform/timing.h"

#include <cstdio>

namespace halv::shell {
namespace {

constexpr LONGLONG kFramesPerSecondCap = 120;

} // namespace

StandInScene::~StandInScene() {
    if (mDevice != nullptr) {
        mDevice->Release();
        mDevice = nullptr;
    }
    if (mDirect3D != nullptr) {
        mDirect3D->Release();
        mDirect3D = nullptr;
    }
}

HRESULT StandInScene::initialise(HWND window, int width, int height, bool fullScreen) {
    mDirect3D = Direct3DCreate9(D3D_SDK_VERSION);
    if (mDirect3D == nullptr) {
        return E_FAIL;
    }
    D3DDISPLAYMODE mode = {};
    if (FAILED(mDirect3D->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode))) {
        return E_FAIL;
    }
    D3DPRESENT_PARAMETERS parameters = {};
    parameters.BackBufferFormat = mode.Format;
    parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
    parameters.EnableAutoDepthStencil = TRUE;
    parameters.AutoDepthStencilFormat = D3DFMT_D16;
    DWORD behaviour = 0;
    if (fullScreen) {
        parameters.BackBufferWidth = static_cast<UINT>(width);
        parameters.BackBufferHeight = static_cast<UINT>(height);
        parameters.Windowed = FALSE;
        parameters.FullScreen_RefreshRateInHz = mode.RefreshRate;
        parameters.PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;
        behaviour = D3DCREATE_HARDWARE_VERTEXPROCESSING;
    } else {
        parameters.Windowed = TRUE;
        parameters.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        behaviour = D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    }
    const HRESULT created = mDirect3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                                    behaviour, &parameters, &mDevice);
    if (FAILED(created)) {
        char text[96];
        std::snprintf(text, sizeof(text), "halvorine: CreateDevice failed (0x%08X)\n",
                      static_cast<unsigned>(created));
        OutputDebugStringA(text);
        return E_FAIL;
    }
    return S_OK;
}

HRESULT StandInScene::runFrame() {
    if (mDevice == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    LARGE_INTEGER frequency;
    LARGE_INTEGER now;
    if (QueryPerformanceFrequency(&frequency) != FALSE && frequency.QuadPart > 0) {
        // Sleep in 1 ms steps until a 120th of a second has passed since the last frame.
        const LONGLONG frameTicks = frequency.QuadPart / kFramesPerSecondCap;
        QueryPerformanceCounter(&now);
        while (mLastFrameTicks != 0 && now.QuadPart - mLastFrameTicks < frameTicks) {
            Sleep(1);
            QueryPerformanceCounter(&now);
        }
        mLastFrameTicks = now.QuadPart;
    }
    mDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kStandInClearColour, 1.0f, 0);
    if (SUCCEEDED(mDevice->BeginScene())) {
        mDevice->EndScene();
    }
    return mDevice->Present(nullptr, nullptr, nullptr, nullptr);
}

} // namespace halv::shell
