// HALV_ASSERT guards our own invariants (never caller mistakes or bad data) in every build.
#pragma once

namespace halv::base {
[[noreturn]] void assertionFailed(const char* expression, const char* file, int line);
} // namespace halv::base

#define HALV_ASSERT(expression)                                                                    \
    ((expression) ? static_cast<void>(0)                                                           \
                  : ::halv::base::assertionFailed(#expression, __FILE__, __LINE__))
