#include "cores/libretro_session_settings.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include "common/utf8.hpp"

namespace lk {

namespace {

constexpr std::array<std::string_view, 4> kNativeOnlyPlatforms{"n64", "ps1", "wii", "gamecube"};
constexpr std::array<std::string_view, 3> kNativeOnlyCoreParts{"dolphin", "mupen64plus",
                                                               "swanstation"};

std::optional<std::string> trimmed_path(const std::optional<std::string>& path) {
    if (!path) {
        return std::nullopt;
    }
    const std::string_view trimmed = trim_white_space(*path);
    if (trimmed.empty()) {
        return std::nullopt;
    }
    return std::string(trimmed);
}

}  // namespace

std::string effective_graphics_profile(std::string_view core_id, std::string_view platform_id,
                                       const std::string& requested) {
    const bool native_platform = std::find(kNativeOnlyPlatforms.begin(), kNativeOnlyPlatforms.end(),
                                           platform_id) != kNativeOnlyPlatforms.end();
    const bool native_core =
        std::any_of(kNativeOnlyCoreParts.begin(), kNativeOnlyCoreParts.end(),
                    [&](std::string_view part) { return core_id.find(part) != std::string::npos; });
    return native_platform || native_core ? "native" : requested;
}

AudioSinkSettings audio_sink_settings_from(const AudioSettingsPayload& payload) {
    AudioSinkSettings settings;
    settings.output_device = trimmed_path(payload.output_device_label);
    const float volume =
        std::clamp(static_cast<float>(payload.emulator_volume) / 100.0f, 0.0f, 1.0f);
    settings.volume = std::isfinite(volume) ? volume : 0.8f;
    settings.muted = payload.start_muted;
    return settings;
}

std::optional<ClipRecorderConfig> clip_recorder_config_from(
    const std::optional<ClipRecordingSettingsPayload>& settings) {
    if (!settings) {
        return std::nullopt;
    }
    ClipRecorderConfig config;
    config.cache_directory = settings->cache_directory_path;
    if (settings->gstreamer_runtime) {
        const auto& runtime = *settings->gstreamer_runtime;
        auto launch = trimmed_path(runtime.launch_executable_path);
        if (launch) {
            config.gstreamer_runtime =
                GStreamerRuntimeConfig{std::move(*launch), trimmed_path(runtime.bin_directory_path),
                                       trimmed_path(runtime.plugin_directory_path),
                                       trimmed_path(runtime.plugin_scanner_path)};
        }
    }
    config.high_quality = settings->quality == "high";
    config.replay_buffer_enabled = settings->replay_buffer_enabled;
    config.replay_length_seconds = settings->replay_length_seconds;
    return config;
}

LibretroRuntimeConfig libretro_runtime_config_for(const LoadRomCommandPayload& payload,
                                                  const std::string& session_id,
                                                  const std::string& core_library_path,
                                                  const std::string& rom_path) {
    LibretroRuntimeConfig config;
    config.core_graphics_profile = effective_graphics_profile(payload.core_id, payload.platform_id,
                                                              payload.core_graphics_profile);
    config.core_id = payload.core_id;
    config.core_library_path = core_library_path;
    config.platform_id = payload.platform_id;
    config.rom_path = rom_path;
    config.session_id = session_id;
    config.video_performance_mode = payload.video_performance_mode;
    config.audio_settings = audio_sink_settings_from(payload.audio_settings);
    config.clip_recording = clip_recorder_config_from(payload.clip_recording_settings);
    config.controller_device_id = payload.controller_device_id;
    config.save_directory = payload.runtime_directory_paths.save_directory_path;
    config.system_directory = payload.runtime_directory_paths.system_directory_path;
    config.hardware_render_frame_rate_limit = payload.hardware_render_frame_rate_limit;
    config.playback_speed_ratio = payload.playback_speed_ratio;
    config.audio_playback_mode = payload.audio_runtime_mode;
    config.start_paused = payload.start_paused;
    return config;
}

}  // namespace lk
