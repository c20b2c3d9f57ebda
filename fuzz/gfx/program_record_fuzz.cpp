// Program records as a cache directory may hold them after a crash, a full disk or a hand:
// any bytes, decoded against a fixed key and against the key length the record claims.
#include "base/bytes.h"
#include "gfx/gl/program_binary_file.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace {

constexpr std::string_view kKey = "vendor\nrenderer\nversion\nglsl\n#version 330 core\n";
constexpr std::size_t kHeaderBytes = halv::gfx::detail::kProgramRecordHeaderBytes;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::byte> record(reinterpret_cast<const std::byte*>(data), size);
    halv::gfx::detail::decodeProgramRecord(record, kKey);
    // The key the record itself carries, so that the comparison and the copy are reached.
    if (size >= kHeaderBytes) {
        const std::size_t claimed = halv::base::readLE32(record, 12);
        const std::size_t available = std::min(claimed, size - kHeaderBytes);
        const std::string_view key(reinterpret_cast<const char*>(data) + kHeaderBytes, available);
        const auto binary = halv::gfx::detail::decodeProgramRecord(record, key);
        if (binary && binary->bytes.size() + kHeaderBytes + key.size() != size) {
            __builtin_trap();
        }
    }
    return 0;
}
