// Writers for the image files the texture tests, benchmarks and fuzz seeds feed the readers:
// PNG and JPEG through libpng and libjpeg, the rest assembled byte by byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace halv::texture::testing {

using Bytes = std::vector<std::byte>;

Bytes bytesOf(std::string_view text);
void append(Bytes& out, std::string_view text);
void append(Bytes& out, const Bytes& more);
void appendByte(Bytes& out, unsigned value);
void appendLE16(Bytes& out, std::uint32_t value);
void appendLE32(Bytes& out, std::uint32_t value);
void appendBE32(Bytes& out, std::uint32_t value);
void appendFloat(Bytes& out, float value, bool littleEndian);

// A deterministic, texture-like sample (smooth gradients with some detail) for pixel (x, y)
// and channel c.
std::uint8_t patternSample(std::uint32_t x, std::uint32_t y, std::uint32_t c);

// PNG colour types, as in the file header.
enum PngColourType : int {
    kPngGrey = 0,
    kPngRgb = 2,
    kPngPalette = 3,
    kPngGreyAlpha = 4,
    kPngRgba = 6,
};

struct PngOptions {
    std::uint32_t width = 4;
    std::uint32_t height = 4;
    int bitDepth = 8;
    int colourType = kPngRgb;
    // Rows in file order (samples big-endian for 16 bits, sub-byte samples packed from the
    // high bit); empty: filled from patternSample (indices below the palette size).
    std::vector<std::uint8_t> samples;
    std::optional<double> gamma;
    std::optional<int> srgbIntent;
    std::vector<std::array<std::uint8_t, 3>> palette;
    std::vector<std::uint8_t> paletteAlpha;
    // tRNS for grey (first value) and RGB images, in sample units.
    std::optional<std::array<std::uint16_t, 3>> transparentColour;
    int compressionLevel = 6;
    bool interlaced = false;
};

// Bytes per row of the file's samples.
std::size_t pngRowBytes(const PngOptions& options);
Bytes writePng(const PngOptions& options);

// How a JPEG's scans are laid out.
enum class JpegScans {
    // One interleaved sequential scan.
    kBaseline,
    // libjpeg's standard progressive script (10 scans for colour, 6 for grey).
    kProgressive,
    // Sequential, one scan per component.
    kScanPerComponent,
    // Progressive: each component's DC in one scan, then every bit of every AC coefficient in
    // a scan of its own, from bit 10 (the most libjpeg writes) down: 694 scans a component.
    kEveryAcBitAlone,
};

// A JPEG of 1 (grey), 3 (RGB) or 4 (CMYK) components; samples as rows of interleaved bytes,
// empty for patternSample.
Bytes writeJpeg(std::uint32_t width, std::uint32_t height, int components, int quality,
                std::vector<std::uint8_t> samples = {}, JpegScans scans = JpegScans::kBaseline);

// Where each marker segment of a JPEG starts, with its marker code; entropy-coded data belongs
// to the SOS segment before it.
struct JpegSegment {
    std::size_t offset;
    unsigned marker;
};
std::vector<JpegSegment> jpegSegments(const Bytes& file);

// The file with scan `scanIndex` (and the tables just before it) written `copies` more times
// right after itself.
Bytes withRepeatedJpegScan(const Bytes& file, std::size_t scanIndex, int copies);

struct DibOptions {
    std::uint32_t headerSize = 40;
    std::int32_t width = 2;
    std::int32_t height = 2;
    std::uint16_t planes = 1;
    std::uint16_t bitCount = 24;
    std::uint32_t compression = 0;
    std::uint32_t coloursUsed = 0;
    // Written after a 40-byte header or inside larger ones (red, green, blue[, alpha]).
    std::vector<std::uint32_t> masks;
    // Blue, green, red, reserved (core headers write the first three).
    std::vector<std::array<std::uint8_t, 4>> colourTable;
    // The stored rows (padded to 4 bytes) or the run-length stream.
    Bytes pixels;
};

Bytes makeDib(const DibOptions& options);
// The DIB behind a 14-byte file header whose size and pixel offset fields are right.
Bytes makeBmp(const DibOptions& options);

struct TgaOptions {
    std::uint8_t imageType = 2;
    std::uint8_t mapType = 0;
    std::uint16_t mapFirst = 0;
    std::uint16_t mapLength = 0;
    std::uint8_t mapEntryBits = 0;
    std::uint16_t width = 2;
    std::uint16_t height = 2;
    std::uint8_t pixelBits = 24;
    std::uint8_t descriptor = 0;
    std::string_view id;
    Bytes map;
    Bytes pixels;
};

Bytes makeTga(const TgaOptions& options);

struct DdsOptions {
    std::uint32_t flags = 0x1007;
    std::uint32_t width = 4;
    std::uint32_t height = 4;
    std::uint32_t depth = 0;
    std::uint32_t mipCount = 0;
    std::uint32_t pixelFlags = 0x40;
    std::uint32_t fourCc = 0;
    std::uint32_t bitCount = 32;
    std::array<std::uint32_t, 4> masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0};
    std::uint32_t caps = 0x1000;
    std::uint32_t caps2 = 0;
};

// The 128-byte magic and header; callers append palette and surfaces.
Bytes makeDdsHeader(const DdsOptions& options);

} // namespace halv::texture::testing
