// TEXTMETRICW from a face's design values, the way GDI reports a TrueType font: the cell is
// the face's Windows ascent plus descent, scaled so that a positive height is the cell height
// and a negative one the em height.
#pragma once

#include "base/win_types.h"
#include "font/font.h"

namespace halv::font::detail {

// What the metrics are made from, in font units unless noted.
struct FaceTables {
    int unitsPerEm = 0;
    // The Windows ascent and descent (both positive): the cell GDI sizes a font by.
    int winAscent = 0;
    int winDescent = 0;
    // The horizontal header's line metrics (descender negative), for the external leading.
    int lineAscender = 0;
    int lineDescender = 0;
    int lineGap = 0;
    // 0 when the face does not say.
    int averageWidth = 0;
    int maxAdvance = 0;
    // 1..1000, 0 when the face does not say.
    int weightClass = 0;
    bool italic = false;
    bool fixedPitch = false;
    // An sfnt outline face (TrueType or OpenType).
    bool trueType = false;
    // Only a symbol character map.
    bool symbol = false;
    // FF_* from the face's classification.
    BYTE family = FF_DONTCARE;
    // From the character map, in the Basic Multilingual Plane.
    WCHAR firstChar = 0;
    WCHAR lastChar = 0;
    // 0: glyph 0 stands in for missing characters.
    WCHAR defaultChar = 0;
    WCHAR breakChar = 0x20;
};

// The description's say in the metrics.
struct MetricsRequest {
    INT height = 0;
    UINT width = 0;
    UINT weight = 0;
    bool italic = false;
    BYTE charSet = DEFAULT_CHARSET;
    bool syntheticBold = false;
};

// Pixels per em the outlines are scaled to.
struct FaceScale {
    double emPixelsX = 0;
    double emPixelsY = 0;
};

// The em of a font with height 0: 12 points at 96 dots per inch.
inline constexpr double kDefaultEmPixels = 16.0;
// Larger ems are refused, as FreeType refuses them.
inline constexpr double kMaxEmPixels = 0xFFFF;

// Scales the face for the request and fills the metrics. E_OUTOFMEMORY (a GDI font that
// cannot be made) for a face without units per em or a size beyond kMaxEmPixels; nothing is
// written then.
[[nodiscard]] HRESULT computeTextMetrics(const FaceTables& tables, const MetricsRequest& request,
                                         FaceScale* scale, TEXTMETRICW* metrics) noexcept;

} // namespace halv::font::detail
