#include "base/registry.h"

#include "base/environment.h"
#include "base/text_conversion.h"

#include <charconv>
#include <cstring>
#include <string>

namespace halv::base {
namespace {

constexpr const char kDirect3DKey[] = "Software\\Microsoft\\Direct3D";

// The handle RegOpenKeyA gives out for the one key that exists.
int gDirect3DKeyMarker;

HKEY direct3DKey() {
    return reinterpret_cast<HKEY>(&gDirect3DKeyMarker);
}

} // namespace

bool parseRegistryDword(const char* text, DWORD* value) {
    if (text == nullptr || *text == '\0') {
        return false;
    }
    const char* begin = text;
    const char* end = text + std::strlen(text);
    int base = 10;
    if (end - begin > 2 && begin[0] == '0' && (begin[1] == 'x' || begin[1] == 'X')) {
        begin += 2;
        base = 16;
    }
    DWORD parsed = 0;
    const auto [stop, error] = std::from_chars(begin, end, parsed, base);
    if (error != std::errc() || stop != end) {
        return false;
    }
    *value = parsed;
    return true;
}

} // namespace halv::base

LONG RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result) {
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (key == HKEY_LOCAL_MACHINE && subKey != nullptr &&
        halv::base::equalsIgnoreCase(subKey, halv::base::kDirect3DKey)) {
        *result = halv::base::direct3DKey();
        return ERROR_SUCCESS;
    }
    return ERROR_FILE_NOT_FOUND;
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize) {
    if (key != halv::base::direct3DKey()) {
        return ERROR_INVALID_HANDLE;
    }
    if (reserved != nullptr || (data != nullptr && dataSize == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    if (valueName == nullptr || *valueName == '\0') {
        return ERROR_FILE_NOT_FOUND;
    }
    const std::optional<std::string> text = halv::base::getEnvironmentVariable(valueName);
    if (!text) {
        return ERROR_FILE_NOT_FOUND;
    }

    DWORD number = 0;
    const bool isDword = halv::base::parseRegistryDword(text->c_str(), &number);
    const DWORD valueType = isDword ? REG_DWORD : REG_SZ;
    const DWORD needed = isDword ? sizeof(DWORD) : static_cast<DWORD>(text->size() + 1);
    if (type != nullptr) {
        *type = valueType;
    }
    if (dataSize == nullptr) {
        return ERROR_SUCCESS;
    }
    const DWORD available = *dataSize;
    *dataSize = needed;
    if (data == nullptr) {
        return ERROR_SUCCESS;
    }
    if (available < needed) {
        return ERROR_MORE_DATA;
    }
    if (isDword) {
        std::memcpy(data, &number, sizeof number);
    } else {
        std::memcpy(data, text->c_str(), needed);
    }
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
    return key == halv::base::direct3DKey() ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
