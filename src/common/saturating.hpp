#pragma once

#include <cstdint>
#include <limits>

namespace lk {

// Adds 1 unless the counter already holds its largest value (counters
// saturate instead of wrapping).
inline void saturating_increment(std::uint64_t& counter) {
    if (counter != std::numeric_limits<std::uint64_t>::max()) {
        ++counter;
    }
}

// a + b, staying at the largest value instead of wrapping.
constexpr std::uint64_t saturating_add(std::uint64_t a, std::uint64_t b) {
    return b > std::numeric_limits<std::uint64_t>::max() - a
               ? std::numeric_limits<std::uint64_t>::max()
               : a + b;
}

}  // namespace lk
