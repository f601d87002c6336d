#pragma once

#include <cstdint>

#include "common/error.hpp"

namespace lk {

// A sample rate in Hz (the core's rate, possibly times the playback speed)
// rounded to the nearest integer for the output pipeline. Fails with "Audio
// sample rate must be positive." when the value is not finite or does not
// round to a positive rate, and with "Audio sample rate exceeds u32." when it
// rounds above 4294967295.
Result<std::uint32_t> audio_sample_rate_from_hz(double hz);

}  // namespace lk
