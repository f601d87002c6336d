#pragma once

#include <optional>
#include <string>

#include "audio/audio_stream_descriptor.hpp"
#include "clip_recording/clip_recorder_config.hpp"
#include "protocol/shared_payloads.hpp"

namespace lk {

// Everything a runtime thread needs to start one session; built by the
// ROM-loading flow and moved into the thread.
struct LibretroRuntimeConfig {
    std::string core_graphics_profile;
    std::string core_id;
    std::string core_library_path;
    std::string platform_id;
    std::string rom_path;
    std::string session_id;
    std::string video_performance_mode;
    AudioSinkSettings audio_settings;
    std::optional<ClipRecorderConfig> clip_recording;
    std::optional<std::string> controller_device_id;
    std::optional<std::string> save_directory;
    std::optional<std::string> system_directory;
    double hardware_render_frame_rate_limit = 60.0;
    double playback_speed_ratio = 1.0;
    AudioPlaybackMode audio_playback_mode = AudioPlaybackMode::standard;
    bool start_paused = false;
};

}  // namespace lk
