// The two tokenizers of the .x format. Both hand the parser the token codes of the binary
// encoding, so text and binary files share one grammar.
#pragma once

#include "base/guid.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <string_view>

namespace halv::xfile::detail {

// Token codes of the binary encoding.
namespace token {
inline constexpr int kEnd = 0;
inline constexpr int kName = 1;
inline constexpr int kString = 2;
inline constexpr int kInteger = 3;
inline constexpr int kFloat = 4;
inline constexpr int kGuid = 5;
inline constexpr int kIntegerList = 6;
inline constexpr int kFloatList = 7;
inline constexpr int kOpenBrace = 10;
inline constexpr int kCloseBrace = 11;
inline constexpr int kOpenParen = 12;
inline constexpr int kCloseParen = 13;
inline constexpr int kOpenBracket = 14;
inline constexpr int kCloseBracket = 15;
inline constexpr int kOpenAngle = 16;
inline constexpr int kCloseAngle = 17;
inline constexpr int kDot = 18;
inline constexpr int kComma = 19;
inline constexpr int kSemicolon = 20;
inline constexpr int kTemplate = 31;
inline constexpr int kWord = 40;
inline constexpr int kDword = 41;
inline constexpr int kFloatType = 42;
inline constexpr int kDouble = 43;
inline constexpr int kChar = 44;
inline constexpr int kUchar = 45;
inline constexpr int kSword = 46;
inline constexpr int kSdword = 47;
inline constexpr int kVoid = 48;
inline constexpr int kLpstr = 49; // STRING
inline constexpr int kUnicode = 50;
inline constexpr int kCstring = 51;
inline constexpr int kArray = 52;
inline constexpr int kUlonglong = 53;
inline constexpr int kBinary = 54;
inline constexpr int kBinaryResource = 55;
// No rule accepts it: the parse fails on the spot.
inline constexpr int kError = 1000;
} // namespace token

// Text of a name, string or keyword token. It points into the file or into the tokenizer's
// own storage and stays valid for the whole parse.
struct TextRef {
    const char* data;
    std::uint32_t length;
    bool present; // false for an omitted optional name

    std::string_view view() const { return std::string_view(data, length); }
};

// A binary integer or float list: `count` little-endian elements in the file.
struct ListRef {
    const std::byte* data;
    std::uint32_t count;
};

// What a token carries; small, because the parser copies it on every shift and reduction.
union SemanticValue {
    TextRef text;
    std::uint32_t word; // integer, or the bits of a 32-bit float
    GUID guid;
    ListRef list;
};

// Names and strings keep at most this many characters.
inline constexpr std::size_t kMaxTextLength = 511;

// The keyword token for a name, ignoring case; 0 when it is not a keyword.
int keywordToken(std::string_view name);
// The canonical text of a keyword token (for member types written as keywords).
std::string_view keywordText(int code);

class TextTokenizer {
public:
    explicit TextTokenizer(std::span<const std::byte> body);
    // The next token code, kEnd at the end of input or at BINARY_RESOURCE, kError for a
    // character no token starts with or a malformed token.
    int next(SemanticValue& value);

private:
    int readName(SemanticValue& value);
    int readString(SemanticValue& value);
    int readGuid(SemanticValue& value);
    int readNumber(SemanticValue& value);

    const char* mPosition;
    const char* mEnd;
    bool mFinished = false;
    std::deque<std::string> mUnescaped; // strings that held escapes
};

class BinaryTokenizer {
public:
    // `floatBytes` is 4 or 8, from the header.
    BinaryTokenizer(std::span<const std::byte> body, unsigned floatBytes);
    int next(SemanticValue& value);
    unsigned floatBytes() const { return mFloatBytes; }

private:
    bool readDword(std::uint32_t* value);

    std::span<const std::byte> mBody;
    std::size_t mOffset = 0;
    unsigned mFloatBytes;
    bool mFinished = false;
};

} // namespace halv::xfile::detail
