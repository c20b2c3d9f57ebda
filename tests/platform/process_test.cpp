#include "base/text_conversion.h"
#include "platform/process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <thread>

#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

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

int niceOfThisThread() {
    return getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
}

TEST(SetThreadPriority, IdleGivesOnlyTheCallingThreadNice19) {
    // On a thread of its own: an unprivileged thread cannot raise its priority again.
    const int processNice = niceOfThisThread();
    int nice = -100;
    BOOL result = FALSE;
    BOOL refused = TRUE;
    BOOL foreign = TRUE;
    BOOL normalAgain = TRUE;
    std::thread worker([&] {
        refused = SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
        foreign = SetThreadPriority(nullptr, THREAD_PRIORITY_IDLE);
        result = SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_IDLE);
        nice = niceOfThisThread();
        normalAgain = SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);
    });
    worker.join();
    EXPECT_EQ(result, TRUE);
    EXPECT_EQ(nice, 19);
    EXPECT_EQ(refused, FALSE);
    EXPECT_EQ(foreign, FALSE);
    // Only with the privilege to raise priorities (root) does the way back work.
    if (geteuid() != 0) {
        EXPECT_EQ(normalAgain, FALSE);
    }
    EXPECT_EQ(niceOfThisThread(), processNice);
    EXPECT_EQ(startingNice(), processNice);
}

TEST(Termination, RequestIsTakenOnce) {
    EXPECT_FALSE(takeTerminationRequest());
    requestTermination();
    requestTermination();
    EXPECT_TRUE(takeTerminationRequest());
    EXPECT_FALSE(takeTerminationRequest());
}

bool readable(int descriptor) {
    pollfd entry = {descriptor, POLLIN, 0};
    return poll(&entry, 1, 0) == 1 && (entry.revents & POLLIN) != 0;
}

TEST(Termination, SignalsSetTheRequestAndWakeTheDescriptorInsteadOfEndingTheProcess) {
    installTerminationHandlers();
    const int descriptor = terminationSignalDescriptor();
    ASSERT_GE(descriptor, 0);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        EXPECT_FALSE(readable(descriptor));
        ASSERT_EQ(raise(signal), 0);
        EXPECT_TRUE(takeTerminationRequest());
        EXPECT_TRUE(readable(descriptor));
        char byte = 0;
        EXPECT_EQ(read(descriptor, &byte, 1), 1);
    }
    // A second install keeps the same descriptor.
    installTerminationHandlers();
    EXPECT_EQ(terminationSignalDescriptor(), descriptor);
    // The test runner's own handling comes back for the rest of the run.
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGHUP, SIG_DFL);
}

} // namespace
} // namespace halv::platform
