// libFuzzer target over one image reader, or over LoadImageFromMemory as a whole when
// HALV_FUZZ_WHOLE_LOAD is defined; HALV_FUZZ_READER names the reader otherwise.
#include "base/bytes.h"
#include "texture/detail/image_readers.h"
#include "texture/image_decoder.h"

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace {

using halv::texture::DecodedImage;

bool isBlockFormat(D3DFORMAT format) {
    return format == D3DFMT_DXT1 || format == D3DFMT_DXT2 || format == D3DFMT_DXT3 ||
           format == D3DFMT_DXT4 || format == D3DFMT_DXT5;
}

// Process-wide: keeps the reads below from being optimised away.
volatile unsigned gSink = 0;

// Reads every byte the records claim to hold, so a pitch larger than its block shows up.
void touchEveryRecord(const DecodedImage& image) {
    unsigned sum = 0;
    for (const DecodedImage* face = &image; face != nullptr; face = face->nextFace.get()) {
        for (const DecodedImage* level = face; level != nullptr; level = level->nextMip.get()) {
            if (level->pixels == nullptr) {
                continue;
            }
            const std::size_t rows =
                isBlockFormat(level->format) ? (level->height + 3) / 4 : level->height;
            const std::size_t slice = std::size_t{level->rowPitch} * rows;
            for (std::size_t z = 0; z < level->depth; ++z) {
                const BYTE* first = level->pixels + z * level->slicePitch;
                for (std::size_t i = 0; i < slice; ++i) {
                    sum += first[i];
                }
            }
            if (level->palette != nullptr) {
                for (int i = 0; i < 256; ++i) {
                    sum += level->palette[i].peFlags;
                }
            }
        }
    }
    gSink = gSink + sum;
}

constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// libpng refuses a chunk whose CRC does not match, so almost every mutation inside a PNG
// would stop at the first chunk it touched. The checksums are made right again for each
// whole chunk, and mutations reach the decoder; bad checksums themselves are covered by the
// tests.
std::vector<std::uint8_t> withPngChecksums(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> copy(data, data + size);
    std::size_t at = sizeof(kPngSignature);
    while (size - at >= 12) {
        const std::uint32_t length = halv::base::readBE32(std::as_bytes(std::span(copy)), at);
        if (length > size - at - 12) {
            break;
        }
        const std::uint8_t* typeAndData = &copy[at + 4];
        const auto crc = static_cast<std::uint32_t>(
            crc32(crc32(0, nullptr, 0), typeAndData, static_cast<uInt>(length + 4)));
        std::uint8_t* field = &copy[at + 8 + length];
        field[0] = static_cast<std::uint8_t>(crc >> 24);
        field[1] = static_cast<std::uint8_t>(crc >> 16);
        field[2] = static_cast<std::uint8_t>(crc >> 8);
        field[3] = static_cast<std::uint8_t>(crc);
        at += 12 + std::size_t{length};
    }
    return copy;
}

} // namespace

// Every input is read twice, header only and with pixels, with no limit on the size it
// claims: the readers must bound their work and memory by the input themselves, and the
// per-input time and memory limits of `make fuzz` catch any that does not.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> png;
    if (size >= sizeof(kPngSignature) &&
        std::memcmp(data, kPngSignature, sizeof(kPngSignature)) == 0) {
        png = withPngChecksums(data, size);
        data = png.data();
    }
#if defined(HALV_FUZZ_WHOLE_LOAD)
    if (size == 0 || size > 0xFFFFFFFFu) {
        return 0;
    }
    const auto length = static_cast<UINT>(size);
    D3DXIMAGE_INFO info{};
    DecodedImage header;
    if (FAILED(halv::texture::LoadImageFromMemory(&header, data, length, &info, false))) {
        return 0;
    }
    DecodedImage image;
    if (SUCCEEDED(halv::texture::LoadImageFromMemory(&image, data, length, &info, true))) {
        touchEveryRecord(image);
    }
#else
    const std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(data), size);
    DecodedImage header;
    header.loadPixels = false;
    if (halv::texture::detail::HALV_FUZZ_READER(header, bytes) !=
        halv::texture::detail::ReadFailure::kNone) {
        return 0;
    }
    DecodedImage image;
    image.loadPixels = true;
    if (halv::texture::detail::HALV_FUZZ_READER(image, bytes) ==
        halv::texture::detail::ReadFailure::kNone) {
        touchEveryRecord(image);
    }
#endif
    return 0;
}
