// A FreeType face standing in for a GDI font object: opened from the matched file, sized to
// the description, and read for the design values the text metrics are made from.
#pragma once

#include "base/win_types.h"
#include "font/detail/face_match.h"
#include "font/detail/text_metrics.h"

#include <ft2build.h>
#include FT_FREETYPE_H

namespace halv::font::detail {

class FontFace {
public:
    FontFace() = default;
    ~FontFace();
    FontFace(const FontFace&) = delete;
    FontFace& operator=(const FontFace&) = delete;

    // Opens the matched face with a Unicode (or, failing that, symbol) character map.
    // E_OUTOFMEMORY when the file cannot be read as a scalable face.
    [[nodiscard]] HRESULT open(FT_Library library, const MatchedFace& matched) noexcept;

    // The design values and character range of the open face.
    FaceTables tables() const noexcept;

    // Scales the outlines. E_OUTOFMEMORY when FreeType refuses the size.
    [[nodiscard]] HRESULT setScale(const FaceScale& scale) noexcept;

    // The glyph for a character; 0 (the missing-glyph glyph) when the face has none.
    UINT glyphIndex(char32_t character) const noexcept;

    // The smallest and largest ANSI code page bytes (1..255) whose characters the face maps;
    // both 0 when it maps none.
    void ansiRange(BYTE* first, BYTE* last) const noexcept;

    FT_Face face() const noexcept { return mFace; }

private:
    FT_Face mFace = nullptr;
};

} // namespace halv::font::detail
