#include "base/text_conversion.h"
#include "platform/process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <thread>

#include <pthread.h>
#include <sched.h>

namespace halv::platform {
namespace {

TEST(CommandLine, RebuiltTheWindowsWay) {
    struct Case {
        const char* name;
        std::vector<std::string> argv;
        std::u16string expected;
    };
    const Case cases[] = {
        {"ProgramOnly",
         {"/usr/libexec/xscreensaver/halvorine"},
         u"\"/usr/libexec/xscreensaver/halvorine\""},
        {"Switches", {"./halvorine", "/p", "1234"}, u"\"./halvorine\" /p 1234"},
        {"SpaceQuoted", {"halvorine", "a b", ""}, u"\"halvorine\" \"a b\" \"\""},
        {"QuoteEscaped", {"halvorine", "say \"hi\""}, u"\"halvorine\" \"say \\\"hi\\\"\""},
        {"Utf8", {"/tmp/m\xC3\xBC/halvorine", "-s"}, u"\"/tmp/m\u00FC/halvorine\" -s"},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        EXPECT_EQ(commandLineFromArguments(testCase.argv), testCase.expected);
    }
}

TEST(CommandLine, GetCommandLineWAndArgumentsFollowTheProcess) {
    ScopedCommandLine scoped({"/opt/my-saver/halvorine", "--root", "--window-id", "0x2A"});
    EXPECT_EQ(std::u16string(GetCommandLineW()),
              u"\"/opt/my-saver/halvorine\" --root --window-id 0x2A");
    EXPECT_EQ(processArguments(), (std::vector<std::string>{"--root", "--window-id", "0x2A"}));
    {
        ScopedCommandLine inner({"other"});
        EXPECT_TRUE(processArguments().empty());
    }
    EXPECT_EQ(processArguments().size(), 3u);
}

int policyOfThisThread() {
    int policy = -1;
    sched_param parameters = {};
    pthread_getschedparam(pthread_self(), &policy, &parameters);
    return policy;
}

TEST(SetThreadPriority, IdleMovesTheCallingThreadToSchedIdle) {
    // On a thread of its own: an unprivileged thread cannot come back from SCHED_IDLE.
    int policy = -1;
    BOOL result = FALSE;
    BOOL refused = TRUE;
    BOOL foreign = TRUE;
    std::thread worker([&] {
        refused = SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
        foreign = SetThreadPriority(nullptr, THREAD_PRIORITY_IDLE);
        result = SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_IDLE);
        policy = policyOfThisThread();
    });
    worker.join();
    EXPECT_EQ(result, TRUE);
    EXPECT_EQ(policy, SCHED_IDLE);
    EXPECT_EQ(refused, FALSE);
    EXPECT_EQ(foreign, FALSE);
    EXPECT_EQ(policyOfThisThread(), SCHED_OTHER);
}

TEST(Termination, RequestIsTakenOnce) {
    EXPECT_FALSE(takeTerminationRequest());
    requestTermination();
    requestTermination();
    EXPECT_TRUE(takeTerminationRequest());
    EXPECT_FALSE(takeTerminationRequest());
}

TEST(Termination, SignalsSetTheRequestInsteadOfEndingTheProcess) {
    installTerminationHandlers();
    for (int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        ASSERT_EQ(raise(signal), 0);
        EXPECT_TRUE(takeTerminationRequest());
    }
    // The test runner's own handling comes back for the rest of the run.
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
}

} // namespace
} // namespace halv::platform
