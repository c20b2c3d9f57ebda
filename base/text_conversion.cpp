#include "base/text_conversion.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

namespace halv::base {
namespace {

thread_local DWORD tLastError = 0;

// Code page 1252 bytes 0x80-0x9F; the five bytes the code page leaves undefined map to the
// C1 control of the same value, as Windows does.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t cp1252ToUnicode(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F) {
        return kCp1252High[byte - 0x80];
    }
    return byte;
}

bool unicodeToCp1252(char16_t c, unsigned char* byte) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        *byte = static_cast<unsigned char>(c);
        return true;
    }
    for (std::size_t i = 0; i < kCp1252High.size(); ++i) {
        if (kCp1252High[i] == c) {
            *byte = static_cast<unsigned char>(0x80 + i);
            return true;
        }
    }
    return false;
}

unsigned char foldCp1252(unsigned char c) {
    if (c >= 'a' && c <= 'z') {
        return static_cast<unsigned char>(c - 'a' + 'A');
    }
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) {
        return static_cast<unsigned char>(c - 0x20);
    }
    switch (c) {
    case 0x9A: // š
    case 0x9C: // œ
    case 0x9E: // ž
        return static_cast<unsigned char>(c - 0x10);
    case 0xFF: // ÿ
        return 0x9F;
    default:
        return c;
    }
}

bool isAnsiCodePage(UINT codePage) {
    return codePage == CP_ACP || codePage == CP_OEMCP || codePage == CP_THREAD_ACP ||
           codePage == CP_1252;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void appendUtf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 | (c >> 10));
        out += static_cast<char16_t>(0xDC00 | (c & 0x3FF));
    }
}

int fail(DWORD error) {
    tLastError = error;
    return 0;
}

// Copies a converted string into a caller's buffer with the Win32 size rules.
template <class Char>
int deliver(const std::basic_string<Char>& converted, Char* out, int outCount) {
    if (converted.size() > static_cast<std::size_t>(INT_MAX)) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    const int needed = static_cast<int>(converted.size());
    if (outCount == 0) {
        return needed;
    }
    if (needed > outCount) {
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::copy(converted.begin(), converted.end(), out);
    return needed;
}

} // namespace

std::u16string utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int extra = 0;
        char32_t c = 0;
        char32_t minimum = 0;
        if (lead < 0x80) {
            c = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
            c = lead & 0x1F;
            minimum = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2;
            c = lead & 0x0F;
            minimum = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
            c = lead & 0x07;
            minimum = 0x10000;
        } else {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        std::size_t used = 1;
        bool valid = true;
        for (int k = 0; k < extra; ++k) {
            if (i + used >= text.size() ||
                (static_cast<unsigned char>(text[i + used]) & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            c = (c << 6) | (static_cast<unsigned char>(text[i + used]) & 0x3F);
            ++used;
        }
        if (!valid || c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out += u'\uFFFD';
        } else {
            appendUtf16(out, c);
        }
        i += used;
    }
    return out;
}

std::string utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        appendUtf8(out, c);
    }
    return out;
}

std::u16string ansiToWide(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (char c : text) {
        out += cp1252ToUnicode(static_cast<unsigned char>(c));
    }
    return out;
}

std::string wideToAnsi(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        unsigned char byte = '?';
        if (!unicodeToCp1252(c, &byte)) {
            byte = '?';
        }
        out += static_cast<char>(byte);
    }
    return out;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return foldCp1252(static_cast<unsigned char>(x)) ==
                      foldCp1252(static_cast<unsigned char>(y));
           });
}

std::string foldCase(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) {
        c = static_cast<char>(foldCp1252(static_cast<unsigned char>(c)));
    }
    return folded;
}

char16_t toUpperWide(char16_t c) {
    unsigned char byte = 0;
    if (unicodeToCp1252(c, &byte)) {
        return cp1252ToUnicode(foldCp1252(byte));
    }
    return c;
}

bool equalsIgnoreCase(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char16_t x, char16_t y) { return toUpperWide(x) == toUpperWide(y); });
}

std::size_t wideLength(const WCHAR* text) {
    std::size_t length = 0;
    while (text[length] != 0) {
        ++length;
    }
    return length;
}

LONG wideToLong(const WCHAR* text, const WCHAR** end, int base) {
    const WCHAR* p = text;
    while (*p == u' ' || (*p >= u'\t' && *p <= u'\r')) {
        ++p;
    }
    bool negative = false;
    if (*p == u'+' || *p == u'-') {
        negative = *p == u'-';
        ++p;
    }
    auto digitValue = [](WCHAR c) -> int {
        if (c >= u'0' && c <= u'9') {
            return c - u'0';
        }
        if (c >= u'a' && c <= u'z') {
            return c - u'a' + 10;
        }
        if (c >= u'A' && c <= u'Z') {
            return c - u'A' + 10;
        }
        return 99;
    };
    if ((base == 0 || base == 16) && p[0] == u'0' && (p[1] == u'x' || p[1] == u'X') &&
        digitValue(p[2]) < 16) {
        p += 2;
        base = 16;
    } else if (base == 0) {
        base = p[0] == u'0' ? 8 : 10;
    }
    if (base < 2 || base > 36) {
        if (end != nullptr) {
            *end = text;
        }
        return 0;
    }
    const long long limit = negative ? 2147483648LL : 2147483647LL;
    long long value = 0;
    bool any = false;
    while (digitValue(*p) < base) {
        value = std::min(value * base + digitValue(*p), limit);
        any = true;
        ++p;
    }
    if (end != nullptr) {
        *end = any ? p : text;
    }
    return static_cast<LONG>(negative ? -value : value);
}

} // namespace halv::base

DWORD GetLastError() {
    return halv::base::tLastError;
}

void SetLastError(DWORD error) {
    halv::base::tLastError = error;
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int count, LPWSTR wide,
                        int wideCount) {
    using namespace halv::base;
    (void)flags;
    if (multiByte == nullptr || count == 0 || count < -1 || wideCount < 0 ||
        (wideCount > 0 && wide == nullptr)) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    const std::size_t length =
        count == -1 ? std::strlen(multiByte) + 1 : static_cast<std::size_t>(count);
    const std::string_view source(multiByte, length);
    std::u16string converted;
    if (isAnsiCodePage(codePage)) {
        converted = ansiToWide(source);
    } else if (codePage == CP_UTF8) {
        converted = utf8ToUtf16(source);
    } else {
        return fail(ERROR_INVALID_PARAMETER);
    }
    return deliver(converted, wide, wideCount);
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int count, LPSTR multiByte,
                        int multiByteCount, LPCSTR defaultChar, LPBOOL usedDefaultChar) {
    using namespace halv::base;
    (void)flags;
    if (wide == nullptr || count == 0 || count < -1 || multiByteCount < 0 ||
        (multiByteCount > 0 && multiByte == nullptr)) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    const std::size_t length = count == -1 ? wideLength(wide) + 1 : static_cast<std::size_t>(count);
    const std::u16string_view source(wide, length);
    std::string converted;
    if (isAnsiCodePage(codePage)) {
        const char replacement = defaultChar != nullptr ? *defaultChar : '?';
        bool replaced = false;
        converted.reserve(length);
        for (char16_t c : source) {
            unsigned char byte = 0;
            if (unicodeToCp1252(c, &byte)) {
                converted += static_cast<char>(byte);
            } else {
                converted += replacement;
                replaced = true;
            }
        }
        if (usedDefaultChar != nullptr) {
            *usedDefaultChar = replaced ? TRUE : FALSE;
        }
    } else if (codePage == CP_UTF8) {
        if (defaultChar != nullptr || usedDefaultChar != nullptr) {
            return fail(ERROR_INVALID_PARAMETER);
        }
        converted = utf16ToUtf8(source);
    } else {
        return fail(ERROR_INVALID_PARAMETER);
    }
    return deliver(converted, multiByte, multiByteCount);
}

int CompareStringA(LCID locale, DWORD flags, LPCSTR string1, int count1, LPCSTR string2,
                   int count2) {
    using namespace halv::base;
    (void)locale;
    if (string1 == nullptr || string2 == nullptr || count1 < -1 || count2 < -1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::size_t length1 =
        count1 == -1 ? std::strlen(string1) : static_cast<std::size_t>(count1);
    const std::size_t length2 =
        count2 == -1 ? std::strlen(string2) : static_cast<std::size_t>(count2);
    const bool ignoreCase = (flags & NORM_IGNORECASE) != 0;
    const std::size_t shorter = std::min(length1, length2);
    for (std::size_t i = 0; i < shorter; ++i) {
        unsigned char a = static_cast<unsigned char>(string1[i]);
        unsigned char b = static_cast<unsigned char>(string2[i]);
        if (ignoreCase) {
            a = foldCp1252(a);
            b = foldCp1252(b);
        }
        if (a != b) {
            return a < b ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
        }
    }
    if (length1 == length2) {
        return CSTR_EQUAL;
    }
    return length1 < length2 ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
}
