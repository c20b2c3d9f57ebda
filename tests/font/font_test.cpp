#include "font/detail/face_match.h"
#include "font/font.h"
#include "font/font_inspection.h"
#include "tests/font/font_test_support.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

namespace halv::font {
namespace {

using base::ComRef;
using testing_support::makeNullDevice;
using testing_support::profileWithMaxTexture;
using testing_support::profileWithoutA8R8G8B8;
using testing_support::referenceCount;

// The program's own call.
HRESULT createProgramFont(IDirect3DDevice9* device, ID3DXFont** font) {
    return D3DXCreateFontW(device, 15, 0, 700, 1, FALSE, DEFAULT_CHARSET, 0, 0, 0, u"Arial", font);
}

FontDetails detailsOf(ID3DXFont* font) {
    FontDetails details;
    EXPECT_EQ(getFontDetails(font, &details), S_OK);
    return details;
}

// Fonts need an installed face; a machine without any skips rather than fails.
class FontTest : public testing::Test {
protected:
    void SetUp() override {
        detail::MatchedFace face;
        if (FAILED(detail::matchFaceWithFontconfig(detail::FaceRequest{}, &face))) {
            GTEST_SKIP() << "fontconfig finds no scalable face on this machine; install "
                            "fonts-liberation2";
        }
        mDevice = makeNullDevice();
        ASSERT_TRUE(mDevice);
        mDeviceReferences = referenceCount(mDevice.get());
    }

    // Every failed creation must leave the device as it found it.
    void expectDeviceUntouched() { EXPECT_EQ(referenceCount(mDevice.get()), mDeviceReferences); }

    ComRef<IDirect3DDevice9> mDevice;
    ULONG mDeviceReferences = 0;
};

TEST_F(FontTest, ProgramCallSucceeds) {
    ComRef<ID3DXFont> font;
    ASSERT_EQ(createProgramFont(mDevice.get(), font.put()), S_OK);
    ASSERT_TRUE(font);

    TEXTMETRICW tm{};
    ASSERT_TRUE(font->GetTextMetricsW(&tm));
    EXPECT_EQ(tm.tmHeight, 15);
    EXPECT_EQ(tm.tmAscent + tm.tmDescent, 15);
    EXPECT_GT(tm.tmAscent, tm.tmDescent);
    EXPECT_GE(tm.tmWeight, 600) << "a bold face or emboldened outlines";
    EXPECT_EQ(tm.tmItalic, 0);
    EXPECT_EQ(tm.tmCharSet, ANSI_CHARSET);
    EXPECT_GT(tm.tmAveCharWidth, 0);
    EXPECT_GE(tm.tmMaxCharWidth, tm.tmAveCharWidth);
    EXPECT_LT(tm.tmFirstChar, tm.tmLastChar);
    EXPECT_EQ(tm.tmBreakChar, u' ');

    const FontDetails d = detailsOf(font.get());
    EXPECT_EQ(d.quality, ANTIALIASED_QUALITY);
    EXPECT_TRUE(d.antialiased);
    EXPECT_EQ(d.glyphBitmapWidth, static_cast<UINT>(tm.tmMaxCharWidth));
    EXPECT_EQ(d.glyphBitmapHeight, 15u);
    EXPECT_NE(d.breakGlyph, 0u) << "the space has a glyph";
    // MipLevels 1: single-level cells, so no scratch block.
    EXPECT_EQ(d.geometry.smallCellLevels, 1u);
    EXPECT_EQ(d.geometry.largeCellLevels, 1u);
    EXPECT_EQ(d.scratchBytes, 0u);
    EXPECT_EQ(d.geometry.mipLevelsLimit, 1u);
    EXPECT_EQ(d.geometry.smallCellEdge, tm.tmAveCharWidth <= 16 ? 16u : 32u);
    EXPECT_GE(d.geometry.largeCellEdge, static_cast<UINT>(tm.tmMaxCharWidth));
    EXPECT_EQ(d.geometry.largeTextureEdge,
              std::max(d.geometry.smallTextureEdge, d.geometry.largeCellEdge));
}

TEST_F(FontTest, ArialResolvesToLiberationSansBold) {
    ComRef<ID3DXFont> liberation;
    ASSERT_EQ(D3DXCreateFontW(mDevice.get(), 15, 0, 700, 1, FALSE, DEFAULT_CHARSET, 0, 0, 0,
                              u"Liberation Sans", liberation.put()),
              S_OK);
    if (detailsOf(liberation.get()).familyName != "Liberation Sans") {
        GTEST_SKIP() << "Liberation Sans is not installed (fonts-liberation2)";
    }
    ComRef<ID3DXFont> font;
    ASSERT_EQ(createProgramFont(mDevice.get(), font.put()), S_OK);
    const FontDetails d = detailsOf(font.get());
    EXPECT_EQ(d.familyName, "Liberation Sans");
    EXPECT_EQ(d.styleName, "Bold");
    EXPECT_FALSE(d.syntheticBold);

    TEXTMETRICW tm{};
    ASSERT_TRUE(font->GetTextMetricsW(&tm));
    EXPECT_EQ(tm.tmAscent, 12);
    EXPECT_EQ(tm.tmDescent, 3);
    EXPECT_EQ(tm.tmWeight, 700);
    EXPECT_EQ(tm.tmPitchAndFamily, FF_SWISS | TMPF_FIXED_PITCH | TMPF_VECTOR | TMPF_TRUETYPE);
    EXPECT_EQ(d.geometry.smallCellEdge, 16u);
    EXPECT_EQ(d.geometry.smallTextureEdge, 256u);
}

TEST_F(FontTest, ReferenceCounting) {
    ID3DXFont* font = nullptr;
    ASSERT_EQ(createProgramFont(mDevice.get(), &font), S_OK);
    EXPECT_EQ(referenceCount(mDevice.get()), mDeviceReferences + 1) << "the font holds the device";
    EXPECT_EQ(font->AddRef(), 2u);
    EXPECT_EQ(font->AddRef(), 3u);
    EXPECT_EQ(font->Release(), 2u);
    EXPECT_EQ(font->Release(), 1u);
    EXPECT_EQ(font->Release(), 0u);
    expectDeviceUntouched();
}

TEST_F(FontTest, QueryInterfaceAndDevice) {
    ComRef<ID3DXFont> font;
    ASSERT_EQ(createProgramFont(mDevice.get(), font.put()), S_OK);
    ComRef<ID3DXFont> same;
    ASSERT_EQ(font->QueryInterface(IID_ID3DXFont, same.putVoid()), S_OK);
    EXPECT_EQ(same.get(), font.get());
    ComRef<IUnknown> unknown;
    EXPECT_EQ(font->QueryInterface(IID_IUnknown, unknown.putVoid()), S_OK);
    ComRef<IDirect3DDevice9> other;
    EXPECT_EQ(font->QueryInterface(IID_IDirect3DDevice9, other.putVoid()), E_NOINTERFACE);

    ComRef<IDirect3DDevice9> device;
    ASSERT_EQ(font->GetDevice(device.put()), S_OK);
    EXPECT_EQ(device.get(), mDevice.get());
    EXPECT_EQ(font->GetDevice(nullptr), D3DERR_INVALIDCALL);
}

TEST_F(FontTest, FaceNameIsCutTo31Characters) {
    const char16_t* name40 = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmn";
    ComRef<ID3DXFont> font;
    ASSERT_EQ(D3DXCreateFontW(mDevice.get(), 15, 0, 700, 1, FALSE, DEFAULT_CHARSET, 0, 0, 0, name40,
                              font.put()),
              S_OK);
    D3DXFONT_DESCW desc;
    std::fill(std::begin(desc.FaceName), std::end(desc.FaceName), u'#');
    ASSERT_EQ(font->GetDescW(&desc), S_OK);
    EXPECT_EQ(std::u16string(desc.FaceName), std::u16string(name40, 31));
    EXPECT_EQ(desc.FaceName[31], 0);

    ComRef<ID3DXFont> ansi;
    ASSERT_EQ(D3DXCreateFontA(mDevice.get(), 15, 0, 700, 1, FALSE, DEFAULT_CHARSET, 0, 0, 0,
                              "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmn", ansi.put()),
              S_OK);
    D3DXFONT_DESCA descA;
    ASSERT_EQ(ansi->GetDescA(&descA), S_OK);
    EXPECT_EQ(std::string(descA.FaceName), "ABCDEFGHIJKLMNOPQRSTUVWXYZabcde");
    ASSERT_EQ(ansi->GetDescW(&desc), S_OK);
    EXPECT_EQ(std::u16string(desc.FaceName), std::u16string(name40, 31));
}

TEST_F(FontTest, DescriptionComesBackAsGiven) {
    D3DXFONT_DESCA in{};
    in.Height = -20;
    in.Width = 0;
    in.Weight = FW_NORMAL;
    in.MipLevels = 0;
    in.Italic = TRUE;
    in.CharSet = DEFAULT_CHARSET;
    in.Quality = NONANTIALIASED_QUALITY;
    in.PitchAndFamily = VARIABLE_PITCH | FF_ROMAN;
    // 0xE9 is e acute in the ANSI code page.
    std::snprintf(in.FaceName, sizeof(in.FaceName), "Caf\xE9 Serif");
    ComRef<ID3DXFont> font;
    ASSERT_EQ(D3DXCreateFontIndirectA(mDevice.get(), &in, font.put()), S_OK);

    D3DXFONT_DESCA outA{};
    ASSERT_EQ(font->GetDescA(&outA), S_OK);
    EXPECT_EQ(std::memcmp(&outA, &in, sizeof(in)), 0);
    D3DXFONT_DESCW outW{};
    ASSERT_EQ(font->GetDescW(&outW), S_OK);
    EXPECT_EQ(std::u16string(outW.FaceName), u"Caf\u00E9 Serif");
    EXPECT_EQ(font->GetDescA(nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(font->GetDescW(nullptr), D3DERR_INVALIDCALL);

    TEXTMETRICW tm{};
    ASSERT_TRUE(font->GetTextMetricsW(&tm));
    EXPECT_EQ(tm.tmItalic, 1);
    EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, 20) << "a negative height is the em";
    // MipLevels 0: full chains, so a scratch block for the large cell's levels.
    const FontDetails d = detailsOf(font.get());
    EXPECT_FALSE(d.antialiased);
    EXPECT_GT(d.geometry.largeCellLevels, 1u);
    EXPECT_EQ(d.scratchBytes, std::size_t{d.geometry.largeCellEdge} * d.geometry.largeCellEdge * 8);
}

TEST_F(FontTest, AnsiMetricsMatchTheWideOnes) {
    ComRef<ID3DXFont> font;
    ASSERT_EQ(createProgramFont(mDevice.get(), font.put()), S_OK);
    TEXTMETRICW w{};
    TEXTMETRICA a{};
    ASSERT_TRUE(font->GetTextMetricsW(&w));
    ASSERT_TRUE(font->GetTextMetricsA(&a));
    EXPECT_EQ(a.tmHeight, w.tmHeight);
    EXPECT_EQ(a.tmAveCharWidth, w.tmAveCharWidth);
    EXPECT_EQ(a.tmMaxCharWidth, w.tmMaxCharWidth);
    EXPECT_EQ(a.tmWeight, w.tmWeight);
    EXPECT_EQ(a.tmBreakChar, ' ');
    EXPECT_EQ(a.tmPitchAndFamily, w.tmPitchAndFamily);
    EXPECT_EQ(a.tmCharSet, w.tmCharSet);
    EXPECT_LE(a.tmFirstChar, 'A');
    EXPECT_GE(a.tmLastChar, 'z');
    EXPECT_FALSE(font->GetTextMetricsA(nullptr));
    EXPECT_FALSE(font->GetTextMetricsW(nullptr));
}

TEST_F(FontTest, QualityRule) {
    struct Case {
        BYTE quality;
        BYTE created;
        bool antialiased;
    };
    const Case cases[] = {
        {DEFAULT_QUALITY, ANTIALIASED_QUALITY, true},
        {8, 12, true},
        {NONANTIALIASED_QUALITY, NONANTIALIASED_QUALITY, false},
        {ANTIALIASED_QUALITY, ANTIALIASED_QUALITY, true},
        {CLEARTYPE_QUALITY, CLEARTYPE_QUALITY, true},
        {DRAFT_QUALITY, DRAFT_QUALITY, true},
        {0xF8, 0xFC, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "Quality " << int{c.quality});
        EXPECT_EQ(creationQuality(c.quality), c.created);
        ComRef<ID3DXFont> font;
        ASSERT_EQ(D3DXCreateFontW(mDevice.get(), 15, 0, 700, 1, FALSE, DEFAULT_CHARSET, 0,
                                  c.quality, 0, u"Arial", font.put()),
                  S_OK);
        const FontDetails d = detailsOf(font.get());
        EXPECT_EQ(d.quality, c.created);
        EXPECT_EQ(d.antialiased, c.antialiased);
        D3DXFONT_DESCW desc{};
        ASSERT_EQ(font->GetDescW(&desc), S_OK);
        EXPECT_EQ(desc.Quality, c.quality) << "the description keeps what was asked for";
    }
}

struct CapsCase {
    const char* name;
    std::optional<gfx::AdapterProfile> profile;
    HRESULT expected;
    UINT smallTextureEdge;
};

void PrintTo(const CapsCase& c, std::ostream* os) {
    *os << c.name;
}

class FontCaps : public FontTest, public testing::WithParamInterface<CapsCase> {};

TEST_P(FontCaps, GlyphCacheFitsTheDevice) {
    const CapsCase& c = GetParam();
    auto device = makeNullDevice(c.profile);
    ASSERT_TRUE(device);
    const ULONG references = referenceCount(device.get());
    ID3DXFont* font = reinterpret_cast<ID3DXFont*>(0x1);
    const HRESULT hr = createProgramFont(device.get(), &font);
    EXPECT_EQ(hr, c.expected);
    if (FAILED(hr)) {
        EXPECT_EQ(font, reinterpret_cast<ID3DXFont*>(0x1)) << "out pointer written on failure";
        EXPECT_EQ(referenceCount(device.get()), references);
        return;
    }
    ComRef<ID3DXFont> owned(font);
    EXPECT_EQ(detailsOf(font).geometry.smallTextureEdge, c.smallTextureEdge);
}

const CapsCase kCaps[] = {
    {"DefaultDevice", std::nullopt, S_OK, 256},
    {"MaxTexture128", profileWithMaxTexture(128), S_OK, 128},
    {"MaxTexture8", profileWithMaxTexture(8), D3DXERR_INVALIDDATA, 0},
    {"NoA8R8G8B8", profileWithoutA8R8G8B8(), D3DXERR_INVALIDDATA, 0},
};

INSTANTIATE_TEST_SUITE_P(Font, FontCaps, testing::ValuesIn(kCaps),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST_F(FontTest, InvalidCalls) {
    ID3DXFont* font = reinterpret_cast<ID3DXFont*>(0x1);
    EXPECT_EQ(createProgramFont(mDevice.get(), nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(createProgramFont(nullptr, &font), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateFontIndirectW(mDevice.get(), nullptr, &font), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateFontIndirectA(mDevice.get(), nullptr, &font), D3DERR_INVALIDCALL);
    D3DXFONT_DESCW desc{};
    EXPECT_EQ(D3DXCreateFontIndirectW(nullptr, &desc, &font), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateFontIndirectW(mDevice.get(), &desc, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(font, reinterpret_cast<ID3DXFont*>(0x1));
    expectDeviceUntouched();
}

TEST_F(FontTest, HeightsTheFontCannotTake) {
    struct Case {
        const char* name;
        INT height;
        UINT width;
    };
    // Ems beyond what FreeType scales to, and a glyph bitmap beyond its limit.
    const Case cases[] = {
        {"LargestHeight", INT_MAX, 0},
        {"MostNegativeHeight", INT_MIN, 0},
        {"LargestWidth", 15, UINT_MAX},
        {"HugeGlyphBitmap", 20000, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ID3DXFont* font = reinterpret_cast<ID3DXFont*>(0x1);
        EXPECT_EQ(D3DXCreateFontW(mDevice.get(), c.height, c.width, 0, 1, FALSE, DEFAULT_CHARSET, 0,
                                  0, 0, u"Arial", &font),
                  E_OUTOFMEMORY);
        EXPECT_EQ(font, reinterpret_cast<ID3DXFont*>(0x1));
        expectDeviceUntouched();
    }
}

TEST_F(FontTest, NullFaceNameGetsADefaultFace) {
    ComRef<ID3DXFont> font;
    ASSERT_EQ(D3DXCreateFontW(mDevice.get(), 12, 0, 0, 1, FALSE, DEFAULT_CHARSET, 0, 0,
                              FIXED_PITCH | FF_MODERN, nullptr, font.put()),
              S_OK);
    D3DXFONT_DESCW desc{};
    ASSERT_EQ(font->GetDescW(&desc), S_OK);
    EXPECT_EQ(desc.FaceName[0], 0);
    TEXTMETRICW tm{};
    ASSERT_TRUE(font->GetTextMetricsW(&tm));
    EXPECT_EQ(tm.tmHeight, 12);
    EXPECT_EQ(tm.tmWeight, 400);
}

TEST_F(FontTest, DrawingIsNotProvided) {
    ComRef<ID3DXFont> font;
    ASSERT_EQ(createProgramFont(mDevice.get(), font.put()), S_OK);
    RECT rect{0, 0, 100, 100};
    EXPECT_EQ(font->DrawTextW(nullptr, u"Halvorine", -1, &rect, 0, 0xFFFFFFFF), 0);
    EXPECT_EQ(font->DrawTextA(nullptr, "Halvorine", -1, &rect, 0, 0xFFFFFFFF), 0);
    EXPECT_EQ(font->PreloadCharacters(0x20, 0x7F), E_NOTIMPL);
    EXPECT_EQ(font->PreloadGlyphs(0, 10), E_NOTIMPL);
    EXPECT_EQ(font->PreloadTextW(u"abc", 3), E_NOTIMPL);
    EXPECT_EQ(font->PreloadTextA("abc", 3), E_NOTIMPL);
    EXPECT_EQ(font->GetGlyphData(1, nullptr, nullptr, nullptr), E_NOTIMPL);
    EXPECT_EQ(font->GetDC(), nullptr);
    EXPECT_EQ(font->OnLostDevice(), S_OK);
    EXPECT_EQ(font->OnResetDevice(), S_OK);
}

// Steers creation to a face of the test's choosing for its lifetime.
class ScopedFaceFile {
public:
    explicit ScopedFaceFile(std::string file) {
        sFile = std::move(file);
        mPrevious =
            detail::installFaceMatcher([](const detail::FaceRequest&, detail::MatchedFace* face) {
                face->file = sFile;
                face->index = 0;
                return S_OK;
            });
    }
    ~ScopedFaceFile() { detail::installFaceMatcher(mPrevious); }

private:
    static inline std::string sFile;
    detail::FaceMatcher mPrevious = nullptr;
};

std::string writeTempFile(const std::string& name, const std::vector<char>& bytes) {
    const std::string path = testing::TempDir() + name;
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

TEST_F(FontTest, FacesThatCannotBeLoaded) {
    ComRef<ID3DXFont> reference;
    ASSERT_EQ(createProgramFont(mDevice.get(), reference.put()), S_OK);
    const std::string realFile = detailsOf(reference.get()).faceFile;
    std::ifstream in(realFile, std::ios::binary);
    const std::vector<char> fontBytes((std::istreambuf_iterator<char>(in)),
                                      std::istreambuf_iterator<char>());
    ASSERT_GT(fontBytes.size(), 1024u);

    struct Case {
        const char* name;
        std::string file;
    };
    const Case cases[] = {
        {"MissingFile", testing::TempDir() + "no-such-face.ttf"},
        {"NotAFont", writeTempFile("not-a-font.ttf", std::vector<char>(4096, 'x'))},
        {"EmptyFile", writeTempFile("empty-face.ttf", {})},
        {"Truncated",
         writeTempFile("truncated-face.ttf",
                       std::vector<char>(fontBytes.begin(), fontBytes.begin() + 1024))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedFaceFile steer(c.file);
        ID3DXFont* font = reinterpret_cast<ID3DXFont*>(0x1);
        EXPECT_EQ(createProgramFont(mDevice.get(), &font), E_OUTOFMEMORY);
        EXPECT_EQ(font, reinterpret_cast<ID3DXFont*>(0x1));
    }
    // The real file through the same path works, so the failures above are the files'.
    ScopedFaceFile steer(realFile);
    ComRef<ID3DXFont> font;
    EXPECT_EQ(createProgramFont(mDevice.get(), font.put()), S_OK);
    font.reset();
    reference.reset();
    expectDeviceUntouched();
    for (const Case& c : cases) {
        std::remove(c.file.c_str());
    }
}

TEST_F(FontTest, NoMatchingFace) {
    const detail::FaceMatcher previous = detail::installFaceMatcher(
        [](const detail::FaceRequest&, detail::MatchedFace*) { return E_OUTOFMEMORY; });
    ID3DXFont* font = reinterpret_cast<ID3DXFont*>(0x1);
    EXPECT_EQ(createProgramFont(mDevice.get(), &font), E_OUTOFMEMORY);
    detail::installFaceMatcher(previous);
    EXPECT_EQ(font, reinterpret_cast<ID3DXFont*>(0x1));
    expectDeviceUntouched();
}

} // namespace
} // namespace halv::font
