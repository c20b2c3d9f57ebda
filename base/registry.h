// Registry reads over environment variables. Only HKEY_LOCAL_MACHINE
// "Software\Microsoft\Direct3D" exists; its value NAME is the environment variable NAME, a
// REG_DWORD when it parses as a decimal or 0x-hexadecimal 32-bit number, REG_SZ otherwise.
#pragma once

#include "base/win_types.h"

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000002u)))

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_DWORD = 4;

// Opens `subKey` below `key`. Returns ERROR_SUCCESS and a handle for the Direct3D key,
// ERROR_FILE_NOT_FOUND for any other, ERROR_INVALID_PARAMETER for a null out-pointer.
LONG RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result);

// Reads a value of an open key. `type`, `data` and `dataSize` may each be null; with `data`
// null (or too small: ERROR_MORE_DATA) only the size is reported. Missing values give
// ERROR_FILE_NOT_FOUND.
LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize);

LONG RegCloseKey(HKEY key);

namespace halv::base {

// The REG_DWORD reading of a value's text: decimal or 0x/0X hexadecimal, the whole text, at
// most 32 bits. Anything else is not a number.
bool parseRegistryDword(const char* text, DWORD* value);

} // namespace halv::base
