# Writes the GLSL sources into a C++ file as raw string literals (run at build time).
# -DOUTPUT=<file.cpp> -DCOMMON=<common.glsl> -DVERTEX=<.vert> -DFRAGMENT=<.frag>
file(READ ${COMMON} common)
file(READ ${VERTEX} vertex)
file(READ ${FRAGMENT} fragment)
file(WRITE ${OUTPUT}.tmp
"// Generated from gfx/gl/shaders by embed_shaders.cmake; do not edit.
#include \"gfx/gl/shaders.h\"

namespace halv::gfx::detail {

const char* const kFixedFunctionCommon = R\"GLSL(${common})GLSL\";
const char* const kFixedFunctionVertexShader = R\"GLSL(${vertex})GLSL\";
const char* const kFixedFunctionFragmentShader = R\"GLSL(${fragment})GLSL\";

} // namespace halv::gfx::detail
")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
