// Radiance pictures: RGBE or XYZE pixels, flat, old run-length or adaptive run-length
// scanlines, any of the eight orientations. The result is A32B32G32R32F radiance (RGB; XYZ
// converted with the standard Radiance primaries), divided by the product of the EXPOSURE
// lines, with alpha 1.
#include "base/checked_math.h"
#include "texture/detail/image_readers.h"
#include "texture/detail/pixel_block.h"
#include "texture/detail/text_cursor.h"

#include <cmath>
#include <cstring>
#include <string_view>

namespace halv::texture::detail {
namespace {

constexpr std::string_view kMagic = "#?RADIANCE";
constexpr std::string_view kFormatKey = "FORMAT=";
constexpr std::string_view kExposureKey = "EXPOSURE=";
constexpr std::size_t kMinAdaptiveLength = 8;
constexpr std::size_t kMaxAdaptiveLength = 0x7FFF;

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && TextCursor::isSpace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

// XYZ to linear RGB for Radiance's standard primaries (red 0.640/0.330, green 0.290/0.600,
// blue 0.150/0.060) and equal-energy white, scaled so that white (1, 1, 1) maps to 1, 1, 1.
struct XyzToRgb {
    double m[3][3];
};

XyzToRgb makeXyzToRgb() {
    const double primaries[3][2] = {{0.640, 0.330}, {0.290, 0.600}, {0.150, 0.060}};
    const double white[2] = {1.0 / 3.0, 1.0 / 3.0};
    // Columns: each primary's XYZ at Y = 1.
    double p[3][3];
    for (int i = 0; i < 3; ++i) {
        const double x = primaries[i][0];
        const double y = primaries[i][1];
        p[0][i] = x / y;
        p[1][i] = 1.0;
        p[2][i] = (1.0 - x - y) / y;
    }
    auto inverse = [](const double a[3][3], double out[3][3]) {
        const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                           a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                           a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) {
                const int r1 = (c + 1) % 3;
                const int r2 = (c + 2) % 3;
                const int c1 = (r + 1) % 3;
                const int c2 = (r + 2) % 3;
                out[r][c] = (a[r1][c1] * a[r2][c2] - a[r1][c2] * a[r2][c1]) / det;
            }
        }
    };
    double pInverse[3][3];
    inverse(p, pInverse);
    const double w[3] = {white[0] / white[1], 1.0, (1.0 - white[0] - white[1]) / white[1]};
    double scale[3];
    for (int r = 0; r < 3; ++r) {
        scale[r] = pInverse[r][0] * w[0] + pInverse[r][1] * w[1] + pInverse[r][2] * w[2];
    }
    double rgbToXyz[3][3];
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            rgbToXyz[r][c] = p[r][c] * scale[c];
        }
    }
    XyzToRgb result{};
    inverse(rgbToXyz, result.m);
    return result;
}

struct Orientation {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t scanlines = 0;
    std::uint32_t length = 0;
    // Scanlines are columns instead of rows.
    bool columns = false;
    // Scanlines run against the output's order (bottom-up rows, right-to-left columns).
    bool reverseScanlines = false;
    // Pixels run against the output's order within a scanline.
    bool reversePixels = false;
};

// "-Y N +X M" and the seven other sign and axis combinations.
bool parseResolution(std::string_view text, Orientation* orientation) {
    const std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(text.data()),
                                           text.size());
    TextCursor cursor(bytes, 0);
    char signs[2] = {};
    char axes[2] = {};
    std::uint32_t counts[2] = {};
    for (int i = 0; i < 2; ++i) {
        cursor.skipSpace(false);
        const std::string_view axis = cursor.token();
        if (axis.size() != 2 || (axis[0] != '+' && axis[0] != '-') ||
            (axis[1] != 'X' && axis[1] != 'Y')) {
            return false;
        }
        signs[i] = axis[0];
        axes[i] = axis[1];
        cursor.skipSpace(false);
        if (!cursor.readUnsigned(&counts[i]) || counts[i] == 0) {
            return false;
        }
    }
    cursor.skipSpace(false);
    if (!cursor.atEnd() || axes[0] == axes[1]) {
        return false;
    }
    orientation->scanlines = counts[0];
    orientation->length = counts[1];
    orientation->columns = axes[0] == 'X';
    // Y grows upwards, so "-Y" runs from the top row down; X grows to the right.
    auto againstOutput = [](char sign, char axis) {
        return axis == 'Y' ? sign == '+' : sign == '-';
    };
    orientation->reverseScanlines = againstOutput(signs[0], axes[0]);
    orientation->reversePixels = againstOutput(signs[1], axes[1]);
    orientation->width = orientation->columns ? counts[0] : counts[1];
    orientation->height = orientation->columns ? counts[1] : counts[0];
    return true;
}

// Reads one scanline of `length` RGBE quadruples into `line`, advancing `offset`.
ReadFailure readScanline(std::span<const std::byte> data, std::size_t& offset, BYTE* line,
                         std::size_t length) {
    const std::size_t size = data.size();
    auto byteAt = [&](std::size_t i) { return std::to_integer<unsigned>(data[i]); };
    if (length >= kMinAdaptiveLength && length <= kMaxAdaptiveLength && 4 <= size - offset &&
        byteAt(offset) == 2 && byteAt(offset + 1) == 2 && (byteAt(offset + 2) & 0x80) == 0) {
        // Adaptive run-length: each of the four components in turn, as runs and literals.
        if (((byteAt(offset + 2) << 8) | byteAt(offset + 3)) != length) {
            return ReadFailure::kBadRunLength;
        }
        offset += 4;
        for (std::size_t component = 0; component < 4; ++component) {
            std::size_t x = 0;
            while (x < length) {
                if (offset >= size) {
                    return ReadFailure::kTruncated;
                }
                const unsigned code = byteAt(offset++);
                const bool run = code > 128;
                const std::size_t count = run ? code - 128 : code;
                if (count == 0 || count > length - x) {
                    return ReadFailure::kBadRunLength;
                }
                const std::size_t need = run ? 1 : count;
                if (need > size - offset) {
                    return ReadFailure::kTruncated;
                }
                for (std::size_t i = 0; i < count; ++i, ++x) {
                    line[x * 4 + component] = static_cast<BYTE>(byteAt(offset + (run ? 0 : i)));
                }
                offset += need;
            }
        }
        return ReadFailure::kNone;
    }

    // Flat pixels, where 1, 1, 1, n repeats the previous pixel n << shift times and each
    // consecutive repeat adds 8 to the shift.
    std::size_t x = 0;
    unsigned shift = 0;
    while (x < length) {
        if (4 > size - offset) {
            return ReadFailure::kTruncated;
        }
        if (byteAt(offset) == 1 && byteAt(offset + 1) == 1 && byteAt(offset + 2) == 1) {
            if (x == 0 || shift >= 32) {
                return ReadFailure::kBadRunLength;
            }
            const std::uint64_t count = std::uint64_t{byteAt(offset + 3)} << shift;
            if (count > length - x) {
                return ReadFailure::kBadRunLength;
            }
            for (std::uint64_t i = 0; i < count; ++i, ++x) {
                std::memcpy(line + x * 4, line + (x - 1) * 4, 4);
            }
            shift += 8;
        } else {
            std::memcpy(line + x * 4, data.data() + offset, 4);
            ++x;
            shift = 0;
        }
        offset += 4;
    }
    return ReadFailure::kNone;
}

} // namespace

ReadFailure readHdr(DecodedImage& image, std::span<const std::byte> data) {
    if (data.size() <= 10 ||
        std::string_view(reinterpret_cast<const char*>(data.data()), kMagic.size()) != kMagic) {
        return ReadFailure::kNotThisFormat;
    }
    TextCursor cursor(data, 0);
    std::string_view line;
    if (!cursor.line(&line)) {
        return ReadFailure::kTruncated;
    }
    bool xyz = false;
    double exposure = 1.0;
    // Header lines up to the first empty one.
    for (;;) {
        if (!cursor.line(&line)) {
            return ReadFailure::kTruncated;
        }
        if (trimmed(line).empty()) {
            break;
        }
        if (line.starts_with(kFormatKey)) {
            const std::string_view format = trimmed(line.substr(kFormatKey.size()));
            if (format == "32-bit_rle_xyze") {
                xyz = true;
            } else if (format == "32-bit_rle_rgbe") {
                xyz = false;
            } else {
                return ReadFailure::kUnsupported;
            }
        } else if (line.starts_with(kExposureKey)) {
            float value = 0.0f;
            if (!parseFloat(trimmed(line.substr(kExposureKey.size())), &value) || value <= 0.0f) {
                return ReadFailure::kBadHeader;
            }
            exposure *= value;
        }
    }
    if (!cursor.line(&line)) {
        return ReadFailure::kTruncated;
    }
    Orientation orientation;
    if (!parseResolution(line, &orientation)) {
        return ReadFailure::kBadHeader;
    }
    if (const ReadFailure sized =
            setSurface(image, D3DFMT_A32B32G32R32F, orientation.width, orientation.height, 16);
        sized != ReadFailure::kNone) {
        return sized;
    }
    // Every scanline takes at least one 4-byte record, and an adaptive scanline holds at most
    // 32767 pixels. Only chains of old-style repeats say more with less (20 bytes can claim four
    // billion pixels); no writer needs them for that, so a header beyond these bounds is out
    // of all proportion to its data and is refused before anything is allocated.
    const std::size_t records = (data.size() - cursor.offset()) / 4;
    if (orientation.scanlines > records ||
        std::size_t{orientation.width} * orientation.height > records * kMaxAdaptiveLength) {
        return ReadFailure::kTruncated;
    }
    if (!image.loadPixels) {
        return ReadFailure::kNone;
    }
    BYTE* pixels = allocatePixels(image, image.slicePitch, false);
    const auto scanline = base::allocArray<BYTE>(std::size_t{orientation.length} * 4);
    if (pixels == nullptr || scanline == nullptr) {
        return ReadFailure::kOutOfMemory;
    }

    const XyzToRgb toRgb = makeXyzToRgb();
    std::size_t offset = cursor.offset();
    for (std::uint32_t s = 0; s < orientation.scanlines; ++s) {
        if (const ReadFailure read = readScanline(data, offset, scanline.get(), orientation.length);
            read != ReadFailure::kNone) {
            return read;
        }
        const std::uint32_t major =
            orientation.reverseScanlines ? orientation.scanlines - 1 - s : s;
        for (std::uint32_t p = 0; p < orientation.length; ++p) {
            const std::uint32_t minor = orientation.reversePixels ? orientation.length - 1 - p : p;
            const std::uint32_t x = orientation.columns ? major : minor;
            const std::uint32_t y = orientation.columns ? minor : major;
            const BYTE* rgbe = scanline.get() + std::size_t{p} * 4;
            double value[3] = {0.0, 0.0, 0.0};
            if (rgbe[3] != 0) {
                // Mantissas are the lower edges of their steps; +0.5 takes the middle.
                const double unit = std::ldexp(1.0, static_cast<int>(rgbe[3]) - (128 + 8));
                for (int c = 0; c < 3; ++c) {
                    value[c] = (rgbe[c] + 0.5) * unit / exposure;
                }
            }
            float rgba[4] = {0.0f, 0.0f, 0.0f, 1.0f};
            for (int c = 0; c < 3; ++c) {
                const double channel = xyz ? toRgb.m[c][0] * value[0] + toRgb.m[c][1] * value[1] +
                                                 toRgb.m[c][2] * value[2]
                                           : value[c];
                rgba[c] = static_cast<float>(channel);
            }
            std::memcpy(pixels + std::size_t{y} * image.rowPitch + std::size_t{x} * 16, rgba,
                        sizeof rgba);
        }
    }
    return ReadFailure::kNone;
}

} // namespace halv::texture::detail
