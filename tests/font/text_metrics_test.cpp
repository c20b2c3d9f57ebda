#include "base/result_codes.h"
#include "font/detail/text_metrics.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

namespace halv::font::detail {
namespace {

// A sans-serif face with the proportions of a common proportional bold font: 2048 units per
// em, a Windows cell of 2288 units and a horizontal header that agrees with it.
FaceTables sansBold() {
    FaceTables t;
    t.unitsPerEm = 2048;
    t.winAscent = 1854;
    t.winDescent = 434;
    t.lineAscender = 1854;
    t.lineDescender = -434;
    t.lineGap = 67;
    t.averageWidth = 1176;
    t.maxAdvance = 4096;
    t.weightClass = 700;
    t.trueType = true;
    t.family = FF_SWISS;
    t.firstChar = 0x20;
    t.lastChar = 0xFFFC;
    t.breakChar = 0x20;
    return t;
}

TEXTMETRICW metricsFor(const FaceTables& tables, const MetricsRequest& request,
                       FaceScale* scale = nullptr) {
    FaceScale unused;
    TEXTMETRICW tm{};
    EXPECT_EQ(computeTextMetrics(tables, request, scale != nullptr ? scale : &unused, &tm), S_OK);
    return tm;
}

struct HeightCase {
    const char* name;
    INT height;
    LONG tmHeight;
    LONG ascent;
    LONG descent;
    LONG internalLeading;
    double emPixels;
};

// Positive heights are cells (em = height x 2048 / 2288), negative ones ems, 0 the default
// 16-pixel em.
const HeightCase kHeights[] = {
    {"Cell15", 15, 15, 12, 3, 2, 15.0 * 2048 / 2288},
    {"Cell1", 1, 1, 1, 0, 0, 2048.0 / 2288},
    {"Cell100", 100, 100, 81, 19, 10, 100.0 * 2048 / 2288},
    {"Em16", -16, 17, 14, 3, 1, 16},
    {"DefaultIsEm16", 0, 17, 14, 3, 1, 16},
    {"Em1", -1, 1, 1, 0, 0, 1},
};

class MetricsHeight : public testing::TestWithParam<HeightCase> {};

TEST_P(MetricsHeight, CellAndEm) {
    const HeightCase& c = GetParam();
    MetricsRequest request;
    request.height = c.height;
    FaceScale scale;
    const TEXTMETRICW tm = metricsFor(sansBold(), request, &scale);
    EXPECT_EQ(tm.tmHeight, c.tmHeight);
    EXPECT_EQ(tm.tmAscent, c.ascent);
    EXPECT_EQ(tm.tmDescent, c.descent);
    EXPECT_EQ(tm.tmAscent + tm.tmDescent, tm.tmHeight);
    EXPECT_EQ(tm.tmInternalLeading, c.internalLeading);
    EXPECT_DOUBLE_EQ(scale.emPixelsY, c.emPixels);
    EXPECT_DOUBLE_EQ(scale.emPixelsX, c.emPixels);
}

INSTANTIATE_TEST_SUITE_P(Font, MetricsHeight, testing::ValuesIn(kHeights),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST(Metrics, WidthsFollowTheHorizontalScale) {
    MetricsRequest request;
    request.height = 15;
    TEXTMETRICW tm = metricsFor(sansBold(), request);
    // 1176 and 4096 units at 15 / 2288 pixels per unit.
    EXPECT_EQ(tm.tmAveCharWidth, 8);
    EXPECT_EQ(tm.tmMaxCharWidth, 27);

    // A given width is the average width; the em widens to match.
    request.width = 16;
    FaceScale scale;
    tm = metricsFor(sansBold(), request, &scale);
    EXPECT_EQ(tm.tmAveCharWidth, 16);
    EXPECT_DOUBLE_EQ(scale.emPixelsX, 16.0 * 2048 / 1176);
    EXPECT_EQ(tm.tmMaxCharWidth, 56);
    EXPECT_EQ(tm.tmHeight, 15);
}

TEST(Metrics, LineGapBeyondTheWindowsCellIsExternalLeading) {
    FaceTables tables = sansBold();
    // The Windows cell already covers 100 of the 400 units of gap.
    tables.lineAscender = 1800;
    tables.lineDescender = -388;
    tables.lineGap = 400;
    MetricsRequest request;
    request.height = -2048;
    EXPECT_EQ(metricsFor(tables, request).tmExternalLeading, 300);
    tables.lineGap = 50;
    EXPECT_EQ(metricsFor(tables, request).tmExternalLeading, 0);
}

TEST(Metrics, StyleFlags) {
    FaceTables tables = sansBold();
    tables.weightClass = 400;
    MetricsRequest request;
    request.height = 15;
    request.weight = FW_BOLD;
    request.italic = true;
    TEXTMETRICW tm = metricsFor(tables, request);
    // The face's own weight unless the outlines are emboldened.
    EXPECT_EQ(tm.tmWeight, 400);
    EXPECT_EQ(tm.tmItalic, 1);
    EXPECT_EQ(tm.tmPitchAndFamily, FF_SWISS | TMPF_FIXED_PITCH | TMPF_VECTOR | TMPF_TRUETYPE);
    EXPECT_EQ(tm.tmCharSet, ANSI_CHARSET);
    EXPECT_EQ(tm.tmUnderlined, 0);
    EXPECT_EQ(tm.tmStruckOut, 0);
    EXPECT_EQ(tm.tmFirstChar, 0x20);
    EXPECT_EQ(tm.tmLastChar, 0xFFFC);

    request.syntheticBold = true;
    request.italic = false;
    request.charSet = RUSSIAN_CHARSET;
    tables.fixedPitch = true;
    tables.family = FF_MODERN;
    tm = metricsFor(tables, request);
    EXPECT_EQ(tm.tmWeight, 700);
    EXPECT_EQ(tm.tmItalic, 0);
    EXPECT_EQ(tm.tmPitchAndFamily, FF_MODERN | TMPF_VECTOR | TMPF_TRUETYPE);
    EXPECT_EQ(tm.tmCharSet, RUSSIAN_CHARSET);

    tables.symbol = true;
    tables.weightClass = 0;
    request.syntheticBold = false;
    tm = metricsFor(tables, request);
    EXPECT_EQ(tm.tmCharSet, SYMBOL_CHARSET);
    EXPECT_EQ(tm.tmWeight, 400);
}

TEST(Metrics, SizesThatCannotBeMadeWriteNothing) {
    struct Case {
        const char* name;
        INT height;
        UINT width;
        int unitsPerEm;
    };
    const Case cases[] = {
        {"NoUnitsPerEm", 15, 0, 0},
        {"EmBeyondLimit", -70000, 0, 2048},
        {"MostNegativeHeight", INT_MIN, 0, 2048},
        {"LargestCell", INT_MAX, 0, 2048},
        {"LargestWidth", 15, UINT_MAX, 2048},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FaceTables tables = sansBold();
        tables.unitsPerEm = c.unitsPerEm;
        MetricsRequest request;
        request.height = c.height;
        request.width = c.width;
        TEXTMETRICW tm;
        std::memset(&tm, 0xCD, sizeof(tm));
        FaceScale scale{-1, -1};
        EXPECT_EQ(computeTextMetrics(tables, request, &scale, &tm), E_OUTOFMEMORY);
        EXPECT_EQ(tm.tmHeight, static_cast<LONG>(0xCDCDCDCD));
        EXPECT_EQ(scale.emPixelsY, -1);
    }
}

TEST(Metrics, FaceWithoutWindowsCellUsesItsEm) {
    FaceTables tables = sansBold();
    tables.winAscent = 0;
    tables.winDescent = 0;
    MetricsRequest request;
    request.height = 20;
    const TEXTMETRICW tm = metricsFor(tables, request);
    EXPECT_EQ(tm.tmHeight, 20);
    EXPECT_EQ(tm.tmAscent, 20);
    EXPECT_EQ(tm.tmInternalLeading, 0);
}

} // namespace
} // namespace halv::font::detail
