// The mesh code uses standard containers; its published entry points turn their allocation
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

} // namespace halv::base
