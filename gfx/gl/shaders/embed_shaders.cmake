# Writes the GLSL sources into a C++ file as raw string literals (run at build time).
# -DOUTPUT=<file.cpp> -DCOMMON=<common.glsl> -DVERTEX=<.vert> -DFRAGMENT=<.frag>
file(READ ${COMMON} common)
file(READ ${VERTEX} vertex)
file(READ ${FRAGMENT} fragment)
set(prefix "#version 330 core\n")
file(WRITE ${OUTPUT}.tmp
"// Generated from gfx/gl/shaders by embed_shaders.cmake; do not edit.
#include \"gfx/gl/shaders.h\"

namespace halv::gfx::detail {

const char* const kFixedFunctionVertexShader = R\"GLSL(${prefix}${common}${vertex})GLSL\";
const char* const kFixedFunctionFragmentShader = R\"GLSL(${prefix}${common}${fragment})GLSL\";

} // namespace halv::gfx::detail
")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
