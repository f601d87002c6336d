#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace lk {

// Where the external clip encoder lives.
struct GStreamerRuntimeConfig {
    std::string launch_executable_path;
    std::optional<std::string> bin_directory_path;
    std::optional<std::string> plugin_directory_path;
    std::optional<std::string> plugin_scanner_path;
};

// A session's replay-clip recording settings.
struct ClipRecorderConfig {
    std::string cache_directory;
    std::optional<GStreamerRuntimeConfig> gstreamer_runtime;
    bool high_quality = false;
    bool replay_buffer_enabled = false;
    std::uint32_t replay_length_seconds = 0;
};

// The encoder is configured with a launch executable that is not blank.
bool clip_encoder_available(const ClipRecorderConfig& config);

// 45 and 60 stay; every other length (0 and 30 included) becomes 30.
std::uint32_t normalized_replay_length(std::uint32_t seconds);

// How many seconds of finished segments the replay buffer keeps: the
// normalized replay length plus 4.
double clip_keep_window_seconds(const ClipRecorderConfig& config);

// Frames per second sampled for clips: the core's rate clamped to [1, 120]
// (60 when not finite), then at most 30 in high quality and 20 otherwise.
double clip_capture_rate(double core_frames_per_second, bool high_quality);

}  // namespace lk
