// The process around the program: its command line, the calling thread's priority, and the
// termination signals, which end the saver the way closing its window does.
#pragma once

#include "base/win_types.h"

#include <span>
#include <string>
#include <vector>

inline constexpr int THREAD_PRIORITY_IDLE = -15;
inline constexpr int THREAD_PRIORITY_LOWEST = -2;
inline constexpr int THREAD_PRIORITY_BELOW_NORMAL = -1;
inline constexpr int THREAD_PRIORITY_NORMAL = 0;
inline constexpr int THREAD_PRIORITY_ABOVE_NORMAL = 1;
inline constexpr int THREAD_PRIORITY_HIGHEST = 2;
inline constexpr int THREAD_PRIORITY_TIME_CRITICAL = 15;

// The command line the Windows way: the program path in double quotes, then the arguments
// separated by spaces, each one that is empty or holds white space in double quotes (a quote
// inside is written \"). Never null; empty before setProcessArguments.
LPWSTR GetCommandLineW();

// The pseudo handle that names the calling thread.
HANDLE GetCurrentThread();

// THREAD_PRIORITY_IDLE gives the calling thread nice 19 (the lowest priority; the rest of the
// process keeps its own), THREAD_PRIORITY_NORMAL the nice value the process started with, which
// an unprivileged thread cannot get back once it lowered it (FALSE then: the default RLIMIT_NICE
// of 0 allows no raising). The levels between are refused (FALSE), as is any handle but
// GetCurrentThread()'s. Linux has no boost that wakes a low-priority thread for input, so
// whatever must stay prompt (ending on input and signals) runs on the exit watcher
// (platform/exit_watcher.h), which keeps the priority the process started with.
BOOL SetThreadPriority(HANDLE thread, int priority);

namespace halv::platform {

// Records main's arguments (UTF-8) as the process's command line. Called once, first thing.
void setProcessArguments(int argc, const char* const* argv);

// The nice value the process started with (of the thread that first asks, before any lowered
// its own).
int startingNice();

// The arguments after the program name.
const std::vector<std::string>& processArguments();

// argv rebuilt as GetCommandLineW gives it.
std::u16string commandLineFromArguments(std::span<const std::string> argv);

// Replaces the command line and the arguments for its lifetime (tests).
class ScopedCommandLine {
public:
    explicit ScopedCommandLine(std::vector<std::string> argv);
    ~ScopedCommandLine();
    ScopedCommandLine(const ScopedCommandLine&) = delete;
    ScopedCommandLine& operator=(const ScopedCommandLine&) = delete;

private:
    std::u16string mPreviousLine;
    std::vector<std::string> mPreviousArguments;
};

// SIGTERM, SIGINT and SIGHUP only set a flag and wake terminationSignalDescriptor(); the message
// pump sees the flag and destroys the program's windows, so the normal teardown runs and the exit
// code stays 0.
void installTerminationHandlers();

// Readable after each termination signal (one byte per signal; the reader drains it); -1 before
// installTerminationHandlers.
int terminationSignalDescriptor();

// What the handlers do, minus the wake-up (tests and the exit watcher call it). Any thread.
void requestTermination();

// True once after each request: reading it clears it.
bool takeTerminationRequest();

} // namespace halv::platform
