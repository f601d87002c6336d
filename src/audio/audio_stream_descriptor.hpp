#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace lk {

inline constexpr const char* kPcmS16le = "pcm_s16le";

// The core's audio stream as the runtime describes it to a sink.
struct AudioStreamDescriptor {
    std::string sample_format = kPcmS16le;
    double playback_speed = 1.0;      // clamped to [0.5, 2.0]; non-finite counts as 1.0
    double sample_rate = 0.0;         // the core's rate in Hz
    double source_sample_rate = 0.0;  // the core's rate; times the speed gives the input rate
    std::uint16_t channels = 2;
};

// Same format and channels, and rates and speed each within one float epsilon.
bool describes_same_stream(const AudioStreamDescriptor& a, const AudioStreamDescriptor& b);

// Requested output device, volume 0..1 and mute.
struct AudioSinkSettings {
    std::optional<std::string> output_device;
    float volume = 0.8f;
    bool muted = false;
};

}  // namespace lk
