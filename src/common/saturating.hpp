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

}  // namespace lk
