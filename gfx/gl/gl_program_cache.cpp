#include "gfx/gl/gl_program_cache.h"

#include "gfx/gl/program_binary_file.h"

#include <new>
#include <vector>

namespace halv::gfx::detail {

void GlProgramCache::open(std::string directory) noexcept {
    mDirectory.clear();
    if (directory.empty() ||
        (epoxy_gl_version() < 41 && !epoxy_has_gl_extension("GL_ARB_get_program_binary"))) {
        return;
    }
    GLint formats = 0;
    glGetIntegerv(GL_NUM_PROGRAM_BINARY_FORMATS, &formats);
    if (formats <= 0) {
        return;
    }
    try {
        mDriver.clear();
        for (const GLenum name :
             {GL_VENDOR, GL_RENDERER, GL_VERSION, GL_SHADING_LANGUAGE_VERSION}) {
            const auto* text = reinterpret_cast<const char*>(glGetString(name));
            mDriver += text != nullptr ? text : "";
            mDriver += '\n';
        }
        mDirectory = std::move(directory);
    } catch (const std::bad_alloc&) {
        mDirectory.clear();
    }
}

std::string GlProgramCache::keyOf(std::string_view source) const {
    std::string key = mDriver;
    key += source;
    return key;
}

bool GlProgramCache::load(GLuint program, std::string_view source) noexcept {
    if (!enabled()) {
        return false;
    }
    try {
        const auto record = readProgramRecord(mDirectory + "/" + programFileName(source));
        if (!record) {
            return false;
        }
        const auto binary = decodeProgramRecord(*record, keyOf(source));
        if (!binary) {
            return false;
        }
        glProgramBinary(program, binary->format, binary->bytes.data(),
                        static_cast<GLsizei>(binary->bytes.size()));
    } catch (const std::bad_alloc&) {
        return false;
    }
    // A driver that changed since refuses the binary; the program then fails to link.
    GLint linked = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    return linked == GL_TRUE;
}

void GlProgramCache::store(GLuint program, std::string_view source) noexcept {
    if (!enabled()) {
        return;
    }
    GLint length = 0;
    glGetProgramiv(program, GL_PROGRAM_BINARY_LENGTH, &length);
    if (length <= 0 || static_cast<std::size_t>(length) > kMaxProgramRecordBytes) {
        return;
    }
    try {
        ProgramBinary binary;
        binary.bytes.resize(static_cast<std::size_t>(length));
        GLsizei written = 0;
        GLenum format = 0;
        glGetProgramBinary(program, length, &written, &format, binary.bytes.data());
        if (written <= 0) {
            return;
        }
        binary.bytes.resize(static_cast<std::size_t>(written));
        binary.format = format;
        writeProgramRecord(mDirectory, programFileName(source),
                           encodeProgramRecord(keyOf(source), binary));
    } catch (const std::bad_alloc&) {
        // Nothing kept; the next start compiles.
    }
}

} // namespace halv::gfx::detail
