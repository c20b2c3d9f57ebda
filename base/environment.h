// Environment variables, read through one replaceable source so tests can set them without
// touching the process environment.
#pragma once

#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace halv::base {

class Environment {
public:
    virtual ~Environment() = default;
    virtual std::optional<std::string> get(std::string_view name) const = 0;
};

// A fixed set of variables; everything else is unset.
class MapEnvironment final : public Environment {
public:
    MapEnvironment() = default;
    explicit MapEnvironment(std::map<std::string, std::string, std::less<>> values)
        : mValues(std::move(values)) {}
    MapEnvironment(std::initializer_list<std::pair<const std::string, std::string>> values)
        : mValues(values) {}
    std::optional<std::string> get(std::string_view name) const override;
    void set(std::string name, std::string value) { mValues[std::move(name)] = std::move(value); }

private:
    std::map<std::string, std::string, std::less<>> mValues;
};

// The value of `name`, or nothing when it is unset. An empty value counts as set.
std::optional<std::string> getEnvironmentVariable(std::string_view name);

// Installs the source for every caller and returns the previous one; null restores the
// process environment. Process-wide; the caller keeps ownership.
const Environment* installEnvironment(const Environment* environment);

class ScopedEnvironment {
public:
    explicit ScopedEnvironment(const Environment* environment)
        : mPrevious(installEnvironment(environment)) {}
    ~ScopedEnvironment() { installEnvironment(mPrevious); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const Environment* mPrevious;
};

} // namespace halv::base
