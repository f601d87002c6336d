#pragma once

// One record per command type. Every payload except those of
// getClipRecordingStatus and getControllerMetadata may carry `sessionId`.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "protocol/shared_payloads.hpp"

namespace lk {

struct SessionScopedPayload {
    std::optional<std::string> session_id;
};

struct InitializeRunnerCommandPayload {
    std::uint32_t protocol_version = 0;
};

struct PingRunnerCommandPayload {
    std::string issued_at;
};

struct LoadRomCommandPayload {
    std::string core_id;
    std::string platform_id;
    std::string game_id;
    std::string title;
    RomSourceDescriptor source;
    AudioPlaybackMode audio_runtime_mode = AudioPlaybackMode::standard;
    AudioSettingsPayload audio_settings;
    std::optional<ClipRecordingSettingsPayload> clip_recording_settings;
    std::optional<std::string> controller_device_id;
    std::string core_graphics_profile = "native";
    double hardware_render_frame_rate_limit = 60.0;
    std::string video_performance_mode = "auto";
    std::optional<std::uint64_t> netplay_player_index;
    std::optional<std::string> netplay_session_key;
    RuntimeDirectoryPathsPayload runtime_directory_paths;
    std::optional<std::string> save_data_mode;
    bool start_paused = false;
    double playback_speed_ratio = 1.0;
};

struct CloseRomCommandPayload : SessionScopedPayload {};
struct PauseCommandPayload : SessionScopedPayload {};
struct ResumeCommandPayload : SessionScopedPayload {};

struct SetPlaybackSpeedCommandPayload : SessionScopedPayload {
    double playback_speed_ratio = 1.0;
};

struct LoadStateCommandPayload : SessionScopedPayload {
    std::string slot_id;
    std::string state_file_path;
};

struct SaveStateCommandPayload : SessionScopedPayload {
    std::string slot_id;
    std::string state_file_path;
    std::string preview_file_path;
};

struct CaptureScreenshotCommandPayload : SessionScopedPayload {
    std::string screenshot_file_path;
};

struct SyncCheatsCommandPayload : SessionScopedPayload {
    std::vector<RunnerCheatSetPayload> cheat_sets;
};

struct SetDiscImageCommandPayload : SessionScopedPayload {
    std::uint32_t image_index = 0;
};

struct GetDiscControlCommandPayload : SessionScopedPayload {};

struct SetAudioMutedCommandPayload : SessionScopedPayload {
    bool muted = false;
};

struct SetAudioSettingsCommandPayload : SessionScopedPayload {
    AudioSettingsPayload audio_settings;
};

struct SetInputStateCommandPayload : SessionScopedPayload {
    EmulatorInputState input_state;
    std::optional<double> input_sampled_at_epoch_ms;
    std::optional<double> main_forwarded_at_epoch_ms;
    std::optional<double> main_received_at_epoch_ms;
    std::optional<double> renderer_dispatched_at_epoch_ms;
    std::optional<double> renderer_tick_delta_ms;
};

struct SetVideoPerformanceModeCommandPayload : SessionScopedPayload {
    std::string performance_mode;
};

struct SetHardwareRenderFrameRateLimitCommandPayload : SessionScopedPayload {
    double hardware_render_frame_rate_limit = 60.0;
};

struct StartClipRecordingCommandPayload : SessionScopedPayload {};

struct StopClipRecordingCommandPayload : SessionScopedPayload {
    std::string output_file_path;
    std::string thumbnail_file_path;
};

struct SaveReplayClipCommandPayload : SessionScopedPayload {
    std::string output_file_path;
    std::uint32_t replay_length_seconds = 0;
    std::string thumbnail_file_path;
};

struct StartNetplayModeCommandPayload : SessionScopedPayload {
    std::uint64_t input_delay_frames = 0;
    std::uint64_t local_player_index = 0;
    std::uint64_t player_count = 0;
    std::uint64_t start_frame = 0;
};

struct StopNetplayModeCommandPayload : SessionScopedPayload {};

struct SubmitNetplayInputFrameCommandPayload : SessionScopedPayload {
    NetplayInputFramePayload input;
};

struct UpdateNetplayInputDelayCommandPayload : SessionScopedPayload {
    std::uint64_t effective_frame = 0;
    std::uint64_t input_delay_frames = 0;
};

struct UpdateNetplayServerFrameCommandPayload : SessionScopedPayload {
    std::uint64_t canonical_frame = 0;
    std::uint64_t frame = 0;
};

struct ScheduleNetplayPauseCommandPayload : SessionScopedPayload {
    std::uint64_t pause_at_frame = 0;
    std::uint64_t sequence = 0;
};

struct SaveNetplayStateFrameCommandPayload : SessionScopedPayload {
    std::uint64_t frame = 0;
    std::string state_file_path;
};

}  // namespace lk
