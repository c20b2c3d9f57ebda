// Stand-in until the OpenGL renderer is built: no GL renderer can start.
#include "gfx/detail/device.h"

namespace halv::gfx::detail {

void describeGlAdapter(D3DADAPTER_IDENTIFIER9* /*identifier*/) noexcept {}

HRESULT createGlRenderer(bool /*headless*/, const SwapSetup& /*swap*/,
                         std::unique_ptr<Renderer>* /*renderer*/) noexcept {
    return D3DERR_NOTAVAILABLE;
}

} // namespace halv::gfx::detail
