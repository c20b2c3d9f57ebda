#include "tests/texture/image_writers.h"

#include <png.h>

// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <cstdlib>
#include <cstring>

namespace halv::texture::testing {

Bytes bytesOf(std::string_view text) {
    Bytes out;
    append(out, text);
    return out;
}

void append(Bytes& out, std::string_view text) {
    for (const char c : text) {
        out.push_back(static_cast<std::byte>(c));
    }
}

void append(Bytes& out, const Bytes& more) {
    out.insert(out.end(), more.begin(), more.end());
}

void appendByte(Bytes& out, unsigned value) {
    out.push_back(static_cast<std::byte>(value & 0xFF));
}

void appendLE16(Bytes& out, std::uint32_t value) {
    appendByte(out, value);
    appendByte(out, value >> 8);
}

void appendLE32(Bytes& out, std::uint32_t value) {
    appendLE16(out, value);
    appendLE16(out, value >> 16);
}

void appendBE32(Bytes& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        appendByte(out, value >> shift);
    }
}

void appendFloat(Bytes& out, float value, bool littleEndian) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    littleEndian ? appendLE32(out, bits) : appendBE32(out, bits);
}

std::uint8_t patternSample(std::uint32_t x, std::uint32_t y, std::uint32_t c) {
    const std::uint32_t gradient = (x * (c + 1) + y * (3 - c)) / 4;
    const std::uint32_t detail = ((x * 7 + y * 13 + c * 29) ^ (x * y)) % 23;
    return static_cast<std::uint8_t>((gradient + detail) & 0xFF);
}

// ---- PNG

namespace {

int channelsOf(int colourType) {
    switch (colourType) {
    case kPngGreyAlpha:
        return 2;
    case kPngRgb:
        return 3;
    case kPngRgba:
        return 4;
    default:
        return 1;
    }
}

void appendToBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    const auto* first = reinterpret_cast<const std::byte*>(data);
    out->insert(out->end(), first, first + length);
}

void flushNothing(png_structp) {}

// Writer failures are mistakes in the calling test; stop loudly.
[[noreturn]] void failPng(png_structp, png_const_charp message) {
    std::fprintf(stderr, "writePng: %s\n", message);
    std::abort();
}

} // namespace

std::size_t pngRowBytes(const PngOptions& options) {
    return (std::size_t{options.width} * channelsOf(options.colourType) * options.bitDepth + 7) / 8;
}

Bytes writePng(const PngOptions& options) {
    const std::size_t rowBytes = pngRowBytes(options);
    std::vector<std::uint8_t> samples = options.samples;
    if (samples.empty()) {
        samples.resize(rowBytes * options.height);
        const unsigned limit = options.colourType == kPngPalette && !options.palette.empty()
                                   ? static_cast<unsigned>(options.palette.size())
                                   : 256;
        for (std::uint32_t y = 0; y < options.height; ++y) {
            for (std::size_t i = 0; i < rowBytes; ++i) {
                std::uint8_t value = patternSample(static_cast<std::uint32_t>(i), y, 0);
                if (options.colourType == kPngPalette && options.bitDepth == 8) {
                    value = static_cast<std::uint8_t>(value % limit);
                }
                samples[y * rowBytes + i] = value;
            }
        }
    }
    if (samples.size() != rowBytes * options.height) {
        std::fprintf(stderr, "writePng: samples do not match the size\n");
        std::abort();
    }

    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, failPng, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, appendToBytes, flushNothing);
    png_set_compression_level(png, options.compressionLevel);
    png_set_IHDR(png, info, options.width, options.height, options.bitDepth, options.colourType,
                 options.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (options.gamma) {
        png_set_gAMA(png, info, *options.gamma);
    }
    if (options.srgbIntent) {
        png_set_sRGB(png, info, *options.srgbIntent);
    }
    std::vector<png_color> palette;
    for (const auto& entry : options.palette) {
        palette.push_back({entry[0], entry[1], entry[2]});
    }
    if (!palette.empty()) {
        png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    }
    if (!options.paletteAlpha.empty()) {
        png_set_tRNS(png, info, options.paletteAlpha.data(),
                     static_cast<int>(options.paletteAlpha.size()), nullptr);
    } else if (options.transparentColour) {
        png_color_16 colour{};
        colour.gray = (*options.transparentColour)[0];
        colour.red = (*options.transparentColour)[0];
        colour.green = (*options.transparentColour)[1];
        colour.blue = (*options.transparentColour)[2];
        png_set_tRNS(png, info, nullptr, 0, &colour);
    }
    std::vector<png_bytep> rows(options.height);
    for (std::uint32_t y = 0; y < options.height; ++y) {
        rows[y] = samples.data() + y * rowBytes;
    }
    png_set_rows(png, info, rows.data());
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

// ---- JPEG

namespace {

[[noreturn]] void failJpeg(j_common_ptr common) {
    char message[JMSG_LENGTH_MAX];
    common->err->format_message(common, message);
    std::fprintf(stderr, "writeJpeg: %s\n", message);
    std::abort();
}

// Successive approximation runs Al from 10 (the largest libjpeg writes for 8-bit samples)
// down to 0.
constexpr int kTopBit = 10;

std::vector<jpeg_scan_info> scanScript(JpegScans scans, int components) {
    std::vector<jpeg_scan_info> script;
    auto add = [&](int count, int first, int ss, int se, int ah, int al) {
        jpeg_scan_info scan{};
        scan.comps_in_scan = count;
        for (int i = 0; i < count; ++i) {
            scan.component_index[i] = first + i;
        }
        scan.Ss = ss;
        scan.Se = se;
        scan.Ah = ah;
        scan.Al = al;
        script.push_back(scan);
    };
    if (scans == JpegScans::kScanPerComponent) {
        for (int c = 0; c < components; ++c) {
            add(1, c, 0, 63, 0, 0);
        }
        return script;
    }
    for (int c = 0; c < components; ++c) {
        add(1, c, 0, 0, 0, 0);
    }
    for (int c = 0; c < components; ++c) {
        for (int k = 1; k < 64; ++k) {
            add(1, c, k, k, 0, kTopBit);
            for (int bit = kTopBit; bit > 0; --bit) {
                add(1, c, k, k, bit, bit - 1);
            }
        }
    }
    return script;
}

} // namespace

Bytes writeJpeg(std::uint32_t width, std::uint32_t height, int components, int quality,
                std::vector<std::uint8_t> samples, JpegScans scans) {
    const std::size_t rowBytes = std::size_t{width} * components;
    if (samples.empty()) {
        samples.resize(rowBytes * height);
        for (std::uint32_t y = 0; y < height; ++y) {
            for (std::uint32_t x = 0; x < width; ++x) {
                for (int c = 0; c < components; ++c) {
                    samples[y * rowBytes + x * components + c] =
                        patternSample(x, y, static_cast<std::uint32_t>(c));
                }
            }
        }
    }
    jpeg_compress_struct compress{};
    jpeg_error_mgr errors{};
    compress.err = jpeg_std_error(&errors);
    errors.error_exit = failJpeg;
    jpeg_create_compress(&compress);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&compress, &buffer, &size);
    compress.image_width = width;
    compress.image_height = height;
    compress.input_components = components;
    compress.in_color_space =
        components == 1 ? JCS_GRAYSCALE : (components == 4 ? JCS_CMYK : JCS_RGB);
    jpeg_set_defaults(&compress);
    jpeg_set_quality(&compress, quality, TRUE);
    std::vector<jpeg_scan_info> script;
    if (scans == JpegScans::kProgressive) {
        jpeg_simple_progression(&compress);
    } else if (scans != JpegScans::kBaseline) {
        script = scanScript(scans, components);
        compress.scan_info = script.data();
        compress.num_scans = static_cast<int>(script.size());
    }
    jpeg_start_compress(&compress, TRUE);
    while (compress.next_scanline < compress.image_height) {
        JSAMPROW row = samples.data() + compress.next_scanline * rowBytes;
        jpeg_write_scanlines(&compress, &row, 1);
    }
    jpeg_finish_compress(&compress);
    const auto* first = reinterpret_cast<const std::byte*>(buffer);
    Bytes out(first, first + size);
    jpeg_destroy_compress(&compress);
    std::free(buffer);
    return out;
}

std::vector<JpegSegment> jpegSegments(const Bytes& file) {
    std::vector<JpegSegment> segments;
    auto at = [&](std::size_t i) { return std::to_integer<unsigned>(file[i]); };
    std::size_t i = 2;
    while (i + 3 < file.size() && at(i) == 0xFF) {
        const unsigned marker = at(i + 1);
        segments.push_back({i, marker});
        if (marker == 0xD9) {
            break;
        }
        i += 2 + ((at(i + 2) << 8) | at(i + 3));
        if (marker == 0xDA) {
            // Entropy-coded data runs to the next marker that is neither stuffing nor RSTn.
            while (i + 1 < file.size() &&
                   !(at(i) == 0xFF && at(i + 1) != 0 && (at(i + 1) & 0xF8) != 0xD0)) {
                ++i;
            }
        }
    }
    return segments;
}

Bytes withRepeatedJpegScan(const Bytes& file, std::size_t scanIndex, int copies) {
    const std::vector<JpegSegment> segments = jpegSegments(file);
    std::size_t scan = 0;
    for (std::size_t s = 0; s + 1 < segments.size(); ++s) {
        if (segments[s].marker != 0xDA || scan++ != scanIndex) {
            continue;
        }
        const std::size_t from =
            s > 0 && segments[s - 1].marker == 0xC4 ? segments[s - 1].offset : segments[s].offset;
        const std::size_t to = segments[s + 1].offset;
        const Bytes copy(file.begin() + static_cast<std::ptrdiff_t>(from),
                         file.begin() + static_cast<std::ptrdiff_t>(to));
        Bytes out(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(to));
        for (int i = 0; i < copies; ++i) {
            append(out, copy);
        }
        out.insert(out.end(), file.begin() + static_cast<std::ptrdiff_t>(to), file.end());
        return out;
    }
    return file;
}

// ---- BMP / DIB

Bytes makeDib(const DibOptions& options) {
    Bytes out;
    appendLE32(out, options.headerSize);
    if (options.headerSize == 12) {
        appendLE16(out, static_cast<std::uint32_t>(options.width));
        appendLE16(out, static_cast<std::uint32_t>(options.height));
        appendLE16(out, options.planes);
        appendLE16(out, options.bitCount);
        for (const auto& entry : options.colourTable) {
            appendByte(out, entry[0]);
            appendByte(out, entry[1]);
            appendByte(out, entry[2]);
        }
        append(out, options.pixels);
        return out;
    }
    appendLE32(out, static_cast<std::uint32_t>(options.width));
    appendLE32(out, static_cast<std::uint32_t>(options.height));
    appendLE16(out, options.planes);
    appendLE16(out, options.bitCount);
    appendLE32(out, options.compression);
    appendLE32(out, static_cast<std::uint32_t>(options.pixels.size()));
    appendLE32(out, 2835);
    appendLE32(out, 2835);
    appendLE32(out, options.coloursUsed);
    appendLE32(out, 0);
    for (const std::uint32_t mask : options.masks) {
        appendLE32(out, mask);
    }
    // The rest of a larger header (colour space, end points, gamma, profile) stays zero.
    while (out.size() < options.headerSize) {
        appendByte(out, 0);
    }
    for (const auto& entry : options.colourTable) {
        for (const std::uint8_t byte : entry) {
            appendByte(out, byte);
        }
    }
    append(out, options.pixels);
    return out;
}

Bytes makeBmp(const DibOptions& options) {
    const Bytes dib = makeDib(options);
    const std::size_t pixelOffset = 14 + dib.size() - options.pixels.size();
    Bytes out = bytesOf("BM");
    appendLE32(out, static_cast<std::uint32_t>(14 + dib.size()));
    appendLE32(out, 0);
    appendLE32(out, static_cast<std::uint32_t>(pixelOffset));
    append(out, dib);
    return out;
}

// ---- TGA

Bytes makeTga(const TgaOptions& options) {
    Bytes out;
    appendByte(out, static_cast<unsigned>(options.id.size()));
    appendByte(out, options.mapType);
    appendByte(out, options.imageType);
    appendLE16(out, options.mapFirst);
    appendLE16(out, options.mapLength);
    appendByte(out, options.mapEntryBits);
    appendLE16(out, 0);
    appendLE16(out, 0);
    appendLE16(out, options.width);
    appendLE16(out, options.height);
    appendByte(out, options.pixelBits);
    appendByte(out, options.descriptor);
    append(out, options.id);
    append(out, options.map);
    append(out, options.pixels);
    return out;
}

// ---- DDS

Bytes makeDdsHeader(const DdsOptions& options) {
    Bytes out = bytesOf("DDS ");
    appendLE32(out, 124);
    appendLE32(out, options.flags);
    appendLE32(out, options.height);
    appendLE32(out, options.width);
    appendLE32(out, 0);
    appendLE32(out, options.depth);
    appendLE32(out, options.mipCount);
    for (int i = 0; i < 11; ++i) {
        appendLE32(out, 0);
    }
    appendLE32(out, 32);
    appendLE32(out, options.pixelFlags);
    appendLE32(out, options.fourCc);
    appendLE32(out, options.bitCount);
    for (const std::uint32_t mask : options.masks) {
        appendLE32(out, mask);
    }
    appendLE32(out, options.caps);
    appendLE32(out, options.caps2);
    appendLE32(out, 0);
    appendLE32(out, 0);
    appendLE32(out, 0);
    return out;
}

} // namespace halv::texture::testing
