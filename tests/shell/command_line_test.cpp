#include "base/text_conversion.h"
#include "shell/screensaver_app.h"

#include <gtest/gtest.h>

#include <string>

namespace halv::shell {
namespace {

HWND handle(std::uintptr_t id) {
    return reinterpret_cast<HWND>(id);
}

struct CommandLineCase {
    const char* name;
    const char16_t* line;
    SaverMode mode;
    HWND host;
};

const CommandLineCase kCommandLines[] = {
    {"NoArguments", u"\"/usr/bin/halvorine\"", SaverMode::kConfigure, nullptr},
    {"EmptyLine", u"", SaverMode::kConfigure, nullptr},
    {"ArgumentsWithoutSwitch", u"\"halvorine\" hello 123", SaverMode::kConfigure, nullptr},
    {"Configure", u"\"halvorine\" /c", SaverMode::kConfigure, nullptr},
    {"ConfigureWithHost", u"\"halvorine\" /C:123", SaverMode::kConfigure, handle(123)},
    {"ConfigureDash", u"\"halvorine\" -c 123", SaverMode::kConfigure, handle(123)},
    {"Saver", u"\"halvorine\" /s", SaverMode::kFullScreen, nullptr},
    {"SaverUpper", u"\"halvorine\" /S", SaverMode::kFullScreen, nullptr},
    {"UnknownSwitch", u"\"halvorine\" /x", SaverMode::kFullScreen, nullptr},
    {"DigitSwitch", u"\"halvorine\" /7", SaverMode::kFullScreen, nullptr},
    {"LoneSlashAtTheEnd", u"\"halvorine\" /", SaverMode::kFullScreen, nullptr},
    {"XScreenSaverRoot", u"\"halvorine\" --root", SaverMode::kFullScreen, nullptr},
    {"XScreenSaverWindowId", u"\"halvorine\" --root --window-id 0x2A", SaverMode::kFullScreen,
     nullptr},
    {"PreviewSpace", u"\"halvorine\" /p 1234", SaverMode::kPreview, handle(1234)},
    {"PreviewColon", u"\"halvorine\" /P:1234", SaverMode::kPreview, handle(1234)},
    {"PreviewJoined", u"\"halvorine\" /p1234", SaverMode::kPreview, handle(1234)},
    {"PreviewWithoutHost", u"\"halvorine\" /p", SaverMode::kPreview, nullptr},
    {"PreviewLargeId", u"\"halvorine\" /p 2147483647", SaverMode::kPreview, handle(2147483647u)},
    {"ChangePassword", u"\"halvorine\" /a 1234", SaverMode::kChangePassword, handle(1234)},
    {"ChangePasswordUpper", u"\"halvorine\" /A", SaverMode::kChangePassword, nullptr},
    {"Test", u"\"halvorine\" /t", SaverMode::kWindowedTest, nullptr},
    {"TestUpperDash", u"\"halvorine\" -T", SaverMode::kWindowedTest, nullptr},
    // The quoted program path is skipped first, so its '-' and '/' are no switches.
    {"QuotedPathWithDashAndSlash", u"\"C:\\my-saver\\x/y.scr\"", SaverMode::kConfigure, nullptr},
    {"QuotedPathThenPreview", u"\"/opt/my-saver/halvorine\" /p 77", SaverMode::kPreview,
     handle(77)},
    {"UnterminatedQuote", u"\"/opt/my-saver /p 5", SaverMode::kConfigure, nullptr},
    // Unquoted, the name ends at the first space.
    {"UnquotedName", u"halvorine /t", SaverMode::kWindowedTest, nullptr},
    {"UnquotedNameWithDash", u"my-saver", SaverMode::kConfigure, nullptr},
    // The switch is found anywhere, not only at the start of a word.
    {"SwitchInsideAWord", u"\"halvorine\" abc/t", SaverMode::kWindowedTest, nullptr},
    // The host is the first number after the letter, whatever lies between.
    {"HostAfterOtherText", u"\"halvorine\" /p window=0042", SaverMode::kPreview, handle(42)},
};

class ParseCommandLine : public testing::TestWithParam<CommandLineCase> {};

TEST_P(ParseCommandLine, SelectsModeAndHost) {
    HWND host = handle(0xDEAD);
    EXPECT_EQ(parseCommandLine(GetParam().line, &host), GetParam().mode);
    EXPECT_EQ(host, GetParam().host);
}

INSTANTIATE_TEST_SUITE_P(Shell, ParseCommandLine, testing::ValuesIn(kCommandLines),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST(ConfigureText, GermanForEveryGermanLocale) {
    const std::u16string german =
        u"Der Bildschirmschoner verfügt über keine einstellbaren Optionen.";
    const std::u16string english = u"This screen saver has no options that you can set.";
    struct Case {
        LCID locale;
        const std::u16string* expected;
    };
    const Case cases[] = {
        {0x0407, &german}, {0x0807, &german},  {0x0C07, &german},  {0x1007, &german},
        {0x1407, &german}, {0x0409, &english}, {0x0809, &english}, {0x0413, &english},
        {0x0107, &german}, {0x0700, &english}, {0x0000, &english},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.locale);
        EXPECT_EQ(base::ansiToWide(configureText(testCase.locale)), *testCase.expected);
    }
}

TEST(MouseMoveTracker, SixthChangeOfPositionEnds) {
    MouseMoveTracker tracker;
    // The first report counts: positions start at (-1, -1).
    EXPECT_FALSE(tracker.moved(0, 0));
    for (int repeat = 0; repeat < 20; ++repeat) {
        EXPECT_FALSE(tracker.moved(0, 0));
    }
    EXPECT_EQ(tracker.changes(), 1);
    EXPECT_FALSE(tracker.moved(1, 0));
    EXPECT_FALSE(tracker.moved(1, 1));
    EXPECT_FALSE(tracker.moved(1, 1));
    EXPECT_FALSE(tracker.moved(0, 1));
    EXPECT_FALSE(tracker.moved(0, 0));
    EXPECT_EQ(tracker.changes(), 5);
    EXPECT_TRUE(tracker.moved(-1, -1));
    // It never resets: every later change ends too.
    EXPECT_TRUE(tracker.moved(5, 5));
}

TEST(MouseMoveTracker, ReportAtTheStartingPositionDoesNotCount) {
    MouseMoveTracker tracker;
    EXPECT_FALSE(tracker.moved(-1, -1));
    EXPECT_EQ(tracker.changes(), 0);
}

} // namespace
} // namespace halv::shell
