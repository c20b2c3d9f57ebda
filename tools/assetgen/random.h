// A small seeded generator (SplitMix64): the same seed gives the same sequence on every machine,
// which is what keeps the generated files reproducible.
#pragma once

#include <cstdint>

namespace halv::assetgen {

class Random {
public:
    explicit Random(std::uint64_t seed)
        : mState(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (mState += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1).
    double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
    double uniform(double low, double high) { return low + (high - low) * uniform(); }
    // Uniform in [0, count).
    int below(int count) { return static_cast<int>(uniform() * count); }

private:
    std::uint64_t mState;
};

} // namespace halv::assetgen
