#include "base/debug_output.h"
#include "base/environment.h"

#include <gtest/gtest.h>

#include <string>

namespace halv::base {
namespace {

TEST(DebugOutput, SilentUnlessDebugVariableIsSet) {
    struct Case {
        const char* name;
        std::map<std::string, std::string, std::less<>> variables;
        const char* expected;
    };
    const Case cases[] = {
        {"unset", {}, ""},
        {"set", {{"HALVORINE_DEBUG", "1"}}, "D3DX: (WARN) line\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MapEnvironment environment(c.variables);
        ScopedEnvironment scope(&environment);
        testing::internal::CaptureStderr();
        OutputDebugStringA("D3DX: (WARN) line\r\n");
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.expected);
    }
}

TEST(DebugOutput, SinkReceivesEveryLine) {
    std::string received;
    DebugOutputSink previous =
        installDebugOutputSink([&received](std::string_view text) { received += text; });
    OutputDebugStringA("one\n");
    OutputDebugStringA(nullptr);
    OutputDebugStringA("two\n");
    installDebugOutputSink(std::move(previous));
    EXPECT_EQ(received, "one\ntwo\n");
}

} // namespace
} // namespace halv::base
