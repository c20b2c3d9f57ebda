// GDI's TrueType metrics from design values.
#include "font/detail/text_metrics.h"

#include "base/result_codes.h"

#include <algorithm>
#include <cmath>

namespace halv::font::detail {
namespace {

LONG scaled(double units, double pixelsPerUnit) {
    return static_cast<LONG>(std::lround(units * pixelsPerUnit));
}

} // namespace

HRESULT computeTextMetrics(const FaceTables& tables, const MetricsRequest& request,
                           FaceScale* scale, TEXTMETRICW* metrics) noexcept {
    if (tables.unitsPerEm <= 0) {
        return E_OUTOFMEMORY;
    }
    const double unitsPerEm = tables.unitsPerEm;
    double winAscent = std::max(tables.winAscent, 0);
    double winDescent = std::max(tables.winDescent, 0);
    if (winAscent + winDescent <= 0) {
        winAscent = unitsPerEm;
        winDescent = 0;
    }
    const double cellUnits = winAscent + winDescent;

    // 64-bit so that the most negative height has a magnitude.
    const long long height = request.height;
    double emY = kDefaultEmPixels;
    if (height > 0) {
        emY = static_cast<double>(height) * unitsPerEm / cellUnits;
    } else if (height < 0) {
        emY = static_cast<double>(-height);
    }
    const double averageUnits = tables.averageWidth > 0 ? tables.averageWidth : unitsPerEm / 2;
    const double emX =
        request.width == 0 ? emY : static_cast<double>(request.width) * unitsPerEm / averageUnits;
    if (emY > kMaxEmPixels || emX > kMaxEmPixels) {
        return E_OUTOFMEMORY;
    }
    const double yScale = emY / unitsPerEm;
    const double xScale = emX / unitsPerEm;

    TEXTMETRICW tm{};
    if (height > 0) {
        // The cell is exactly the height asked for; rounding goes into the descent.
        tm.tmHeight = static_cast<LONG>(height);
        tm.tmAscent = std::min(scaled(winAscent, yScale), tm.tmHeight);
        tm.tmDescent = tm.tmHeight - tm.tmAscent;
    } else {
        tm.tmAscent = scaled(winAscent, yScale);
        tm.tmDescent = scaled(winDescent, yScale);
        tm.tmHeight = tm.tmAscent + tm.tmDescent;
        if (tm.tmHeight < 1) {
            // A cell always has a row.
            tm.tmAscent = 1;
            tm.tmDescent = 0;
            tm.tmHeight = 1;
        }
    }
    tm.tmInternalLeading = std::max<LONG>(0, tm.tmHeight - static_cast<LONG>(std::lround(emY)));
    // Windows puts the part of the line gap that the Windows cell does not already cover
    // outside the cell.
    const double lineUnits = static_cast<double>(tables.lineAscender) - tables.lineDescender;
    const double gapUnits = tables.lineGap - (cellUnits - lineUnits);
    tm.tmExternalLeading = std::max<LONG>(0, scaled(gapUnits, yScale));
    tm.tmAveCharWidth =
        request.width != 0 ? static_cast<LONG>(request.width) : scaled(averageUnits, xScale);
    tm.tmAveCharWidth = std::max<LONG>(1, tm.tmAveCharWidth);
    tm.tmMaxCharWidth = std::max<LONG>({1, tm.tmAveCharWidth, scaled(tables.maxAdvance, xScale)});

    tm.tmWeight = tables.weightClass > 0 ? tables.weightClass : static_cast<LONG>(FW_NORMAL);
    if (request.syntheticBold) {
        // Emboldened outlines report the weight that was asked for.
        tm.tmWeight = std::max(tm.tmWeight, static_cast<LONG>(std::min(request.weight, 1000u)));
    }
    // Outline fonts report no overhang, emboldened or not.
    tm.tmOverhang = 0;
    // Made for a screen of 96 dots per inch.
    tm.tmDigitizedAspectX = 96;
    tm.tmDigitizedAspectY = 96;
    tm.tmFirstChar = tables.firstChar;
    tm.tmLastChar = tables.lastChar;
    tm.tmDefaultChar = tables.defaultChar;
    tm.tmBreakChar = tables.breakChar;
    tm.tmItalic = (request.italic || tables.italic) ? 1 : 0;
    tm.tmUnderlined = 0;
    tm.tmStruckOut = 0;
    tm.tmPitchAndFamily =
        static_cast<BYTE>((tables.family & 0xF0) | (tables.fixedPitch ? 0 : TMPF_FIXED_PITCH) |
                          TMPF_VECTOR | (tables.trueType ? TMPF_TRUETYPE : 0));
    // DEFAULT_CHARSET resolves to the ANSI code page's set.
    tm.tmCharSet = tables.symbol                        ? SYMBOL_CHARSET
                   : request.charSet == DEFAULT_CHARSET ? ANSI_CHARSET
                                                        : request.charSet;

    scale->emPixelsX = emX;
    scale->emPixelsY = emY;
    *metrics = tm;
    return S_OK;
}

} // namespace halv::font::detail
