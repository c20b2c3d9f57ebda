// halvtool's subcommands: each lives in its own file and registers itself here.
#pragma once

#include <span>
#include <string_view>

namespace halv::tools {

struct Command {
    const char* name;
    // One line: arguments and what the command does.
    const char* usage;
    // Receives the arguments after the command name; returns the process exit code.
    int (*run)(std::span<const std::string_view> arguments);
};

// Adds a command at start-up. Define one as a namespace-scope object in the command's file.
class CommandRegistration {
public:
    explicit CommandRegistration(const Command& command);
};

} // namespace halv::tools
