#include "base/assert.h"

#include <cstdio>
#include <cstdlib>

namespace halv::base {

void assertionFailed(const char* expression, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: internal check failed: %s\n", file, line, expression);
    std::abort();
}

} // namespace halv::base
