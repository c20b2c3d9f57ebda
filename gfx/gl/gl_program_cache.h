// Linked programs kept as the driver's own binaries (GL 4.1, ARB_get_program_binary), so that a
// later start links them without compiling. Mesa builds its GLSL front end at the first compile,
// even when its shader cache then skips the work, and keeps those megabytes for the life of the
// process; a program linked from a binary compiles nothing.
#pragma once

#include <epoxy/gl.h>

#include <string>
#include <string_view>

namespace halv::gfx::detail {

class GlProgramCache {
public:
    GlProgramCache() = default;
    // Reads the driver's identity and whether it hands out program binaries; call it with the
    // context current. Without a directory the cache stays off.
    void open(std::string directory) noexcept;
    bool enabled() const noexcept { return !mDirectory.empty(); }

    // Links `program` from the binary kept for `source` (both shaders' text); false when there
    // is none the driver takes, and the caller compiles.
    bool load(GLuint program, std::string_view source) noexcept;
    // Keeps the binary of the linked `program`; a failure costs the next start a compile.
    void store(GLuint program, std::string_view source) noexcept;

private:
    std::string keyOf(std::string_view source) const;

    std::string mDirectory;
    // Vendor, renderer and version strings: a binary is only offered back to its own driver.
    std::string mDriver;
};

} // namespace halv::gfx::detail
