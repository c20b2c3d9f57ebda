// halvtool font: the face a font description resolves to on this machine, its text metrics
// and glyph-cache geometry, on a null device (the program's own call by default).
#include "base/text_conversion.h"
#include "font/font.h"
#include "font/font_inspection.h"
#include "gfx/device_factory.h"
#include "tools/halvtool/command.h"

#include <charconv>
#include <cstdio>
#include <string>

namespace halv::tools {
namespace {

using base::ComRef;

bool parseNumber(std::string_view text, long long* value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return error == std::errc() && end == text.data() + text.size();
}

int run(std::span<const std::string_view> arguments) {
    std::string face = "Arial";
    long long height = 15;
    long long weight = 700;
    long long mipLevels = 1;
    bool italic = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        bool ok = true;
        if (argument == "--italic") {
            italic = true;
        } else if (argument == "--face" && hasValue) {
            face = std::string(arguments[++i]);
        } else if (argument == "--height" && hasValue) {
            ok = parseNumber(arguments[++i], &height) && height >= INT32_MIN && height <= INT32_MAX;
        } else if (argument == "--weight" && hasValue) {
            ok = parseNumber(arguments[++i], &weight) && weight >= 0 && weight <= 1000;
        } else if (argument == "--mip-levels" && hasValue) {
            ok = parseNumber(arguments[++i], &mipLevels) && mipLevels >= 0 && mipLevels <= 32;
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "halvtool font: bad argument '%.*s'\n",
                         static_cast<int>(argument.size()), argument.data());
            return 2;
        }
    }

    ComRef<IDirect3DDevice9> device;
    if (FAILED(gfx::createNullDevice({}, device.put()))) {
        std::fprintf(stderr, "halvtool font: no null device\n");
        return 1;
    }
    const std::u16string wideFace = base::utf8ToUtf16(face);
    ComRef<ID3DXFont> font;
    const HRESULT hr = D3DXCreateFontW(
        device.get(), static_cast<INT>(height), 0, static_cast<UINT>(weight),
        static_cast<UINT>(mipLevels), italic ? TRUE : FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
        DEFAULT_QUALITY, DEFAULT_PITCH, wideFace.c_str(), font.put());
    if (FAILED(hr)) {
        std::fprintf(stderr, "halvtool font: D3DXCreateFontW failed with 0x%08X\n",
                     static_cast<unsigned>(hr));
        return 1;
    }
    TEXTMETRICW tm{};
    font->GetTextMetricsW(&tm);
    font::FontDetails d;
    font::getFontDetails(font.get(), &d);

    std::printf("Request:        \"%s\", height %lld, weight %lld, %s, MipLevels %lld\n",
                face.c_str(), height, weight, italic ? "italic" : "upright", mipLevels);
    std::printf("Face:           %s %s (%s, index %d)%s%s\n", d.familyName.c_str(),
                d.styleName.c_str(), d.faceFile.c_str(), d.faceIndex,
                d.syntheticBold ? ", emboldened" : "", d.syntheticItalic ? ", slanted" : "");
    std::printf("Quality:        %u (%s)\n", d.quality, d.antialiased ? "antialiased" : "mono");
    std::printf("tmHeight        %d\n", tm.tmHeight);
    std::printf("tmAscent        %d\n", tm.tmAscent);
    std::printf("tmDescent       %d\n", tm.tmDescent);
    std::printf("tmInternalLead  %d\n", tm.tmInternalLeading);
    std::printf("tmExternalLead  %d\n", tm.tmExternalLeading);
    std::printf("tmAveCharWidth  %d\n", tm.tmAveCharWidth);
    std::printf("tmMaxCharWidth  %d\n", tm.tmMaxCharWidth);
    std::printf("tmWeight        %d\n", tm.tmWeight);
    std::printf("tmFirst/Last    U+%04X / U+%04X\n", tm.tmFirstChar, tm.tmLastChar);
    std::printf("tmDefault/Break U+%04X / U+%04X (glyphs %u / %u)\n", tm.tmDefaultChar,
                tm.tmBreakChar, d.defaultGlyph, d.breakGlyph);
    std::printf("tmItalic        %u\n", tm.tmItalic);
    std::printf("tmPitchFamily   0x%02X\n", tm.tmPitchAndFamily);
    std::printf("tmCharSet       %u\n", tm.tmCharSet);
    std::printf("Glyph bitmap:   %u x %u\n", d.glyphBitmapWidth, d.glyphBitmapHeight);
    std::printf("Small cell:     %u (%u levels), texture %u\n", d.geometry.smallCellEdge,
                d.geometry.smallCellLevels, d.geometry.smallTextureEdge);
    std::printf("Large cell:     %u (%u levels), texture %u\n", d.geometry.largeCellEdge,
                d.geometry.largeCellLevels, d.geometry.largeTextureEdge);
    std::printf("Scratch block:  %zu bytes\n", d.scratchBytes);
    return 0;
}

const CommandRegistration kRegistration({"font",
                                         "[--face NAME] [--height N] [--weight N] [--italic] "
                                         "[--mip-levels N]: the face, metrics and glyph-cache "
                                         "geometry of a font (default: the program's Arial 15 "
                                         "bold)",
                                         run});

} // namespace
} // namespace halv::tools
