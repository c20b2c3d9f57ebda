// Shared helpers of the math tests: random inputs, tolerant comparisons and the list of sets
// this processor can run.
#pragma once

#include "math/dispatch.h"
#include "math/vector_math.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace halv::math::test {

struct NamedSet {
    const char* name;
    DispatchLevel level;
};

inline bool simdSetsBuilt() {
#if defined(__x86_64__) || defined(__i386__)
    return true;
#else
    return false;
#endif
}

// The processor-specific sets this machine can run.
inline std::vector<NamedSet> simdSets() {
    std::vector<NamedSet> sets;
    const ProcessorFeatures features = detectProcessorFeatures();
    if (simdSetsBuilt() && features.hasSse) {
        sets.push_back({"Sse", DispatchLevel::kSse});
    }
    if (simdSetsBuilt() && features.hasSse2) {
        sets.push_back({"Sse2", DispatchLevel::kSse2});
    }
    return sets;
}

// The portable set and every processor-specific set this machine can run.
inline std::vector<NamedSet> allSets() {
    std::vector<NamedSet> sets{{"Portable", DispatchLevel::kPortable}};
    for (const NamedSet& set : simdSets()) {
        sets.push_back(set);
    }
    return sets;
}

inline std::string setName(const testing::TestParamInfo<NamedSet>& paramInfo) {
    return paramInfo.param.name;
}

inline float randomFloat(std::mt19937& random, float low, float high) {
    return std::uniform_real_distribution<float>(low, high)(random);
}

inline D3DXVECTOR3 randomVector(std::mt19937& random, float low, float high) {
    return {randomFloat(random, low, high), randomFloat(random, low, high),
            randomFloat(random, low, high)};
}

inline D3DXMATRIX randomMatrix(std::mt19937& random, float low, float high) {
    D3DXMATRIX m;
    for (auto& row : m.m) {
        for (float& value : row) {
            value = randomFloat(random, low, high);
        }
    }
    return m;
}

// |actual - expected| within tolerance * max(1, |expected|), component by component.
inline testing::AssertionResult floatsNear(const float* actual, const float* expected, int count,
                                           double tolerance) {
    for (int i = 0; i < count; ++i) {
        const double allowed = tolerance * std::max(1.0, std::fabs(double(expected[i])));
        if (!(std::fabs(double(actual[i]) - double(expected[i])) <= allowed)) {
            return testing::AssertionFailure()
                   << "component " << i << ": " << actual[i] << " vs expected " << expected[i]
                   << " (tolerance " << allowed << ")";
        }
    }
    return testing::AssertionSuccess();
}

inline testing::AssertionResult sameBits(const float* actual, const float* expected, int count) {
    for (int i = 0; i < count; ++i) {
        if (std::bit_cast<std::uint32_t>(actual[i]) != std::bit_cast<std::uint32_t>(expected[i])) {
            return testing::AssertionFailure()
                   << "component " << i << ": " << actual[i] << " differs from " << expected[i];
        }
    }
    return testing::AssertionSuccess();
}

inline testing::AssertionResult near(const D3DXMATRIX& actual, const D3DXMATRIX& expected,
                                     double tolerance) {
    return floatsNear(&actual.m[0][0], &expected.m[0][0], 16, tolerance);
}

inline testing::AssertionResult near(const D3DXVECTOR3& actual, const D3DXVECTOR3& expected,
                                     double tolerance) {
    const float a[3] = {actual.x, actual.y, actual.z};
    const float e[3] = {expected.x, expected.y, expected.z};
    return floatsNear(a, e, 3, tolerance);
}

inline testing::AssertionResult near(const D3DXQUATERNION& actual, const D3DXQUATERNION& expected,
                                     double tolerance) {
    const float a[4] = {actual.x, actual.y, actual.z, actual.w};
    const float e[4] = {expected.x, expected.y, expected.z, expected.w};
    return floatsNear(a, e, 4, tolerance);
}

// The same rotation: q or -q.
inline testing::AssertionResult sameRotation(const D3DXQUATERNION& actual,
                                             const D3DXQUATERNION& expected, double tolerance) {
    if (near(actual, expected, tolerance)) {
        return testing::AssertionSuccess();
    }
    return near(actual, -expected, tolerance);
}

inline D3DXMATRIX identityMatrix() {
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    return m;
}

} // namespace halv::math::test
