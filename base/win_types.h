// The Win32 base types, handles and helper macros the rest of the system is written against,
// declared here from their published definitions (LP64: LONG and DWORD stay 32 bits).
#pragma once

#include <cstddef>
#include <cstdint>

using BYTE = std::uint8_t;
using CHAR = char;
using UCHAR = unsigned char;
using WCHAR = char16_t;
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using WORD = std::uint16_t;
using INT = std::int32_t;
using UINT = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using DWORD = std::uint32_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using FLOAT = float;
using BOOL = std::int32_t;
using HRESULT = std::int32_t;
using INT_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using ULONG_PTR = std::uintptr_t;
using DWORD_PTR = std::uintptr_t;
using SIZE_T = std::size_t;
using WPARAM = UINT_PTR;
using LPARAM = LONG_PTR;
using LRESULT = LONG_PTR;
using LCID = DWORD;
using LANGID = WORD;
using ATOM = WORD;

using LPVOID = void*;
using LPCVOID = const void*;
using LPSTR = char*;
using LPCSTR = const char*;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using LPBYTE = BYTE*;
using LPDWORD = DWORD*;
using LPBOOL = BOOL*;

// Macros, as on Windows, so they coexist with libraries that define them the same way.
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
inline constexpr DWORD MAX_PATH = 260;

// Opaque handles: distinct pointer types, as with STRICT on Windows.
#define HALV_DECLARE_HANDLE(name)                                                                  \
    struct name##__;                                                                               \
    using name = name##__*
HALV_DECLARE_HANDLE(HWND);
HALV_DECLARE_HANDLE(HINSTANCE);
HALV_DECLARE_HANDLE(HICON);
HALV_DECLARE_HANDLE(HCURSOR);
HALV_DECLARE_HANDLE(HBRUSH);
HALV_DECLARE_HANDLE(HMENU);
HALV_DECLARE_HANDLE(HDC);
HALV_DECLARE_HANDLE(HFONT);
HALV_DECLARE_HANDLE(HBITMAP);
HALV_DECLARE_HANDLE(HKEY);
HALV_DECLARE_HANDLE(HRSRC);
HALV_DECLARE_HANDLE(HMONITOR);
#undef HALV_DECLARE_HANDLE
using HMODULE = HINSTANCE;
using HGLOBAL = void*;
using HANDLE = void*;
using PHKEY = HKEY*;

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};

struct POINT {
    LONG x;
    LONG y;
};

struct SIZE {
    LONG cx;
    LONG cy;
};

union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
};

static_assert(sizeof(RECT) == 16 && sizeof(POINT) == 8 && sizeof(LARGE_INTEGER) == 8);

// Resource identifiers: a number below 0x10000 travels in the pointer itself.
inline bool IS_INTRESOURCE(const void* p) {
    return (reinterpret_cast<ULONG_PTR>(p) >> 16) == 0;
}
inline LPCWSTR MAKEINTRESOURCEW(WORD id) {
    return reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(id));
}
inline LPCSTR MAKEINTRESOURCEA(WORD id) {
    return reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(id));
}

inline constexpr WORD LOWORD(DWORD_PTR value) {
    return static_cast<WORD>(value & 0xFFFF);
}
inline constexpr WORD HIWORD(DWORD_PTR value) {
    return static_cast<WORD>((value >> 16) & 0xFFFF);
}
inline constexpr BYTE LOBYTE(DWORD_PTR value) {
    return static_cast<BYTE>(value & 0xFF);
}
inline constexpr DWORD MAKELONG(WORD low, WORD high) {
    return static_cast<DWORD>(low) | (static_cast<DWORD>(high) << 16);
}
inline constexpr LANGID MAKELANGID(WORD primary, WORD sub) {
    return static_cast<LANGID>((sub << 10) | primary);
}
inline constexpr WORD PRIMARYLANGID(LANGID id) {
    return static_cast<WORD>(id & 0x3FF);
}
inline constexpr WORD SUBLANGID(LANGID id) {
    return static_cast<WORD>(id >> 10);
}

// Win32 error codes returned by the registry and text functions.
inline constexpr LONG ERROR_SUCCESS = 0;
inline constexpr LONG ERROR_FILE_NOT_FOUND = 2;
inline constexpr LONG ERROR_INVALID_HANDLE = 6;
inline constexpr LONG ERROR_INVALID_PARAMETER = 87;
inline constexpr LONG ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr LONG ERROR_MORE_DATA = 234;
inline constexpr LONG ERROR_NO_UNICODE_TRANSLATION = 1113;
