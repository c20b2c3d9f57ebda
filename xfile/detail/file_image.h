// The 16-byte .x header and the expansion of compressed files into an in-memory image.
#pragma once

#include "xfile/detail/memory_budget.h"
#include "xfile/detail/read_failure.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace halv::xfile::detail {

inline constexpr std::size_t kHeaderSize = 16;
// A compressed block never expands to more than this.
inline constexpr std::size_t kMaxBlockBytes = 32768;

enum class Encoding { kText, kBinary, kCompressedText, kCompressedBinary };

struct FileHeader {
    Encoding encoding = Encoding::kText;
    unsigned floatBytes = 4; // binary floats: 4 ("0032") or 8 ("0064")
};

// Checks magic, version, format and float size in that order and stops at the first bad one.
ReadFailure readHeader(std::span<const std::byte> file, FileHeader* header);

// Expands a "tzip"/"bzip" file: a DWORD total size (header included) at offset 16, then blocks
// of WORD expanded size, WORD stored size and that many bytes ("CK" and raw deflate, the
// window carried from block to block). The result starts with the header, its format changed
// to "txt "/"bin ". Fails unless every block expands to exactly its stated size and the whole
// to exactly the declared total; never writes more than that. The declared total is taken
// from `budget` before anything is expanded (kOutOfMemory when it does not fit).
ReadFailure expandCompressed(std::span<const std::byte> file, MemoryBudget* budget,
                             std::vector<std::byte>* image);

// A file ready to tokenize: the bytes after the header, in place or expanded.
struct PreparedFile {
    std::vector<std::byte> expanded;  // holds the image of a compressed file
    std::uint64_t expandedCharge = 0; // what the image took from the budget
    std::span<const std::byte> body;
    bool binary = false;
    unsigned floatBytes = 4;
};

// Header check, expansion of compressed input and the check of the expanded header.
ReadFailure prepareFile(std::span<const std::byte> file, MemoryBudget* budget,
                        PreparedFile* prepared);

} // namespace halv::xfile::detail
