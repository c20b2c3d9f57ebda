// Linked programs on disk: where they live, and the record that ties a driver's binary to the
// exact driver and shader text it was made from. No GL here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace halv::gfx::detail {

// The magic and the three lengths before a record's key.
inline constexpr std::size_t kProgramRecordHeaderBytes = 20;
// A record larger than this is not read: no program of ours comes near it.
inline constexpr std::size_t kMaxProgramRecordBytes = 16 * 1024 * 1024;

// $XDG_CACHE_HOME/halvorine/gl-programs, else $HOME/.cache/halvorine/gl-programs. Empty, for no
// cache, when neither is an absolute path, or when MESA_SHADER_CACHE_DISABLE asks for no shader
// caching (the user's word covers ours too).
std::string programCacheDirectory();

// The file name of the program whose shaders' text is `source`: its 64-bit FNV-1a hash in hex.
std::string programFileName(std::string_view source);

struct ProgramBinary {
    std::uint32_t format = 0;
    std::vector<std::byte> bytes;
};

// "HALVGLP1", then little-endian 32-bit binary format, key length and binary length, then the
// key and the binary. The key (the driver's identity and the shaders' text) is kept whole, so a
// record never passes for another program or another driver.
std::vector<std::byte> encodeProgramRecord(std::string_view key, const ProgramBinary& binary);
// The binary of a record made for exactly `key`; nothing for any other or a damaged record.
std::optional<ProgramBinary> decodeProgramRecord(std::span<const std::byte> record,
                                                 std::string_view key);

// The whole file, or nothing when it is missing, unreadable or over kMaxProgramRecordBytes.
std::optional<std::vector<std::byte>> readProgramRecord(const std::string& path);
// Creates the directory (and its parents, private to the user) and replaces `name` in it
// through a temporary file renamed into place, so a reader sees the old file or the new one.
bool writeProgramRecord(const std::string& directory, const std::string& name,
                        std::span<const std::byte> record);

} // namespace halv::gfx::detail
