// GUID with comparison, the way COM interfaces and .x templates identify themselves.
#pragma once

#include "base/win_types.h"

#include <string>

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];

    friend constexpr bool operator==(const GUID& a, const GUID& b) {
        if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) {
            return false;
        }
        for (int i = 0; i < 8; ++i) {
            if (a.Data4[i] != b.Data4[i]) {
                return false;
            }
        }
        return true;
    }
};
static_assert(sizeof(GUID) == 16);

using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

inline constexpr bool IsEqualGUID(REFGUID a, REFGUID b) {
    return a == b;
}
inline constexpr bool IsEqualIID(REFIID a, REFIID b) {
    return a == b;
}

namespace halv::base {

// Registry format, upper case: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
std::string guidToString(const GUID& guid);

} // namespace halv::base
