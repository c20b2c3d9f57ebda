#include "base/environment.h"

#include <cstdlib>

namespace halv::base {
namespace {

class ProcessEnvironment final : public Environment {
public:
    std::optional<std::string> get(std::string_view name) const override {
        const std::string key(name);
        const char* value = std::getenv(key.c_str());
        if (value == nullptr) {
            return std::nullopt;
        }
        return std::string(value);
    }
};

const ProcessEnvironment gProcessEnvironment;
// Process-wide: where environment lookups go.
const Environment* gEnvironment = &gProcessEnvironment;

} // namespace

std::optional<std::string> MapEnvironment::get(std::string_view name) const {
    const auto found = mValues.find(name);
    if (found == mValues.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::optional<std::string> getEnvironmentVariable(std::string_view name) {
    return gEnvironment->get(name);
}

const Environment* installEnvironment(const Environment* environment) {
    const Environment* previous = gEnvironment;
    gEnvironment = environment != nullptr ? environment : &gProcessEnvironment;
    return previous == &gProcessEnvironment ? nullptr : previous;
}

} // namespace halv::base
