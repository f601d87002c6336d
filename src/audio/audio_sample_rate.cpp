#include "audio/audio_sample_rate.hpp"

#include <cmath>
#include <limits>

namespace lk {

Result<std::uint32_t> audio_sample_rate_from_hz(double hz) {
    if (!std::isfinite(hz)) {
        return fail("Audio sample rate must be positive.");
    }
    const double rounded = std::round(hz);
    if (rounded <= 0.0) {
        return fail("Audio sample rate must be positive.");
    }
    if (rounded > static_cast<double>(std::numeric_limits<std::uint32_t>::max())) {
        return fail("Audio sample rate exceeds u32.");
    }
    return static_cast<std::uint32_t>(rounded);
}

}  // namespace lk
