#include "xfile/detail/tokenizer.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <limits>
#include <string>
#include <string_view>

#include <locale.h>

namespace halv::xfile::detail {
namespace {

// Renders the tokens of `text` compactly, e.g. "int(1) name(e5) end".
std::string tokenize(std::string_view text) {
    TextTokenizer tokenizer(std::as_bytes(std::span(text.data(), text.size())));
    std::string out;
    for (int guard = 0; guard < 64; ++guard) {
        SemanticValue value{};
        const int code = tokenizer.next(value);
        if (!out.empty()) {
            out += ' ';
        }
        char buffer[96];
        switch (code) {
        case token::kEnd:
            return out + "end";
        case token::kError:
            return out + "error";
        case token::kName:
            out += "name(" + std::string(value.text.view()) + ")";
            break;
        case token::kString:
            out += "str(" + std::string(value.text.view()) + ")";
            break;
        case token::kInteger:
            out += "int(" + std::to_string(static_cast<std::int32_t>(value.word)) + ")";
            break;
        case token::kFloat:
            std::snprintf(buffer, sizeof buffer, "float(%08X)", value.word);
            out += buffer;
            break;
        case token::kGuid:
            std::snprintf(
                buffer, sizeof buffer, "guid(%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X)",
                value.guid.Data1, value.guid.Data2, value.guid.Data3, value.guid.Data4[0],
                value.guid.Data4[1], value.guid.Data4[2], value.guid.Data4[3], value.guid.Data4[4],
                value.guid.Data4[5], value.guid.Data4[6], value.guid.Data4[7]);
            out += buffer;
            break;
        default:
            // Two appends: "t" + std::to_string draws a false -Wrestrict from GCC 12 at -O3.
            out += 't';
            out += std::to_string(code);
            break;
        }
    }
    return out + "...";
}

std::string floatToken(float value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "float(%08X)", std::bit_cast<std::uint32_t>(value));
    return buffer;
}

struct TokenCase {
    const char* name;
    std::string text;
    std::string expected;
};

const TokenCase kTokenCases[] = {
    // Numbers: an exponent only follows a fraction; a lone full stop is punctuation.
    {"ExponentWithoutFractionIsIntegerThenName", "1e5", "int(1) name(e5) end"},
    {"LeadingFullStopIsDotThenInteger", ".5", "t18 int(5) end"},
    {"SignedFraction", "-.5", floatToken(-0.5f) + " end"},
    {"TrailingFullStop", "1.", floatToken(1.0f) + " end"},
    {"PlusSign", "+7", "int(7) end"},
    {"LoneSignIsZero", "- +", "int(0) int(0) end"},
    {"Exponent", "1.5e3 1.5E-2", floatToken(1500.0f) + " " + floatToken(0.015f) + " end"},
    {"BareExponentLetterIsDropped", "2.5e;", floatToken(2.5f) + " t20 end"},
    {"DigitsThenName", "12abc", "int(12) name(abc) end"},
    {"IntegerSaturatesHigh", "4294967295 99999999999", "int(2147483647) int(2147483647) end"},
    {"IntegerSaturatesLow", "-99999999999 -2147483648", "int(-2147483648) int(-2147483648) end"},
    {"FloatOverflowIsInfinity", "1.0e40 -1.0e999",
     floatToken(std::numeric_limits<float>::infinity()) + " " +
         floatToken(-std::numeric_limits<float>::infinity()) + " end"},
    {"FloatUnderflowIsZero", "1.0e-50 -1.0e-999",
     floatToken(0.0f) + " " + floatToken(-0.0f) + " end"},
    {"FloatRoundsThroughDouble", "0.1 16777217.0 3.4028235e38",
     floatToken(0.1f) + " " + floatToken(16777216.0f) + " " +
         floatToken(std::numeric_limits<float>::max()) + " end"},
    // Comments, white space and punctuation.
    {"Comments", "# one\n1 // two\n2 #", "int(1) int(2) end"},
    {"SingleSlashIsInvalid", "1 / 2", "int(1) error"},
    {"Punctuation", "{}()[],;.", "t10 t11 t12 t13 t14 t15 t19 t20 t18 end"},
    {"InvalidCharacters", "@", "error"},
    {"NonAsciiIsInvalid", "\xC3\xA9", "error"},
    // Names and keywords.
    {"KeywordsIgnoreCase", "template TEMPLATE Template array ARRAY dword DWord",
     "t31 t31 t31 t52 t52 t41 t41 end"},
    {"AllKeywords",
     "word float double char uchar sword sdword string unicode cstring ulonglong binary",
     "t40 t42 t43 t44 t45 t46 t47 t49 t50 t51 t53 t54 end"},
    {"ByteIsAName", "BYTE", "name(BYTE) end"},
    {"NameCharacters", "_a-b_c9 Arrayed", "name(_a-b_c9) name(Arrayed) end"},
    {"BinaryResourceEndsInput", "1 binary_resource 2 { @", "int(1) end"},
    // Strings.
    {"StringEscapes", R"("a\tb")", "str(a\tb) end"},
    {"NamedEscapes", R"("\b\e\f\n\r\t\v")", "str(\b\x1B\f\n\r\t\v) end"},
    {"EscapedQuoteAndBackslash", R"("\"\\\q")", "str(\"\\q) end"},
    {"OctalEscapeTakesUpToThreeDigits", R"("\0101\01234\0x")",
     "str(AS4" + std::string(1, '\0') + "x) end"},
    {"StringSpansLines", "\"a\nb\"", "str(a\nb) end"},
    {"UnterminatedString", "\"abc", "error"},
    {"UnterminatedEscape", "\"abc\\", "error"},
    // GUIDs.
    {"Guid", "<3D82AB43-62DA-11cf-ab39-0020AF71E433>",
     "guid(3D82AB43-62DA-11CF-AB39-0020AF71E433) end"},
    {"GuidWithSpaces", "< 3D82AB43-62DA-11CF-AB39-0020AF71E433 >", "error"},
    {"GuidUnclosed", "<3D82AB43-62DA-11CF-AB39-0020AF71E433", "error"},
    {"GuidShort", "<3D82AB43-62DA-11CF-AB39-0020AF71E43>", "error"},
    {"GuidLong", "<3D82AB43-62DA-11CF-AB39-0020AF71E4333>", "error"},
    {"GuidMisplacedHyphen", "<3D82AB4-362DA-11CF-AB39-0020AF71E433>", "error"},
    {"GuidEndlessHex", "<" + std::string(100, 'A'), "error"},
    {"GuidEmpty", "<>", "error"},
};

class TextTokens : public testing::TestWithParam<TokenCase> {};

TEST_P(TextTokens, Match) {
    EXPECT_EQ(tokenize(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Xfile, TextTokens, testing::ValuesIn(kTokenCases),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST(TextTokenizer, NamesAndStringsKeep511Characters) {
    const std::string longName(600, 'n');
    EXPECT_EQ(tokenize(longName + " 1"), "name(" + std::string(511, 'n') + ") int(1) end");
    const std::string longString = "\"" + std::string(600, 's') + "\" 1";
    EXPECT_EQ(tokenize(longString), "str(" + std::string(511, 's') + ") int(1) end");
    // The cap holds in the escaped form too, and the escapes past it are still consumed.
    const std::string escaped = "\"" + std::string(510, 's') + "\\t\\t\\t\" 1";
    EXPECT_EQ(tokenize(escaped), "str(" + std::string(510, 's') + "\t) int(1) end");
}

TEST(TextTokenizer, FloatsIgnoreTheNumericLocale) {
    locale_t comma = newlocale(LC_NUMERIC_MASK, "de_DE.UTF-8", static_cast<locale_t>(0));
    if (comma == static_cast<locale_t>(0)) {
        GTEST_SKIP() << "de_DE.UTF-8 locale not installed";
    }
    const locale_t previous = uselocale(comma);
    const std::string tokens = tokenize("1.5");
    uselocale(previous);
    freelocale(comma);
    EXPECT_EQ(tokens, floatToken(1.5f) + " end");
}

} // namespace
} // namespace halv::xfile::detail
