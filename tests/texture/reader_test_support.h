// Helpers shared by the reader tests: decoding a byte vector, reading back pixels, and the
// truncation sweep.
#pragma once

#include "tests/texture/image_writers.h"
#include "texture/detail/image_readers.h"
#include "texture/image_decoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace halv::texture::testing {

inline HRESULT load(const Bytes& file, DecodedImage& image, D3DXIMAGE_INFO* info = nullptr,
                    bool loadPixels = true) {
    return LoadImageFromMemory(&image, file.data(), static_cast<UINT>(file.size()), info,
                               loadPixels);
}

// Runs one reader directly, the way LoadImageFromMemory sets the record up.
inline detail::ReadFailure runReader(detail::ImageReader reader, const Bytes& file,
                                     DecodedImage& image, bool loadPixels = true) {
    image.release();
    image.loadPixels = loadPixels;
    return reader(image, file);
}

// Row y of the first slice as a vector, rowBytes long.
inline std::vector<std::uint8_t> rowOf(const DecodedImage& image, std::uint32_t y,
                                       std::size_t rowBytes) {
    const BYTE* row = image.pixels + std::size_t{y} * image.rowPitch;
    return std::vector<std::uint8_t>(row, row + rowBytes);
}

// The first slice, rows packed to `rowBytes`.
inline std::vector<std::uint8_t> pixelsOf(const DecodedImage& image, std::size_t rowBytes) {
    std::vector<std::uint8_t> out;
    for (std::uint32_t y = 0; y < image.height; ++y) {
        const std::vector<std::uint8_t> row = rowOf(image, y, rowBytes);
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

// Every prefix of `file` shorter than `acceptFrom`, copied into a heap block of exactly its
// size (so the sanitizers see any read past it), must be turned down by the reader.
inline void expectPrefixesRejected(detail::ImageReader reader, const Bytes& file,
                                   std::size_t acceptFrom) {
    for (std::size_t length = 0; length < acceptFrom && length < file.size(); ++length) {
        const std::unique_ptr<std::byte[]> copy(new std::byte[length == 0 ? 1 : length]);
        std::memcpy(copy.get(), file.data(), length);
        DecodedImage image;
        image.loadPixels = true;
        const detail::ReadFailure failure =
            reader(image, std::span<const std::byte>(copy.get(), length));
        EXPECT_NE(failure, detail::ReadFailure::kNone) << "prefix of " << length << " bytes";
    }
}

inline void expectPrefixesRejected(detail::ImageReader reader, const Bytes& file) {
    expectPrefixesRejected(reader, file, file.size());
}

} // namespace halv::texture::testing
