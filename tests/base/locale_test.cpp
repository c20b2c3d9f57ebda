#include "base/environment.h"
#include "base/locale.h"

#include <gtest/gtest.h>

#include <clocale>

namespace halv::base {
namespace {

TEST(Locale, LcidFromLocaleVariables) {
    struct Case {
        const char* name;
        std::map<std::string, std::string, std::less<>> variables;
        LCID expected;
    };
    const Case cases[] = {
        {"German", {{"LANG", "de_DE.UTF-8"}}, 0x0407},
        {"Swiss German", {{"LANG", "de_CH.UTF-8"}}, 0x0807},
        {"Austrian German", {{"LANG", "de_AT@euro"}}, 0x0C07},
        {"US English", {{"LANG", "en_US.UTF-8"}}, 0x0409},
        {"British English", {{"LANG", "en_GB"}}, 0x0809},
        {"German without territory", {{"LANG", "de"}}, 0x0407},
        {"unknown territory", {{"LANG", "de_BE.UTF-8"}}, 0x0407},
        {"C locale", {{"LANG", "C"}}, 0x0409},
        {"POSIX", {{"LANG", "POSIX"}}, 0x0409},
        {"nothing set", {}, 0x0409},
        {"LC_ALL wins", {{"LC_ALL", "de_AT.UTF-8"}, {"LANG", "en_US.UTF-8"}}, 0x0C07},
        {"LC_MESSAGES before LANG", {{"LC_MESSAGES", "de_CH"}, {"LANG", "en_US"}}, 0x0807},
        {"empty LC_ALL is skipped", {{"LC_ALL", ""}, {"LANG", "de_DE"}}, 0x0407},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MapEnvironment environment(c.variables);
        ScopedEnvironment scope(&environment);
        EXPECT_EQ(GetUserDefaultLCID(), c.expected);
    }
}

TEST(Locale, NumericLocaleSwitchesAndRestores) {
    const locale_t before = uselocale(static_cast<locale_t>(nullptr));
    {
        ScopedNumericLocale scope;
        ASSERT_TRUE(scope.active());
        EXPECT_NE(uselocale(static_cast<locale_t>(nullptr)), before);
        EXPECT_STREQ(std::localeconv()->decimal_point, ".");
        {
            ScopedNumericLocale nested;
            EXPECT_TRUE(nested.active());
        }
        EXPECT_STREQ(std::localeconv()->decimal_point, ".");
    }
    EXPECT_EQ(uselocale(static_cast<locale_t>(nullptr)), before);
}

TEST(Locale, NumericLocaleOverridesACommaLocale) {
    locale_t german = newlocale(LC_ALL_MASK, "de_DE.UTF-8", static_cast<locale_t>(nullptr));
    if (german == nullptr) {
        GTEST_SKIP() << "the de_DE.UTF-8 locale is not installed";
    }
    const locale_t before = uselocale(german);
    EXPECT_STREQ(std::localeconv()->decimal_point, ",");
    {
        ScopedNumericLocale scope;
        EXPECT_STREQ(std::localeconv()->decimal_point, ".");
    }
    EXPECT_STREQ(std::localeconv()->decimal_point, ",");
    uselocale(before);
    freelocale(german);
}

} // namespace
} // namespace halv::base
