#include "base/text_conversion.h"

#include <gtest/gtest.h>

#include <cstring>

namespace halv::base {
namespace {

// "Der Bildschirmschoner verfügt über keine einstellbaren Optionen." in code page 1252.
constexpr char kGermanAnsi[] = "Der Bildschirmschoner verf\xFCgt \xFC"
                               "ber keine einstellbaren Optionen.";
constexpr char16_t kGermanWide[] = u"Der Bildschirmschoner verfügt über keine einstellbaren "
                                   u"Optionen.";

TEST(TextConversion, GermanConfigureTextRoundTrips) {
    const int needed = MultiByteToWideChar(CP_ACP, 0, kGermanAnsi, -1, nullptr, 0);
    ASSERT_EQ(needed, static_cast<int>(std::strlen(kGermanAnsi) + 1));
    std::u16string wide(static_cast<std::size_t>(needed), u'\0');
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, kGermanAnsi, -1, wide.data(), needed), needed);
    EXPECT_EQ(std::u16string_view(wide.c_str()), kGermanWide);

    char back[128] = {};
    BOOL usedDefault = TRUE;
    ASSERT_EQ(
        WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, back, sizeof back, nullptr, &usedDefault),
        needed);
    EXPECT_STREQ(back, kGermanAnsi);
    EXPECT_FALSE(usedDefault);
}

TEST(TextConversion, Cp1252HighRangeBothWays) {
    struct Case {
        unsigned char byte;
        char16_t wide;
    };
    const Case cases[] = {{0x80, u'€'},      {0x8A, u'Š'}, {0x9F, u'Ÿ'}, {0x81, u'\u0081'},
                          {0xA0, u'\u00A0'}, {0xE4, u'ä'}, {0xFF, u'ÿ'}, {0x41, u'A'}};
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.byte));
        const char ansi = static_cast<char>(c.byte);
        WCHAR wide = 0;
        ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, &ansi, 1, &wide, 1), 1);
        EXPECT_EQ(wide, c.wide);
        char back = 0;
        ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, &wide, 1, &back, 1, nullptr, nullptr), 1);
        EXPECT_EQ(static_cast<unsigned char>(back), c.byte);
    }
}

TEST(TextConversion, UnmappableCharactersUseTheDefault) {
    const char16_t text[] = u"a\u4E2Db";
    char out[8] = {};
    BOOL usedDefault = FALSE;
    ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, text, 3, out, sizeof out, "#", &usedDefault), 3);
    EXPECT_EQ(std::string(out, 3), "a#b");
    EXPECT_TRUE(usedDefault);
    EXPECT_EQ(wideToAnsi(text), "a?b");
}

TEST(TextConversion, BufferRulesAndErrors) {
    WCHAR small[4];
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "halvorine", -1, small, 4), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 0, small, 4), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(MultiByteToWideChar(437, 0, "abc", 3, small, 4), 0);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, nullptr, 3, small, 4), 0);
    // Without -1 the terminator is not counted or written.
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 3, small, 4), 3);
    char utf8[4];
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"x", 1, utf8, 4, "?", nullptr), 0);
}

TEST(TextConversion, Utf8BothWays) {
    EXPECT_EQ(utf8ToUtf16("verf\xC3\xBCgt \xE2\x82\xAC \xF0\x9F\x98\x80"), u"verfügt € 😀");
    EXPECT_EQ(utf16ToUtf8(u"verfügt € 😀"), "verf\xC3\xBCgt \xE2\x82\xAC \xF0\x9F\x98\x80");
    // Overlong, truncated and stray bytes become U+FFFD.
    EXPECT_EQ(utf8ToUtf16("\xC0\xAF|\xE2\x82|\x80"), u"\uFFFD\uFFFD|\uFFFD|\uFFFD");
    const char16_t lone[] = {u'a', 0xD800, u'b', 0};
    EXPECT_EQ(utf16ToUtf8(lone), "a\xEF\xBF\xBD"
                                 "b");
}

TEST(TextConversion, CompareStringIgnoringCase) {
    EXPECT_EQ(CompareStringA(0x0409, NORM_IGNORECASE, "Mesh", -1, "MESH", -1), CSTR_EQUAL);
    EXPECT_EQ(CompareStringA(0x0409, NORM_IGNORECASE, "\xE4pfel", -1, "\xC4PFEL", -1), CSTR_EQUAL);
    EXPECT_EQ(CompareStringA(0x0409, 0, "Mesh", -1, "MESH", -1), CSTR_GREATER_THAN);
    EXPECT_EQ(CompareStringA(0x0409, NORM_IGNORECASE, "Mesh", 4, "MeshNormals", -1),
              CSTR_LESS_THAN);
    EXPECT_EQ(CompareStringA(0x0409, NORM_IGNORECASE, "template", 4, "TEMP", 4), CSTR_EQUAL);
    EXPECT_EQ(CompareStringA(0x0409, 0, nullptr, -1, "x", -1), 0);
}

TEST(TextConversion, WideToLongLikeWcstol) {
    struct Case {
        const char16_t* text;
        int base;
        LONG value;
        std::size_t consumed;
    };
    const Case cases[] = {
        {u"1234", 10, 1234, 4},
        {u"  42 rest", 10, 42, 4},
        {u"-17", 10, -17, 3},
        {u"0x1F", 0, 31, 4},
        {u"0x1F", 16, 31, 4},
        {u"012", 0, 10, 3},
        {u"99999999999", 10, 2147483647, 11},
        {u"-99999999999", 10, -2147483647 - 1, 12},
        {u"abc", 10, 0, 0},
        {u"", 10, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(utf16ToUtf8(c.text));
        const WCHAR* end = nullptr;
        EXPECT_EQ(wideToLong(c.text, &end, c.base), c.value);
        EXPECT_EQ(static_cast<std::size_t>(end - c.text), c.consumed);
    }
    EXPECT_EQ(wideLength(u"QLX Halvorine"), 13u);
}

} // namespace
} // namespace halv::base
