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

}  // namespace lk
