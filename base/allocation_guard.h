// Code that uses standard containers behind noexcept entry points turns their allocation
// failures into E_OUTOFMEMORY here instead of letting them escape.
#pragma once

#include "base/result_codes.h"

#include <new>

namespace halv::base {

template <class Body>
HRESULT guardAllocation(Body body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

// Runs `body`, which returns nothing; false when an allocation inside it failed.
template <class Body>
[[nodiscard]] bool allocationSucceeds(Body body) noexcept {
    try {
        body();
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

} // namespace halv::base
