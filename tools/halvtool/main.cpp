// halvtool: inspection and headless rendering for Halvorine's models, images and device.
#include "tools/halvtool/command.h"

#include <cstdio>
#include <string>
#include <vector>

namespace halv::tools {
namespace {

std::vector<Command>& commands() {
    // Process-wide: filled by the registrations before main runs.
    static std::vector<Command> registered;
    return registered;
}

int printUsage(std::FILE* out) {
    std::fprintf(out, "usage: halvtool COMMAND [ARGUMENTS]\n\ncommands:\n");
    for (const Command& command : commands()) {
        std::fprintf(out, "  %-10s %s\n", command.name, command.usage);
    }
    return out == stdout ? 0 : 2;
}

} // namespace

CommandRegistration::CommandRegistration(const Command& command) {
    commands().push_back(command);
}

} // namespace halv::tools

int main(int argc, char** argv) {
    using namespace halv::tools;
    if (argc < 2) {
        return printUsage(stderr);
    }
    const std::string_view name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        return printUsage(stdout);
    }
    std::vector<std::string_view> arguments(argv + 2, argv + argc);
    for (const Command& command : commands()) {
        if (name == command.name) {
            return command.run(arguments);
        }
    }
    std::fprintf(stderr, "halvtool: unknown command '%s'\n\n", argv[1]);
    return printUsage(stderr);
}
