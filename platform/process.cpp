#include "platform/process.h"

#include "base/text_conversion.h"

#include <csignal>

#include <pthread.h>
#include <sched.h>

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

// Process-wide: set from the signal handler, so lock-free and nothing else.
volatile std::sig_atomic_t gTerminationRequested = 0;

void onTerminationSignal(int /*signal*/) {
    gTerminationRequested = 1;
}

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

void setProcessArguments(int argc, const char* const* argv) {
    std::vector<std::string> all;
    for (int i = 0; i < argc; ++i) {
        all.emplace_back(argv[i] != nullptr ? argv[i] : "");
    }
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
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

void requestTermination() {
    gTerminationRequested = 1;
}

bool takeTerminationRequest() {
    if (gTerminationRequested == 0) {
        return false;
    }
    gTerminationRequested = 0;
    return true;
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
    int policy = 0;
    if (priority == THREAD_PRIORITY_IDLE) {
        policy = SCHED_IDLE;
    } else if (priority == THREAD_PRIORITY_NORMAL) {
        policy = SCHED_OTHER;
    } else {
        return FALSE;
    }
    sched_param parameters = {};
    parameters.sched_priority = 0;
    return pthread_setschedparam(pthread_self(), policy, &parameters) == 0 ? TRUE : FALSE;
}
