#pragma once

// Records shared by several commands and events.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace lk {

struct FileRomSource {
    std::string file_path;
};
struct ZipEntryRomSource {
    std::string archive_path;
    std::string entry_path;
};
// "kind" selects the variant: "file" or "zipEntry".
using RomSourceDescriptor = std::variant<FileRomSource, ZipEntryRomSource>;

struct EmulatorSessionSnapshot {
    std::string core_id;
    std::string core_graphics_profile;
    std::string game_id;
    std::string platform_id;
    std::string run_state;  // "running" or "paused"
    std::optional<std::string> save_data_mode;
    std::string session_id;
    std::optional<std::uint64_t> netplay_player_index;
    std::optional<std::string> netplay_session_key;
    RomSourceDescriptor source;
    std::string title;
};

inline constexpr const char* kRunStateRunning = "running";
inline constexpr const char* kRunStatePaused = "paused";

struct AudioSettingsPayload {
    std::string output_device_id = "systemDefault";
    std::optional<std::string> output_device_label;
    double emulator_volume = 80.0;
    bool start_muted = false;
};

enum class AudioPlaybackMode { standard, netplay };

struct GStreamerRuntimePayload {
    std::string launch_executable_path;
    std::optional<std::string> bin_directory_path;
    std::optional<std::string> plugin_directory_path;
    std::optional<std::string> plugin_scanner_path;
};

struct ClipRecordingSettingsPayload {
    std::string cache_directory_path;
    std::optional<GStreamerRuntimePayload> gstreamer_runtime;
    std::string quality;
    bool replay_buffer_enabled = false;
    std::uint32_t replay_length_seconds = 0;
};

struct RuntimeDirectoryPathsPayload {
    std::optional<std::string> save_directory_path;
    std::optional<std::string> system_directory_path;
};

struct RunnerCheatSetPayload {
    bool enabled = false;
    std::string id;
    std::vector<std::string> lines;
    std::string name;
    std::string type;
};

struct EmulatorButtonState {
    std::string button_id;
    bool pressed = false;
};

struct EmulatorAnalogStickState {
    std::optional<double> x;
    std::optional<double> y;
};

struct EmulatorAnalogInputState {
    std::optional<EmulatorAnalogStickState> left;
    std::optional<EmulatorAnalogStickState> right;
};

struct EmulatorPlayerInputState {
    std::uint64_t player_index = 0;
    std::vector<EmulatorButtonState> buttons;
    std::optional<EmulatorAnalogInputState> analog;
};

struct EmulatorPointerState {
    std::int16_t x = 0;
    std::int16_t y = 0;
    std::optional<bool> pressed;
};

struct EmulatorInputState {
    std::vector<EmulatorButtonState> buttons;
    double captured_at = 0.0;
    std::optional<EmulatorAnalogInputState> analog;
    std::vector<EmulatorPlayerInputState> players;  // absent = empty
    std::optional<EmulatorPointerState> pointer;
};

struct NetplayInputFramePayload {
    std::uint64_t frame = 0;
    std::uint64_t player_index = 0;
    std::vector<std::uint8_t> payload;
};

struct DiscImageSnapshot {
    std::uint32_t image_index = 0;
    std::optional<std::string> label;
    std::optional<std::string> path;
};

struct DiscControlSnapshot {
    std::optional<std::uint32_t> current_image_index;
    bool ejected = false;
    std::vector<DiscImageSnapshot> images;
    bool supported = false;
};

struct ClipRecordingStatusPayload {
    bool encoder_available = false;
    bool manual_recording_active = false;
    bool replay_buffer_active = false;
    std::uint32_t replay_length_seconds = 0;
    std::optional<std::string> status_message;
};

struct ClipRecordingResultPayload {
    double duration_seconds = 0.0;
};

struct NativeControllerMetadataPayload {
    std::optional<std::string> battery_label;
    std::string hardware_id;
    bool is_connected = false;
    std::string name;
    std::string native_id;
    std::optional<std::uint8_t> power_percent;
    std::string power_state;
    std::optional<std::string> product_id;
    std::string provider;
    std::string transport;
    std::optional<std::string> uuid;
    std::optional<std::string> vendor_id;
};

struct NativeControllerMetadataSnapshotPayload {
    std::vector<NativeControllerMetadataPayload> controllers;
    std::optional<std::string> error;
    std::string provider;
    bool provider_available = false;
};

}  // namespace lk
