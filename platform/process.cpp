#include "platform/process.h"

#include "base/text_conversion.h"

#include <atomic>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace halv::platform {
namespace {

struct ProcessState {
    // Process-wide: the command line and arguments main handed over.
    std::u16string commandLine;
    std::vector<std::string> arguments;
};

ProcessState& state() {
    static ProcessState process;
    return process;
}

// Process-wide: set from the signal handler and from the exit watcher's thread, so lock-free and
// nothing else.
std::atomic<int> gTerminationRequested{0};
static_assert(std::atomic<int>::is_always_lock_free);
// Process-wide: the self-pipe the handler writes a byte to, so a thread can wait for signals
// with poll(2). -1 until the handlers are installed.
int gSignalPipe[2] = {-1, -1};

void onTerminationSignal(int /*signal*/) {
    const int savedErrno = errno;
    gTerminationRequested.store(1);
    if (gSignalPipe[1] >= 0) {
        const char byte = 1;
        // A full pipe already holds a wake-up; nothing is lost by dropping this one.
        [[maybe_unused]] const ssize_t written = write(gSignalPipe[1], &byte, 1);
    }
    errno = savedErrno;
}

// The nice value of an idle-priority thread: the lowest priority there is.
constexpr int kIdleNice = 19;

// The value GetCurrentThread returns on Windows, (HANDLE)-2.
HANDLE currentThreadPseudoHandle() {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-2));
}

bool needsQuotes(const std::string& argument) {
    return argument.empty() || argument.find_first_of(" \t\"") != std::string::npos;
}

void appendQuoted(std::string* line, const std::string& argument) {
    line->push_back('"');
    for (char c : argument) {
        if (c == '"') {
            line->push_back('\\');
        }
        line->push_back(c);
    }
    line->push_back('"');
}

} // namespace

int startingNice() {
    // Process-wide: what the process started with (XScreenSaver starts its hacks at 10); read
    // on first use, which comes before any thread lowers its priority.
    static const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
    return nice;
}

void setProcessArguments(int argc, const char* const* argv) {
    std::vector<std::string> all;
    for (int i = 0; i < argc; ++i) {
        all.emplace_back(argv[i] != nullptr ? argv[i] : "");
    }
    startingNice();
    state().commandLine = commandLineFromArguments(all);
    state().arguments.assign(all.size() > 1 ? all.begin() + 1 : all.end(), all.end());
}

const std::vector<std::string>& processArguments() {
    return state().arguments;
}

std::u16string commandLineFromArguments(std::span<const std::string> argv) {
    std::string line;
    for (std::size_t i = 0; i < argv.size(); ++i) {
        if (i > 0) {
            line.push_back(' ');
        }
        // The program path is always quoted, so a '-' or '/' in it is never read as a switch.
        if (i == 0 || needsQuotes(argv[i])) {
            appendQuoted(&line, argv[i]);
        } else {
            line += argv[i];
        }
    }
    return base::utf8ToUtf16(line);
}

ScopedCommandLine::ScopedCommandLine(std::vector<std::string> argv)
    : mPreviousLine(state().commandLine)
    , mPreviousArguments(state().arguments) {
    state().commandLine = commandLineFromArguments(argv);
    state().arguments.assign(argv.size() > 1 ? argv.begin() + 1 : argv.end(), argv.end());
}

ScopedCommandLine::~ScopedCommandLine() {
    state().commandLine = std::move(mPreviousLine);
    state().arguments = std::move(mPreviousArguments);
}

void installTerminationHandlers() {
    if (gSignalPipe[0] < 0 && pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        gSignalPipe[0] = -1;
        gSignalPipe[1] = -1;
    }
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    // A hang-up (the terminal or session went away) ends the saver like the others.
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
}

int terminationSignalDescriptor() {
    return gSignalPipe[0];
}

void requestTermination() {
    gTerminationRequested.store(1);
}

bool takeTerminationRequest() {
    return gTerminationRequested.exchange(0) != 0;
}

} // namespace halv::platform

LPWSTR GetCommandLineW() {
    return halv::platform::state().commandLine.data();
}

HANDLE GetCurrentThread() {
    return halv::platform::currentThreadPseudoHandle();
}

BOOL SetThreadPriority(HANDLE thread, int priority) {
    if (thread != halv::platform::currentThreadPseudoHandle()) {
        return FALSE;
    }
    // Linux nice values are per thread. Nice 19 rather than SCHED_IDLE: a SCHED_IDLE thread
    // under load waits about a second for the processor, even to die when the process ends,
    // while one at nice 19 still gets it within a fraction of that.
    int nice = 0;
    if (priority == THREAD_PRIORITY_IDLE) {
        nice = halv::platform::kIdleNice;
    } else if (priority == THREAD_PRIORITY_NORMAL) {
        nice = halv::platform::startingNice();
    } else {
        return FALSE;
    }
    const auto threadId = static_cast<id_t>(gettid());
    if (setpriority(PRIO_PROCESS, threadId, nice) != 0) {
        return FALSE;
    }
    return TRUE;
}
