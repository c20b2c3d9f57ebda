// Text conversion as Win32 gives it: CP_ACP is code page 1252 in both directions, CP_UTF8 is
// UTF-8; WCHAR strings are UTF-16. Also the char16_t string helpers the C library lacks.
#pragma once

#include "base/win_types.h"

#include <string>
#include <string_view>

inline constexpr UINT CP_ACP = 0;
inline constexpr UINT CP_OEMCP = 1;
inline constexpr UINT CP_THREAD_ACP = 3;
inline constexpr UINT CP_1252 = 1252;
inline constexpr UINT CP_UTF8 = 65001;

inline constexpr DWORD NORM_IGNORECASE = 0x00000001;
inline constexpr int CSTR_LESS_THAN = 1;
inline constexpr int CSTR_EQUAL = 2;
inline constexpr int CSTR_GREATER_THAN = 3;

// The last error of the calling thread, set by the functions of this header.
DWORD GetLastError();
void SetLastError(DWORD error);

// Converts `count` bytes (-1: up to and including the terminator) to UTF-16. With
// `wideCount` 0 it returns the characters needed and writes nothing. Returns the characters
// written, or 0 with GetLastError() set: ERROR_INVALID_PARAMETER for a bad argument or code
// page, ERROR_INSUFFICIENT_BUFFER when the output is too small (nothing is written then).
// Invalid UTF-8 becomes U+FFFD.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int count, LPWSTR wide,
                        int wideCount);

// The reverse. Characters code page 1252 lacks become `defaultChar` (or '?'), and
// *usedDefaultChar tells whether that happened; both must be null for CP_UTF8. Unpaired
// surrogates become U+FFFD in UTF-8.
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int count, LPSTR multiByte,
                        int multiByteCount, LPCSTR defaultChar, LPBOOL usedDefaultChar);

// Compares two code-page-1252 strings (counts of -1: terminated) and returns CSTR_LESS_THAN,
// CSTR_EQUAL or CSTR_GREATER_THAN, or 0 on a bad argument. NORM_IGNORECASE folds letters,
// accented ones included; the order is that of the folded bytes.
int CompareStringA(LCID locale, DWORD flags, LPCSTR string1, int count1, LPCSTR string2,
                   int count2);

namespace halv::base {

std::u16string utf8ToUtf16(std::string_view text);
std::string utf16ToUtf8(std::u16string_view text);
std::u16string ansiToWide(std::string_view text);
// Characters outside code page 1252 become '?'.
std::string wideToAnsi(std::u16string_view text);

// Case-insensitive equality in code page 1252.
bool equalsIgnoreCase(std::string_view a, std::string_view b);
// `text` with every byte folded the way equalsIgnoreCase compares them: two texts are equal
// ignoring case exactly when their folded forms are equal.
std::string foldCase(std::string_view text);
bool equalsIgnoreCase(std::u16string_view a, std::u16string_view b);
char16_t toUpperWide(char16_t c);

// Length of a terminated wide string.
std::size_t wideLength(const WCHAR* text);

// wcstol for WCHAR: leading white space, an optional sign, then digits of `base` (0 picks 8,
// 10 or 16 by prefix as the C library does). Saturates at the 32-bit LONG limits. *end, when
// given, points past the last character used (at `text` when none was).
LONG wideToLong(const WCHAR* text, const WCHAR** end, int base);

} // namespace halv::base
