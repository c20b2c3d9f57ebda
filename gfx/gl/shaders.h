// The fixed-function shader program's sources, embedded at build time from gfx/gl/shaders/.
#pragma once

namespace halv::gfx::detail {

extern const char* const kFixedFunctionVertexShader;
extern const char* const kFixedFunctionFragmentShader;

} // namespace halv::gfx::detail
