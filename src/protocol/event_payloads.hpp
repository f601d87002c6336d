#pragma once

// Event payload records and their JSON form. Keys are written in the listed
// order; absent optional values are written as null, except the three
// optional keys of a session snapshot, which are left out.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "protocol/json.hpp"
#include "protocol/shared_payloads.hpp"

namespace lk {

inline constexpr std::uint32_t kProtocolVersion = 1;
inline constexpr const char* kRunnerName = "lumenkite-runner";

struct RunnerReadyEventPayload {
    std::uint32_t protocol_version = kProtocolVersion;
    std::string runner_name = kRunnerName;
    std::vector<std::string> supported_platform_ids;
};

struct PongEventPayload {
    std::string issued_at;
    std::string request_id;
};

struct RomLoadedEventPayload {
    std::uint64_t rom_size_bytes = 0;
    EmulatorSessionSnapshot session;
};

struct RomClosedEventPayload {
    std::optional<std::string> session_id;
};

// Used by both "emulationPaused" and "emulationResumed".
struct EmulationPausedEventPayload {
    EmulatorSessionSnapshot session;
};

struct PlaybackSpeedChangedEventPayload {
    double playback_speed_ratio = 1.0;
    EmulatorSessionSnapshot session;
};

struct SaveStateLoadedEventPayload {
    EmulatorSessionSnapshot session;
    std::string slot_id;
    std::string state_file_path;
};

struct SaveStateWrittenEventPayload {
    std::string preview_file_path;
    std::string session_id;
    std::string slot_id;
    std::string state_file_path;
    std::string written_at;
};

struct ScreenshotCapturedEventPayload {
    std::string screenshot_file_path;
    std::string session_id;
};

struct CheatsSyncedEventPayload {
    std::uint64_t enabled_count = 0;
    std::string session_id;
    std::uint64_t total_count = 0;
};

struct RunnerCommandSucceededEventPayload {
    std::string command_name;
    std::string request_id;
    OrderedJson result;  // null when the command has no result
};

struct RunnerCommandFailedEventPayload {
    std::string command_name;
    std::string message;
    std::string request_id;
};

struct RunnerErrorEventPayload {
    std::string code;
    std::string message;
};

struct RawFrameStreamReadyEventPayload {
    std::string host;
    std::uint16_t port = 0;
    std::uint16_t protocol_version = 0;
    std::string session_id;
    std::string token;
};

struct NetplayLocalInputFrameEventPayload {
    NetplayInputFramePayload input;
    std::string session_id;
};

struct NetplayStateHashEventPayload {
    std::uint64_t frame = 0;
    std::string sha256;
    std::string session_id;
};

// Used by both "netplayStalled" and "netplayResumed".
struct NetplayStalledEventPayload {
    std::uint64_t frame = 0;
    std::string session_id;
};

struct NetplaySessionPauseReachedEventPayload {
    std::uint64_t paused_at_frame = 0;
    std::uint64_t sequence = 0;
    std::string session_id;
};

// Shared records.
void to_json(OrderedJson& out, const RomSourceDescriptor& source);
void to_json(OrderedJson& out, const EmulatorSessionSnapshot& snapshot);
void to_json(OrderedJson& out, const NetplayInputFramePayload& frame);
void to_json(OrderedJson& out, const DiscImageSnapshot& image);
void to_json(OrderedJson& out, const DiscControlSnapshot& snapshot);
void to_json(OrderedJson& out, const ClipRecordingStatusPayload& status);
void to_json(OrderedJson& out, const ClipRecordingResultPayload& result);
void to_json(OrderedJson& out, const NativeControllerMetadataPayload& controller);
void to_json(OrderedJson& out, const NativeControllerMetadataSnapshotPayload& snapshot);

// Event payloads.
void to_json(OrderedJson& out, const RunnerReadyEventPayload& payload);
void to_json(OrderedJson& out, const PongEventPayload& payload);
void to_json(OrderedJson& out, const RomLoadedEventPayload& payload);
void to_json(OrderedJson& out, const RomClosedEventPayload& payload);
void to_json(OrderedJson& out, const EmulationPausedEventPayload& payload);
void to_json(OrderedJson& out, const PlaybackSpeedChangedEventPayload& payload);
void to_json(OrderedJson& out, const SaveStateLoadedEventPayload& payload);
void to_json(OrderedJson& out, const SaveStateWrittenEventPayload& payload);
void to_json(OrderedJson& out, const ScreenshotCapturedEventPayload& payload);
void to_json(OrderedJson& out, const CheatsSyncedEventPayload& payload);
void to_json(OrderedJson& out, const RunnerCommandSucceededEventPayload& payload);
void to_json(OrderedJson& out, const RunnerCommandFailedEventPayload& payload);
void to_json(OrderedJson& out, const RunnerErrorEventPayload& payload);
void to_json(OrderedJson& out, const RawFrameStreamReadyEventPayload& payload);
void to_json(OrderedJson& out, const NetplayLocalInputFrameEventPayload& payload);
void to_json(OrderedJson& out, const NetplayStateHashEventPayload& payload);
void to_json(OrderedJson& out, const NetplayStalledEventPayload& payload);
void to_json(OrderedJson& out, const NetplaySessionPauseReachedEventPayload& payload);

}  // namespace lk
