// The renderer without GL: every checked call succeeds and nothing is drawn.
#include "gfx/detail/device.h"

namespace halv::gfx::detail {
namespace {

class NullRenderer final : public Renderer {
public:
    void describe(RendererInfo* info) const override { info->kind = "null"; }
    float maxPointSize() const noexcept override { return 256.0f; }
    HRESULT clear(const ClearRequest& /*request*/) noexcept override { return D3D_OK; }
    HRESULT draw(const DrawRequest& /*request*/) noexcept override { return D3D_OK; }
    HRESULT present() noexcept override { return D3D_OK; }
    // There are no pixels to read.
    HRESULT readBack(BackBufferImage* /*image*/) noexcept override { return D3DERR_NOTAVAILABLE; }
};

} // namespace

std::unique_ptr<Renderer> createNullRenderer(const SwapSetup& /*swap*/) {
    return std::make_unique<NullRenderer>();
}

} // namespace halv::gfx::detail
