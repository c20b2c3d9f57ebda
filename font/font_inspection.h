// What tests and tools can see inside a font of this layer: the face it was matched to, the
// quality it was made with, its glyph bitmap and glyph-cache geometry.
#pragma once

#include "font/cache_geometry.h"
#include "font/font.h"

#include <cstddef>
#include <string>

namespace halv::font {

// The quality a font is made with: one whose low three bits are 0 (DEFAULT_QUALITY and the
// like) gets ANTIALIASED_QUALITY added, so fonts are antialiased unless asked otherwise.
BYTE creationQuality(BYTE quality) noexcept;

struct FontDetails {
    // The matched font file and the face's index in it.
    std::string faceFile;
    int faceIndex = 0;
    // The face's own family and style names ("Liberation Sans", "Bold").
    std::string familyName;
    std::string styleName;
    BYTE quality = 0;
    // Glyphs are rasterised with grey levels (not NONANTIALIASED_QUALITY).
    bool antialiased = true;
    // Outlines emboldened or slanted because the face itself is not bold or italic.
    bool syntheticBold = false;
    bool syntheticItalic = false;
    // The face has kerning pairs (what GDI's language information reports as GCP_USEKERNING).
    bool kerning = false;
    UINT glyphBitmapWidth = 0;
    UINT glyphBitmapHeight = 0;
    // Glyph indices of tmDefaultChar and tmBreakChar.
    UINT defaultGlyph = 0;
    UINT breakGlyph = 0;
    CacheGeometry geometry;
    // The mip scratch block: (large cell edge)^2 x 8 bytes when the large cell has levels.
    std::size_t scratchBytes = 0;
};

// Fills *details for a font made by this layer; D3DERR_INVALIDCALL for a null or foreign
// font or a null pointer.
HRESULT getFontDetails(ID3DXFont* font, FontDetails* details);

} // namespace halv::font
