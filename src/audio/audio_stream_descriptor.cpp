#include "audio/audio_stream_descriptor.hpp"

#include <cmath>
#include <limits>

namespace lk {

bool describes_same_stream(const AudioStreamDescriptor& a, const AudioStreamDescriptor& b) {
    constexpr double kEpsilon = std::numeric_limits<double>::epsilon();
    const auto close = [](double x, double y) { return std::fabs(x - y) <= kEpsilon; };
    return a.sample_format == kPcmS16le && b.sample_format == kPcmS16le && a.channels == 2 &&
           b.channels == 2 && close(a.sample_rate, b.sample_rate) &&
           close(a.source_sample_rate, b.source_sample_rate) &&
           close(a.playback_speed, b.playback_speed);
}

}  // namespace lk
