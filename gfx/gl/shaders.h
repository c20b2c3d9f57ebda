// The fixed-function shader program's sources, embedded at build time from gfx/gl/shaders/.
// A program is the version line, its KEY_* definitions, the common part and the stage's body.
#pragma once

namespace halv::gfx::detail {

extern const char* const kFixedFunctionCommon;
extern const char* const kFixedFunctionVertexShader;
extern const char* const kFixedFunctionFragmentShader;

} // namespace halv::gfx::detail
