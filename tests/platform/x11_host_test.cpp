#include "base/environment.h"
#include "platform/process.h"
#include "platform/x11_host.h"

#include <gtest/gtest.h>

namespace halv::platform {
namespace {

TEST(ParseWindowId, HexWithPrefixElseDecimal) {
    struct Case {
        const char* text;
        std::optional<XWindowId> expected;
    };
    const Case cases[] = {
        {"0x1A00005", 0x1A00005},
        {"0X1A00005", 0x1A00005},
        {"0x1a00005", 0x1A00005},
        {"27262981", 27262981},
        // A leading zero is decimal, never octal.
        {"010", 10},
        {"0xFFFFFFFF", 0xFFFFFFFFu},
        {"0x100000000", std::nullopt},
        {"0", std::nullopt},
        {"0x", std::nullopt},
        {"", std::nullopt},
        {"12ab", std::nullopt},
        {" 12", std::nullopt},
        {"-12", std::nullopt},
        {"0x-1", std::nullopt},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.text);
        EXPECT_EQ(parseWindowId(testCase.text), testCase.expected);
    }
}

TEST(SaverHostWindowId, ArgumentWinsOverEnvironment) {
    base::MapEnvironment environment{{"XSCREENSAVER_WINDOW", "0x200001"}};
    base::ScopedEnvironment installedEnvironment(&environment);
    {
        ScopedCommandLine line({"halvorine", "--root"});
        EXPECT_EQ(saverHostWindowId(), XWindowId{0x200001});
    }
    {
        ScopedCommandLine line({"halvorine", "--root", "--window-id", "0x300002"});
        EXPECT_EQ(saverHostWindowId(), XWindowId{0x300002});
    }
    {
        ScopedCommandLine line({"halvorine", "-window-id", "123"});
        EXPECT_EQ(saverHostWindowId(), XWindowId{123});
    }
    base::MapEnvironment empty;
    base::ScopedEnvironment noVariable(&empty);
    ScopedCommandLine line({"halvorine", "--root"});
    EXPECT_EQ(saverHostWindowId(), std::nullopt);
}

} // namespace
} // namespace halv::platform
