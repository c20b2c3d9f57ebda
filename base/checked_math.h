// Overflow-checked size arithmetic and allocation that reports failure instead of throwing.
#pragma once

#include <cstddef>
#include <limits>
#include <memory>
#include <new>
#include <type_traits>

namespace halv::base {

// Writes a * b to *result and returns true, or returns false (and writes nothing) on overflow.
template <class T>
[[nodiscard]] constexpr bool checkedMul(T a, T b, T* result) {
    static_assert(std::is_unsigned_v<T>, "sizes are unsigned");
    T product{};
    if (__builtin_mul_overflow(a, b, &product)) {
        return false;
    }
    *result = product;
    return true;
}

// Writes a + b to *result and returns true, or returns false (and writes nothing) on overflow.
template <class T>
[[nodiscard]] constexpr bool checkedAdd(T a, T b, T* result) {
    static_assert(std::is_unsigned_v<T>, "sizes are unsigned");
    T sum{};
    if (__builtin_add_overflow(a, b, &sum)) {
        return false;
    }
    *result = sum;
    return true;
}

// A value-initialised array of count elements, or null when count * sizeof(T) overflows or
// memory runs out.
template <class T>
[[nodiscard]] std::unique_ptr<T[]> allocArray(std::size_t count) {
    std::size_t bytes = 0;
    if (!checkedMul(count, sizeof(T), &bytes) ||
        bytes > static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max())) {
        return nullptr;
    }
    return std::unique_ptr<T[]>(new (std::nothrow) T[count]());
}

} // namespace halv::base
