#include "clip_recording/clip_recorder_config.hpp"

#include <algorithm>
#include <cmath>

#include "common/utf8.hpp"

namespace lk {

bool clip_encoder_available(const ClipRecorderConfig& config) {
    return config.gstreamer_runtime &&
           !trim_white_space(config.gstreamer_runtime->launch_executable_path).empty();
}

std::uint32_t normalized_replay_length(std::uint32_t seconds) {
    return seconds == 45 || seconds == 60 ? seconds : 30;
}

double clip_keep_window_seconds(const ClipRecorderConfig& config) {
    return static_cast<double>(normalized_replay_length(config.replay_length_seconds)) + 4.0;
}

double clip_capture_rate(double core_frames_per_second, bool high_quality) {
    const double rate = std::isfinite(core_frames_per_second)
                            ? std::clamp(core_frames_per_second, 1.0, 120.0)
                            : 60.0;
    return std::min(rate, high_quality ? 30.0 : 20.0);
}

}  // namespace lk
