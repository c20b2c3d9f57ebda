#include "xfile/detail/tokenizer.h"

#include "base/bytes.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstring>
#include <limits>

namespace halv::xfile::detail {
namespace {

struct Keyword {
    std::string_view text;
    int code;
};

constexpr std::array<Keyword, 16> kKeywords = {{
    {"TEMPLATE", token::kTemplate},
    {"WORD", token::kWord},
    {"DWORD", token::kDword},
    {"FLOAT", token::kFloatType},
    {"DOUBLE", token::kDouble},
    {"CHAR", token::kChar},
    {"UCHAR", token::kUchar},
    {"SWORD", token::kSword},
    {"SDWORD", token::kSdword},
    {"STRING", token::kLpstr},
    {"UNICODE", token::kUnicode},
    {"CSTRING", token::kCstring},
    {"ARRAY", token::kArray},
    {"ULONGLONG", token::kUlonglong},
    {"BINARY", token::kBinary},
    {"BINARY_RESOURCE", token::kBinaryResource},
}};

enum CharClass : std::uint8_t {
    kOther = 0,
    kSpace,
    kLetter, // letters and '_'
    kDigit,
    kSign,
    kPunctuation,
    kHash,
    kSlash,
    kQuote,
    kLess,
};

constexpr std::array<CharClass, 256> makeClasses() {
    std::array<CharClass, 256> classes{};
    // The C locale's isspace set.
    for (char c : {' ', '\t', '\n', '\v', '\f', '\r'}) {
        classes[static_cast<unsigned char>(c)] = kSpace;
    }
    for (int c = 'a'; c <= 'z'; ++c) {
        classes[c] = kLetter;
        classes[c - 'a' + 'A'] = kLetter;
    }
    classes['_'] = kLetter;
    for (int c = '0'; c <= '9'; ++c) {
        classes[c] = kDigit;
    }
    classes['+'] = kSign;
    classes['-'] = kSign;
    for (char c : {'{', '}', '(', ')', '[', ']', ',', ';', '.'}) {
        classes[static_cast<unsigned char>(c)] = kPunctuation;
    }
    classes['#'] = kHash;
    classes['/'] = kSlash;
    classes['"'] = kQuote;
    classes['<'] = kLess;
    return classes;
}

constexpr std::array<CharClass, 256> kClasses = makeClasses();

CharClass classOf(char c) {
    return kClasses[static_cast<unsigned char>(c)];
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isNameChar(char c) {
    const CharClass type = classOf(c);
    return type == kLetter || type == kDigit || c == '-';
}

int punctuationToken(char c) {
    switch (c) {
    case '{':
        return token::kOpenBrace;
    case '}':
        return token::kCloseBrace;
    case '(':
        return token::kOpenParen;
    case ')':
        return token::kCloseParen;
    case '[':
        return token::kOpenBracket;
    case ']':
        return token::kCloseBracket;
    case ',':
        return token::kComma;
    case ';':
        return token::kSemicolon;
    default:
        return token::kDot;
    }
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::uint32_t hexField(const char* text, int digits) {
    std::uint32_t value = 0;
    for (int i = 0; i < digits; ++i) {
        value = (value << 4) | static_cast<std::uint32_t>(hexValue(text[i]));
    }
    return value;
}

char asciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool keywordEquals(std::string_view keyword, std::string_view name) {
    if (keyword.size() != name.size()) {
        return false;
    }
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (asciiUpper(name[i]) != keyword[i]) {
            return false;
        }
    }
    return true;
}

void setText(SemanticValue& value, const char* text, std::size_t length) {
    value.text = TextRef{text, static_cast<std::uint32_t>(length), true};
}

std::uint32_t floatBits(float value) {
    return std::bit_cast<std::uint32_t>(value);
}

} // namespace

int keywordToken(std::string_view name) {
    if (name.size() < 4 || name.size() > 15) {
        return 0;
    }
    for (const Keyword& keyword : kKeywords) {
        if (keywordEquals(keyword.text, name)) {
            return keyword.code;
        }
    }
    return 0;
}

std::string_view keywordText(int code) {
    for (const Keyword& keyword : kKeywords) {
        if (keyword.code == code) {
            return keyword.text;
        }
    }
    return {};
}

TextTokenizer::TextTokenizer(std::span<const std::byte> body)
    : mPosition(reinterpret_cast<const char*>(body.data()))
    , mEnd(reinterpret_cast<const char*>(body.data()) + body.size()) {}

int TextTokenizer::next(SemanticValue& value) {
    if (mFinished) {
        return token::kEnd;
    }
    while (mPosition != mEnd) {
        const char c = *mPosition;
        switch (classOf(c)) {
        case kSpace:
            // Indentation comes in runs; skip a run in one tight loop.
            do {
                ++mPosition;
            } while (mPosition != mEnd && classOf(*mPosition) == kSpace);
            continue;
        case kHash:
            mPosition = static_cast<const char*>(std::memchr(mPosition, '\n', mEnd - mPosition));
            if (mPosition == nullptr) {
                mPosition = mEnd;
            }
            continue;
        case kSlash:
            if (mEnd - mPosition < 2 || mPosition[1] != '/') {
                return token::kError;
            }
            mPosition = static_cast<const char*>(std::memchr(mPosition, '\n', mEnd - mPosition));
            if (mPosition == nullptr) {
                mPosition = mEnd;
            }
            continue;
        case kPunctuation:
            ++mPosition;
            return punctuationToken(c);
        case kLetter:
            return readName(value);
        case kDigit:
        case kSign:
            return readNumber(value);
        case kQuote:
            return readString(value);
        case kLess:
            return readGuid(value);
        case kOther:
            return token::kError;
        }
    }
    mFinished = true;
    return token::kEnd;
}

int TextTokenizer::readName(SemanticValue& value) {
    const char* start = mPosition;
    ++mPosition;
    while (mPosition != mEnd && isNameChar(*mPosition)) {
        ++mPosition;
    }
    const std::size_t length = static_cast<std::size_t>(mPosition - start);
    // The keyword check sees the whole name; the value keeps at most 511 characters.
    const int keyword = keywordToken(std::string_view(start, length));
    if (keyword == token::kBinaryResource) {
        mFinished = true;
        return token::kEnd;
    }
    setText(value, start, std::min(length, kMaxTextLength));
    return keyword != 0 ? keyword : token::kName;
}

int TextTokenizer::readString(SemanticValue& value) {
    ++mPosition; // opening quote
    const char* start = mPosition;
    // Fast path: no escapes, the text is used in place.
    while (mPosition != mEnd && *mPosition != '"' && *mPosition != '\\') {
        ++mPosition;
    }
    if (mPosition == mEnd) {
        return token::kError;
    }
    if (*mPosition == '"') {
        setText(value, start, std::min<std::size_t>(mPosition - start, kMaxTextLength));
        ++mPosition;
        return token::kString;
    }
    std::string& text =
        mUnescaped.emplace_back(start, std::min<std::size_t>(mPosition - start, kMaxTextLength));
    auto append = [&text](char c) {
        if (text.size() < kMaxTextLength) {
            text.push_back(c);
        }
    };
    while (true) {
        if (mPosition == mEnd) {
            return token::kError;
        }
        const char c = *mPosition++;
        if (c == '"') {
            break;
        }
        if (c != '\\') {
            append(c);
            continue;
        }
        if (mPosition == mEnd) {
            return token::kError;
        }
        const char escaped = *mPosition++;
        switch (escaped) {
        case 'b':
            append('\b');
            break;
        case 'e':
            append('\x1B');
            break;
        case 'f':
            append('\f');
            break;
        case 'n':
            append('\n');
            break;
        case 'r':
            append('\r');
            break;
        case 't':
            append('\t');
            break;
        case 'v':
            append('\v');
            break;
        case '0': {
            // Up to three more digits, read as octal; the first non-digit is ordinary text.
            unsigned octal = 0;
            for (int digits = 0; digits < 3 && mPosition != mEnd && isDigit(*mPosition); ++digits) {
                octal = octal * 8 + static_cast<unsigned>(*mPosition++ - '0');
            }
            append(static_cast<char>(octal & 0xFF));
            break;
        }
        default:
            append(escaped);
            break;
        }
    }
    setText(value, text.data(), text.size());
    return token::kString;
}

int TextTokenizer::readGuid(SemanticValue& value) {
    constexpr std::size_t kGuidLength = 36;
    ++mPosition; // '<'
    const char* start = mPosition;
    // The collector stops at the first character that is neither hex digit nor hyphen, or
    // once it holds more than a GUID's worth.
    while (mPosition != mEnd && static_cast<std::size_t>(mPosition - start) <= kGuidLength &&
           (hexValue(*mPosition) >= 0 || *mPosition == '-')) {
        ++mPosition;
    }
    if (mPosition == mEnd || *mPosition != '>' ||
        static_cast<std::size_t>(mPosition - start) != kGuidLength) {
        return token::kError;
    }
    for (std::size_t i = 0; i < kGuidLength; ++i) {
        const bool hyphenPlace = i == 8 || i == 13 || i == 18 || i == 23;
        if (hyphenPlace != (start[i] == '-')) {
            return token::kError;
        }
    }
    ++mPosition; // '>'
    GUID guid{};
    guid.Data1 = hexField(start, 8);
    guid.Data2 = static_cast<WORD>(hexField(start + 9, 4));
    guid.Data3 = static_cast<WORD>(hexField(start + 14, 4));
    guid.Data4[0] = static_cast<BYTE>(hexField(start + 19, 2));
    guid.Data4[1] = static_cast<BYTE>(hexField(start + 21, 2));
    for (int i = 0; i < 6; ++i) {
        guid.Data4[2 + i] = static_cast<BYTE>(hexField(start + 24 + 2 * i, 2));
    }
    value.guid = guid;
    return token::kGuid;
}

int TextTokenizer::readNumber(SemanticValue& value) {
    bool negative = false;
    if (*mPosition == '+' || *mPosition == '-') {
        negative = *mPosition == '-';
        ++mPosition;
    }
    const char* digits = mPosition;
    // Integers convert like a 32-bit strtol: out-of-range values saturate.
    std::uint64_t magnitude = 0;
    constexpr std::uint64_t kSaturated = std::uint64_t{1} << 32;
    while (mPosition != mEnd && isDigit(*mPosition)) {
        if (magnitude < kSaturated) {
            magnitude = magnitude * 10 + static_cast<unsigned>(*mPosition - '0');
        }
        ++mPosition;
    }
    if (mPosition == mEnd || *mPosition != '.') {
        std::int64_t signedValue =
            negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
        if (signedValue > std::numeric_limits<std::int32_t>::max()) {
            signedValue = std::numeric_limits<std::int32_t>::max();
        } else if (signedValue < std::numeric_limits<std::int32_t>::min()) {
            signedValue = std::numeric_limits<std::int32_t>::min();
        }
        value.word = static_cast<std::uint32_t>(static_cast<std::int32_t>(signedValue));
        return token::kInteger;
    }
    // A full stop makes it a float: fraction digits, then an optional exponent.
    ++mPosition;
    while (mPosition != mEnd && isDigit(*mPosition)) {
        ++mPosition;
    }
    if (mPosition != mEnd && (*mPosition == 'e' || *mPosition == 'E')) {
        ++mPosition;
        if (mPosition != mEnd && (*mPosition == '+' || *mPosition == '-')) {
            ++mPosition;
        }
        while (mPosition != mEnd && isDigit(*mPosition)) {
            ++mPosition;
        }
    }
    // Converted to double and then narrowed, as a string-to-double conversion followed by a
    // float store would; from_chars rounds correctly and ignores the locale. Characters it
    // does not take (a bare exponent letter) are dropped, as such a conversion would.
    const char* convertFrom = negative ? digits - 1 : digits;
    double converted = 0.0;
    const std::errc error = std::from_chars(convertFrom, mPosition, converted).ec;
    if (error == std::errc::result_out_of_range) {
        // Too large becomes infinity, too small zero, with the sign kept.
        const char* exponent =
            std::find_if(convertFrom, mPosition, [](char c) { return c == 'e' || c == 'E'; });
        const bool tiny = exponent != mPosition && exponent + 1 != mPosition && exponent[1] == '-';
        converted = tiny ? 0.0 : std::numeric_limits<double>::infinity();
        converted = negative ? -converted : converted;
    } else if (error != std::errc()) {
        converted = 0.0;
    }
    value.word = floatBits(static_cast<float>(converted));
    return token::kFloat;
}

BinaryTokenizer::BinaryTokenizer(std::span<const std::byte> body, unsigned floatBytes)
    : mBody(body)
    , mFloatBytes(floatBytes) {}

bool BinaryTokenizer::readDword(std::uint32_t* value) {
    if (4 > mBody.size() - mOffset) {
        return false;
    }
    *value = base::readLE32(mBody, mOffset);
    mOffset += 4;
    return true;
}

int BinaryTokenizer::next(SemanticValue& value) {
    if (mFinished || mOffset == mBody.size()) {
        mFinished = true;
        return token::kEnd;
    }
    if (2 > mBody.size() - mOffset) {
        return token::kError;
    }
    const int code = base::readLE16(mBody, mOffset);
    mOffset += 2;
    switch (code) {
    case token::kName:
    case token::kString: {
        std::uint32_t length = 0;
        if (!readDword(&length) || length > mBody.size() - mOffset) {
            return token::kError;
        }
        setText(value, reinterpret_cast<const char*>(mBody.data() + mOffset),
                std::min<std::size_t>(length, kMaxTextLength));
        mOffset += length;
        return code;
    }
    case token::kInteger: {
        std::uint32_t word = 0;
        if (!readDword(&word)) {
            return token::kError;
        }
        value.word = word;
        return code;
    }
    case token::kFloat:
        if (mFloatBytes > mBody.size() - mOffset) {
            return token::kError;
        }
        value.word = mFloatBytes == 8
                         ? floatBits(static_cast<float>(base::readLEDouble(mBody, mOffset)))
                         : base::readLE32(mBody, mOffset);
        mOffset += mFloatBytes;
        return code;
    case token::kGuid: {
        if (16 > mBody.size() - mOffset) {
            return token::kError;
        }
        GUID guid{};
        guid.Data1 = base::readLE32(mBody, mOffset);
        guid.Data2 = base::readLE16(mBody, mOffset + 4);
        guid.Data3 = base::readLE16(mBody, mOffset + 6);
        for (int i = 0; i < 8; ++i) {
            guid.Data4[i] = std::to_integer<BYTE>(mBody[mOffset + 8 + i]);
        }
        value.guid = guid;
        mOffset += 16;
        return code;
    }
    case token::kIntegerList:
    case token::kFloatList: {
        std::uint32_t count = 0;
        const std::size_t elementBytes = code == token::kIntegerList ? 4 : mFloatBytes;
        // Checked against what is left before anything trusts the count.
        if (!readDword(&count) || count > (mBody.size() - mOffset) / elementBytes) {
            return token::kError;
        }
        value.list = ListRef{mBody.data() + mOffset, count};
        mOffset += count * elementBytes;
        return code;
    }
    case token::kOpenBrace:
    case token::kCloseBrace:
    case token::kOpenParen:
    case token::kCloseParen:
    case token::kOpenBracket:
    case token::kCloseBracket:
    case token::kOpenAngle:
    case token::kCloseAngle:
    case token::kDot:
    case token::kComma:
    case token::kSemicolon:
        return code;
    case token::kBinaryResource:
        mFinished = true;
        return token::kEnd;
    default: {
        const std::string_view text = keywordText(code);
        if (text.empty()) {
            return token::kError;
        }
        setText(value, text.data(), text.size());
        return code;
    }
    }
}

} // namespace halv::xfile::detail
