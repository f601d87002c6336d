#pragma once

#include <cstdint>
#include <vector>

namespace lk {

// One delivery of audio from the core: interleaved stereo signed 16-bit
// samples (left, right, left, right, ...) and their frame count.
struct AudioSampleBatch {
    std::vector<std::int16_t> samples;
    std::uint64_t frames = 0;
};

}  // namespace lk
