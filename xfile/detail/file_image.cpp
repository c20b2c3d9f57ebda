#include "xfile/detail/file_image.h"

#include "base/bytes.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string_view>

namespace halv::xfile::detail {
namespace {

bool fieldIs(std::span<const std::byte> file, std::size_t offset, std::string_view text) {
    return std::memcmp(file.data() + offset, text.data(), 4) == 0;
}

// Inflates one MSZIP block into exactly `out`, with the previous output as history.
ReadFailure inflateBlock(z_stream& stream, std::span<const std::byte> compressed,
                         std::span<const std::byte> history, std::span<std::byte> out) {
    if (inflateReset(&stream) != Z_OK) {
        return ReadFailure::kCompressedCorrupt;
    }
    if (!history.empty()) {
        const std::size_t keep = std::min(history.size(), kMaxBlockBytes);
        const auto* dictionary =
            reinterpret_cast<const Bytef*>(history.data() + history.size() - keep);
        if (inflateSetDictionary(&stream, dictionary, static_cast<uInt>(keep)) != Z_OK) {
            return ReadFailure::kCompressedCorrupt;
        }
    }
    // zlib takes non-const input pointers but only reads through them.
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<std::byte*>(compressed.data()));
    stream.avail_in = static_cast<uInt>(compressed.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int status = inflate(&stream, Z_FINISH);
    if (status == Z_STREAM_END) {
        return stream.avail_out == 0 ? ReadFailure::kNone : ReadFailure::kCompressedBlockSize;
    }
    // Output full before the final block ended: the block holds more than it states.
    if (status == Z_BUF_ERROR && stream.avail_out == 0) {
        return ReadFailure::kCompressedBlockSize;
    }
    return ReadFailure::kCompressedCorrupt;
}

class InflateStream {
public:
    InflateStream() {
        // Negative window bits: raw deflate, no zlib header or checksum.
        mReady = inflateInit2(&mStream, -15) == Z_OK;
    }
    ~InflateStream() {
        if (mReady) {
            inflateEnd(&mStream);
        }
    }
    InflateStream(const InflateStream&) = delete;
    InflateStream& operator=(const InflateStream&) = delete;

    bool ready() const { return mReady; }
    z_stream& get() { return mStream; }

private:
    z_stream mStream{};
    bool mReady = false;
};

} // namespace

ReadFailure readHeader(std::span<const std::byte> file, FileHeader* header) {
    if (file.size() < 4 || !fieldIs(file, 0, "xof ")) {
        return ReadFailure::kBadMagic;
    }
    if (file.size() < 8) {
        return ReadFailure::kBadMagic;
    }
    if (!fieldIs(file, 4, "0302") && !fieldIs(file, 4, "0303")) {
        return ReadFailure::kBadVersion;
    }
    if (file.size() < 12) {
        return ReadFailure::kBadMagic;
    }
    FileHeader result;
    if (fieldIs(file, 8, "txt ")) {
        result.encoding = Encoding::kText;
    } else if (fieldIs(file, 8, "bin ")) {
        result.encoding = Encoding::kBinary;
    } else if (fieldIs(file, 8, "tzip")) {
        result.encoding = Encoding::kCompressedText;
    } else if (fieldIs(file, 8, "bzip")) {
        result.encoding = Encoding::kCompressedBinary;
    } else {
        return ReadFailure::kBadFormat;
    }
    if (file.size() < kHeaderSize) {
        return ReadFailure::kBadMagic;
    }
    if (fieldIs(file, 12, "0032")) {
        result.floatBytes = 4;
    } else if (fieldIs(file, 12, "0064")) {
        result.floatBytes = 8;
    } else {
        return ReadFailure::kBadFloatSize;
    }
    *header = result;
    return ReadFailure::kNone;
}

ReadFailure expandCompressed(std::span<const std::byte> file, MemoryBudget* budget,
                             std::vector<std::byte>* image) {
    constexpr std::size_t kTotalOffset = kHeaderSize;
    constexpr std::size_t kFirstBlock = kTotalOffset + 4;
    if (file.size() < kFirstBlock) {
        return ReadFailure::kCompressedTruncated;
    }
    const std::uint32_t declaredTotal = base::readLE32(file, kTotalOffset);
    if (declaredTotal < kHeaderSize) {
        return ReadFailure::kCompressedTotalSize;
    }

    // First pass over the block headers: the stated sizes must add up to the declared total
    // before anything that large is allocated.
    std::uint64_t statedTotal = kHeaderSize;
    for (std::size_t offset = kFirstBlock; offset < file.size();) {
        if (4 > file.size() - offset) {
            return ReadFailure::kCompressedTruncated;
        }
        const std::size_t expanded = base::readLE16(file, offset);
        const std::size_t stored = base::readLE16(file, offset + 2);
        if (stored > file.size() - offset - 4) {
            return ReadFailure::kCompressedTruncated;
        }
        if (expanded > kMaxBlockBytes) {
            return ReadFailure::kCompressedBlockSize;
        }
        statedTotal += expanded;
        offset += 4 + stored;
    }
    if (statedTotal != declaredTotal) {
        return ReadFailure::kCompressedTotalSize;
    }

    // A few hundred kilobytes of blocks can declare hundreds of megabytes.
    if (!budget->take(declaredTotal)) {
        return ReadFailure::kOutOfMemory;
    }
    InflateStream stream;
    if (!stream.ready()) {
        budget->give(declaredTotal);
        return ReadFailure::kOutOfMemory;
    }
    std::vector<std::byte> out;
    out.reserve(declaredTotal);
    out.assign(file.begin(), file.begin() + kHeaderSize);
    const std::string_view plainFormat = fieldIs(file, 8, "bzip") ? "bin " : "txt ";
    std::memcpy(out.data() + 8, plainFormat.data(), 4);

    std::size_t produced = kHeaderSize;
    for (std::size_t offset = kFirstBlock; offset < file.size();) {
        const std::size_t expanded = base::readLE16(file, offset);
        const std::size_t stored = base::readLE16(file, offset + 2);
        const std::span<const std::byte> block = file.subspan(offset + 4, stored);
        offset += 4 + stored;
        if (block.size() < 2 || block[0] != std::byte{'C'} || block[1] != std::byte{'K'}) {
            budget->give(declaredTotal);
            return ReadFailure::kCompressedSignature;
        }
        out.resize(produced + expanded);
        const std::span<const std::byte> history(out.data() + kHeaderSize, produced - kHeaderSize);
        const ReadFailure failure = inflateBlock(stream.get(), block.subspan(2), history,
                                                 std::span(out.data() + produced, expanded));
        if (failure != ReadFailure::kNone) {
            budget->give(declaredTotal);
            return failure;
        }
        produced += expanded;
    }
    *image = std::move(out);
    return ReadFailure::kNone;
}

ReadFailure prepareFile(std::span<const std::byte> file, MemoryBudget* budget,
                        PreparedFile* prepared) {
    FileHeader header;
    ReadFailure failure = readHeader(file, &header);
    if (failure != ReadFailure::kNone) {
        return failure;
    }
    PreparedFile result;
    if (header.encoding == Encoding::kCompressedText ||
        header.encoding == Encoding::kCompressedBinary) {
        failure = expandCompressed(file, budget, &result.expanded);
        if (failure != ReadFailure::kNone) {
            return failure;
        }
        result.expandedCharge = result.expanded.size();
        failure = readHeader(result.expanded, &header);
        if (failure != ReadFailure::kNone) {
            budget->give(result.expandedCharge);
            return failure;
        }
        result.body = std::span<const std::byte>(result.expanded).subspan(kHeaderSize);
    } else {
        result.body = file.subspan(kHeaderSize);
    }
    result.binary = header.encoding == Encoding::kBinary;
    result.floatBytes = header.floatBytes;
    *prepared = std::move(result);
    return ReadFailure::kNone;
}

} // namespace halv::xfile::detail
