#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/error.hpp"
#include "protocol/command_payloads.hpp"
#include "protocol/pending_clip_result.hpp"
#include "protocol/shared_payloads.hpp"

namespace lk {

inline constexpr const char* kZipEntryUnsupported =
    "Zip entry sources must be extracted into the managed library first.";

struct LoadedRom {
    EmulatorSessionSnapshot session;
    std::uint64_t rom_size_bytes = 0;
};

// One emulator core id and the platforms it plays. The command loop passes the
// active session's snapshot to every session operation.
class EmulatorCore {
  public:
    using Snapshot = EmulatorSessionSnapshot;

    virtual ~EmulatorCore() = default;

    virtual Status close_rom(const Snapshot& snapshot) = 0;
    virtual Status pause(const Snapshot& snapshot) = 0;
    virtual Status resume(const Snapshot& snapshot) = 0;
    virtual Result<LoadedRom> load_rom(const LoadRomCommandPayload& payload,
                                       const std::string& session_id) = 0;
    virtual Status load_state(const Snapshot& snapshot, const LoadStateCommandPayload& payload) = 0;
    virtual Status save_state(const Snapshot& snapshot, const SaveStateCommandPayload& payload) = 0;
    virtual Status save_netplay_state_frame(const Snapshot& snapshot,
                                            const SaveNetplayStateFrameCommandPayload& payload) = 0;
    virtual Status capture_screenshot(const Snapshot& snapshot,
                                      const CaptureScreenshotCommandPayload& payload) = 0;
    virtual Result<ClipRecordingStatusPayload> clip_recording_status(const Snapshot& snapshot) = 0;
    virtual Result<DiscControlSnapshot> disc_control_snapshot(const Snapshot& snapshot) = 0;
    virtual Result<PendingClipResult> save_replay_clip_async(
        const Snapshot& snapshot, const SaveReplayClipCommandPayload& payload) = 0;
    virtual Result<std::vector<std::string>> set_input_state(
        const Snapshot& snapshot, const SetInputStateCommandPayload& payload) = 0;
    virtual Status set_audio_muted(const Snapshot& snapshot,
                                   const SetAudioMutedCommandPayload& payload) = 0;
    virtual Status set_audio_settings(const Snapshot& snapshot,
                                      const SetAudioSettingsCommandPayload& payload) = 0;
    virtual Status set_hardware_render_frame_rate_limit(
        const Snapshot& snapshot, const SetHardwareRenderFrameRateLimitCommandPayload& payload) = 0;
    virtual Status set_video_performance_mode(
        const Snapshot& snapshot, const SetVideoPerformanceModeCommandPayload& payload) = 0;
    virtual Result<DiscControlSnapshot> set_disc_image(
        const Snapshot& snapshot, const SetDiscImageCommandPayload& payload) = 0;
    virtual Status set_playback_speed(const Snapshot& snapshot,
                                      const SetPlaybackSpeedCommandPayload& payload) = 0;
    virtual Status sync_cheats(const Snapshot& snapshot,
                               const SyncCheatsCommandPayload& payload) = 0;
    virtual Status start_netplay_mode(const Snapshot& snapshot,
                                      const StartNetplayModeCommandPayload& payload) = 0;
    virtual Status stop_netplay_mode(const Snapshot& snapshot,
                                     const StopNetplayModeCommandPayload& payload) = 0;
    virtual Status submit_netplay_input_frame(
        const Snapshot& snapshot, const SubmitNetplayInputFrameCommandPayload& payload) = 0;
    virtual Status update_netplay_server_frame(
        const Snapshot& snapshot, const UpdateNetplayServerFrameCommandPayload& payload) = 0;
    virtual Status update_netplay_input_delay(
        const Snapshot& snapshot, const UpdateNetplayInputDelayCommandPayload& payload) = 0;
    virtual Status schedule_netplay_pause(const Snapshot& snapshot,
                                          const ScheduleNetplayPauseCommandPayload& payload) = 0;
    virtual Status start_clip_recording(const Snapshot& snapshot) = 0;
    virtual Result<PendingClipResult> stop_clip_recording_async(
        const Snapshot& snapshot, const StopClipRecordingCommandPayload& payload) = 0;
    [[nodiscard]] virtual bool supports(std::string_view core_id,
                                        std::string_view platform_id) const = 0;
    [[nodiscard]] virtual std::vector<std::string> supported_platform_ids() const = 0;
};

// The game file a loadRom names: a "file" source whose metadata can be read
// (the file is not opened). Fails for "zipEntry" sources and unreadable paths.
struct RomFile {
    FileRomSource source;
    std::uint64_t size_bytes = 0;
};
Result<RomFile> check_rom_file(const LoadRomCommandPayload& payload);

// The new session's snapshot from the loadRom payload.
LoadedRom loaded_rom_for(const LoadRomCommandPayload& payload, const std::string& session_id,
                         const std::string& core_graphics_profile, const RomFile& rom);

// True when `core_id` is `own_core_id` and `platform_id` is one of `platform_ids`
// (byte-wise, case-sensitive).
bool core_supports(std::string_view own_core_id, const std::vector<std::string>& platform_ids,
                   std::string_view core_id, std::string_view platform_id);

}  // namespace lk
