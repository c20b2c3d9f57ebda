// FreeType faces: opening, sizing and reading the OS/2 and horizontal header tables.
#include "font/detail/font_face.h"

#include "base/result_codes.h"
#include "base/text_conversion.h"

#include FT_TRUETYPE_TABLES_H

#include <cmath>

namespace halv::font::detail {
namespace {

// The family the face's PANOSE classification describes, as GDI derives tmPitchAndFamily.
BYTE familyFromPanose(const FT_Byte* panose, bool fixedPitch) {
    constexpr FT_Byte kLatinText = 2;
    constexpr FT_Byte kLatinHandWritten = 3;
    constexpr FT_Byte kLatinDecorative = 4;
    constexpr FT_Byte kMonospaced = 9;
    switch (panose[0]) {
    case kLatinText:
        if (panose[3] == kMonospaced) {
            return FF_MODERN;
        }
        // Serif styles 11 to 13 are the sans-serif ones (normal, obtuse, perpendicular).
        return panose[1] >= 11 && panose[1] <= 13 ? FF_SWISS : FF_ROMAN;
    case kLatinHandWritten:
        return FF_SCRIPT;
    case kLatinDecorative:
        return FF_DECORATIVE;
    default:
        return fixedPitch ? FF_MODERN : FF_DONTCARE;
    }
}

} // namespace

FontFace::~FontFace() {
    if (mFace != nullptr) {
        FT_Done_Face(mFace);
    }
}

HRESULT FontFace::open(FT_Library library, const MatchedFace& matched) noexcept {
    FT_Face face = nullptr;
    if (FT_New_Face(library, matched.file.c_str(), matched.index, &face) != 0) {
        return E_OUTOFMEMORY;
    }
    const bool usable = FT_IS_SCALABLE(face) && face->units_per_EM != 0 &&
                        (FT_Select_Charmap(face, FT_ENCODING_UNICODE) == 0 ||
                         FT_Select_Charmap(face, FT_ENCODING_MS_SYMBOL) == 0);
    if (!usable) {
        FT_Done_Face(face);
        return E_OUTOFMEMORY;
    }
    if (mFace != nullptr) {
        FT_Done_Face(mFace);
    }
    mFace = face;
    return S_OK;
}

FaceTables FontFace::tables() const noexcept {
    FaceTables tables;
    tables.unitsPerEm = mFace->units_per_EM;
    tables.lineAscender = mFace->ascender;
    tables.lineDescender = mFace->descender;
    tables.lineGap = mFace->height - (mFace->ascender - mFace->descender);
    tables.maxAdvance = mFace->max_advance_width;
    tables.italic = (mFace->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
    tables.fixedPitch = FT_IS_FIXED_WIDTH(mFace);
    tables.trueType = FT_IS_SFNT(mFace);
    tables.symbol = mFace->charmap != nullptr && mFace->charmap->encoding == FT_ENCODING_MS_SYMBOL;
    tables.winAscent = mFace->ascender;
    tables.winDescent = -mFace->descender;
    tables.weightClass = (mFace->style_flags & FT_STYLE_FLAG_BOLD) != 0 ? 700 : 400;

    if (const auto* hhea =
            static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(mFace, FT_SFNT_HHEA));
        hhea != nullptr) {
        tables.lineAscender = hhea->Ascender;
        tables.lineDescender = hhea->Descender;
        tables.lineGap = hhea->Line_Gap;
    }
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(mFace, FT_SFNT_OS2));
    // FreeType marks a missing OS/2 table with version 0xFFFF.
    if (os2 != nullptr && os2->version != 0xFFFF) {
        if (os2->usWinAscent != 0 || os2->usWinDescent != 0) {
            tables.winAscent = os2->usWinAscent;
            tables.winDescent = os2->usWinDescent;
        }
        tables.averageWidth = os2->xAvgCharWidth > 0 ? os2->xAvgCharWidth : 0;
        if (os2->usWeightClass != 0) {
            tables.weightClass = os2->usWeightClass > 1000 ? 1000 : os2->usWeightClass;
        }
        tables.family = familyFromPanose(os2->panose, tables.fixedPitch);
        if (os2->version >= 2) {
            tables.defaultChar = os2->usDefaultChar;
            tables.breakChar = os2->usBreakChar;
        }
    } else {
        tables.family = tables.fixedPitch ? FF_MODERN : FF_DONTCARE;
    }

    FT_UInt glyph = 0;
    FT_ULong code = FT_Get_First_Char(mFace, &glyph);
    bool any = false;
    while (glyph != 0 && code <= 0xFFFF) {
        if (!any) {
            tables.firstChar = static_cast<WCHAR>(code);
            any = true;
        }
        tables.lastChar = static_cast<WCHAR>(code);
        code = FT_Get_Next_Char(mFace, code, &glyph);
    }
    return tables;
}

HRESULT FontFace::setScale(const FaceScale& scale) noexcept {
    // 26.6 fixed point at 72 dots per inch, where a point is a pixel; at least 1/64 pixel,
    // since 0 would mean "same as the other axis".
    const auto toFixed = [](double pixels) {
        const long value = std::lround(pixels * 64.0);
        return static_cast<FT_F26Dot6>(value < 1 ? 1 : value);
    };
    if (FT_Set_Char_Size(mFace, toFixed(scale.emPixelsX), toFixed(scale.emPixelsY), 72, 72) != 0) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

UINT FontFace::glyphIndex(char32_t character) const noexcept {
    return FT_Get_Char_Index(mFace, character);
}

void FontFace::ansiRange(BYTE* first, BYTE* last) const noexcept {
    *first = 0;
    *last = 0;
    for (int byte = 1; byte <= 255; ++byte) {
        const char narrow = static_cast<char>(byte);
        WCHAR wide = 0;
        if (MultiByteToWideChar(CP_ACP, 0, &narrow, 1, &wide, 1) != 1 ||
            FT_Get_Char_Index(mFace, wide) == 0) {
            continue;
        }
        if (*first == 0) {
            *first = static_cast<BYTE>(byte);
        }
        *last = static_cast<BYTE>(byte);
    }
}

} // namespace halv::font::detail
