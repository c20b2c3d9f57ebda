// The user's locale as a Windows LCID, and switching the numeric locale of the calling thread.
#pragma once

#include "base/win_types.h"

#include <string_view>

#include <locale.h>

// From LC_ALL, then LC_MESSAGES, then LANG (the first one set and not empty): "de_DE.UTF-8"
// is 0x0407, "de_CH" 0x0807, "de_AT" 0x0C07, "en_US" 0x0409. A known language with an unknown
// or missing territory gets its default sub-language; "C", "POSIX", nothing set or an unknown
// language give 0x0409.
LCID GetUserDefaultLCID();

namespace halv::base {

// The LCID for one locale name such as "de_CH.UTF-8@euro".
LCID lcidFromLocaleName(std::string_view name);

// Switches the calling thread's numeric locale to "C" for the lifetime of the object and
// restores the previous one on every path. The rest of the thread's locale is unchanged.
class ScopedNumericLocale {
public:
    ScopedNumericLocale();
    ~ScopedNumericLocale();
    ScopedNumericLocale(const ScopedNumericLocale&) = delete;
    ScopedNumericLocale& operator=(const ScopedNumericLocale&) = delete;

    // False when the "C" locale could not be made; the thread's locale is then untouched.
    bool active() const { return mSwitched != nullptr; }

private:
    locale_t mPrevious = nullptr;
    locale_t mSwitched = nullptr;
};

} // namespace halv::base
