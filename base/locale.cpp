#include "base/locale.h"

#include "base/environment.h"

#include <string>

namespace halv::base {
namespace {

struct LanguageEntry {
    const char* language;
    WORD primary;
};

// ISO 639-1 codes to Windows primary language ids.
constexpr LanguageEntry kLanguages[] = {
    {"ar", 0x01}, {"bg", 0x02}, {"ca", 0x03}, {"zh", 0x04}, {"cs", 0x05}, {"da", 0x06},
    {"de", 0x07}, {"el", 0x08}, {"en", 0x09}, {"es", 0x0A}, {"fi", 0x0B}, {"fr", 0x0C},
    {"he", 0x0D}, {"hu", 0x0E}, {"is", 0x0F}, {"it", 0x10}, {"ja", 0x11}, {"ko", 0x12},
    {"nl", 0x13}, {"nb", 0x14}, {"no", 0x14}, {"pl", 0x15}, {"pt", 0x16}, {"ro", 0x18},
    {"ru", 0x19}, {"hr", 0x1A}, {"sk", 0x1B}, {"sv", 0x1D}, {"th", 0x1E}, {"tr", 0x1F},
    {"uk", 0x22}, {"sl", 0x24}, {"et", 0x25}, {"lv", 0x26}, {"lt", 0x27}, {"vi", 0x2A},
};

struct TerritoryEntry {
    const char* language;
    const char* territory;
    WORD sub;
};

// Territories whose sub-language is not the default (1).
constexpr TerritoryEntry kTerritories[] = {
    {"de", "CH", 0x02}, {"de", "AT", 0x03}, {"de", "LU", 0x04}, {"de", "LI", 0x05},
    {"en", "GB", 0x02}, {"en", "AU", 0x03}, {"en", "CA", 0x04}, {"en", "NZ", 0x05},
    {"en", "IE", 0x06}, {"en", "ZA", 0x07}, {"fr", "BE", 0x02}, {"fr", "CA", 0x03},
    {"fr", "CH", 0x04}, {"fr", "LU", 0x05}, {"it", "CH", 0x02}, {"nl", "BE", 0x02},
    {"pt", "PT", 0x02}, {"es", "MX", 0x02}, {"es", "ES", 0x03}, {"sv", "FI", 0x02},
    {"zh", "CN", 0x02}, {"zh", "HK", 0x03}, {"zh", "SG", 0x04},
};

constexpr LCID kEnglishUnitedStates = 0x0409;

} // namespace

LCID lcidFromLocaleName(std::string_view name) {
    // language[_territory][.codeset][@modifier]
    const std::string_view withoutModifier = name.substr(0, name.find('@'));
    const std::string_view tag = withoutModifier.substr(0, withoutModifier.find('.'));
    const std::size_t underscore = tag.find('_');
    const std::string_view language = tag.substr(0, underscore);
    const std::string_view territory =
        underscore == std::string_view::npos ? std::string_view() : tag.substr(underscore + 1);

    for (const LanguageEntry& entry : kLanguages) {
        if (language != entry.language) {
            continue;
        }
        WORD sub = 0x01;
        for (const TerritoryEntry& special : kTerritories) {
            if (language == special.language && territory == special.territory) {
                sub = special.sub;
            }
        }
        return MAKELANGID(entry.primary, sub);
    }
    return kEnglishUnitedStates;
}

ScopedNumericLocale::ScopedNumericLocale() {
    const locale_t current = uselocale(static_cast<locale_t>(nullptr));
    const locale_t copy = duplocale(current);
    if (copy == nullptr) {
        return;
    }
    mSwitched = newlocale(LC_NUMERIC_MASK, "C", copy);
    if (mSwitched == nullptr) {
        freelocale(copy);
        return;
    }
    mPrevious = uselocale(mSwitched);
}

ScopedNumericLocale::~ScopedNumericLocale() {
    if (mSwitched != nullptr) {
        uselocale(mPrevious);
        freelocale(mSwitched);
    }
}

} // namespace halv::base

LCID GetUserDefaultLCID() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const std::optional<std::string> value = halv::base::getEnvironmentVariable(variable);
        if (value && !value->empty()) {
            return halv::base::lcidFromLocaleName(*value);
        }
    }
    return 0x0409;
}
