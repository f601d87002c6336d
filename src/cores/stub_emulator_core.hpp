#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cores/emulator_core.hpp"
#include "input/input_state_mapper.hpp"
#include "runtime/artifact_store.hpp"

namespace lk {

inline constexpr const char* kStubClipUnavailable =
    "Clip recording is not available for stub cores.";

// Plays nothing: answers every command from its own data and writes small
// placeholder files, so the shell's whole flow runs without emulator cores.
class StubEmulatorCore final : public EmulatorCore {
  public:
    StubEmulatorCore(std::string core_id, std::vector<std::string> platform_ids,
                     ArtifactStoreHandle artifact_store,
                     std::unique_ptr<InputStateMapper> input_mapper);

    Status close_rom(const Snapshot& snapshot) override;
    Status pause(const Snapshot& snapshot) override;
    Status resume(const Snapshot& snapshot) override;
    Result<LoadedRom> load_rom(const LoadRomCommandPayload& payload,
                               const std::string& session_id) override;
    Status load_state(const Snapshot& snapshot, const LoadStateCommandPayload& payload) override;
    Status save_state(const Snapshot& snapshot, const SaveStateCommandPayload& payload) override;
    Status save_netplay_state_frame(const Snapshot& snapshot,
                                    const SaveNetplayStateFrameCommandPayload& payload) override;
    Status capture_screenshot(const Snapshot& snapshot,
                              const CaptureScreenshotCommandPayload& payload) override;
    Result<ClipRecordingStatusPayload> clip_recording_status(const Snapshot& snapshot) override;
    Result<DiscControlSnapshot> disc_control_snapshot(const Snapshot& snapshot) override;
    Result<PendingClipResult> save_replay_clip_async(
        const Snapshot& snapshot, const SaveReplayClipCommandPayload& payload) override;
    Result<std::vector<std::string>> set_input_state(
        const Snapshot& snapshot, const SetInputStateCommandPayload& payload) override;
    Status set_audio_muted(const Snapshot& snapshot,
                           const SetAudioMutedCommandPayload& payload) override;
    Status set_audio_settings(const Snapshot& snapshot,
                              const SetAudioSettingsCommandPayload& payload) override;
    Status set_hardware_render_frame_rate_limit(
        const Snapshot& snapshot,
        const SetHardwareRenderFrameRateLimitCommandPayload& payload) override;
    Status set_video_performance_mode(
        const Snapshot& snapshot, const SetVideoPerformanceModeCommandPayload& payload) override;
    Result<DiscControlSnapshot> set_disc_image(const Snapshot& snapshot,
                                               const SetDiscImageCommandPayload& payload) override;
    Status set_playback_speed(const Snapshot& snapshot,
                              const SetPlaybackSpeedCommandPayload& payload) override;
    Status sync_cheats(const Snapshot& snapshot, const SyncCheatsCommandPayload& payload) override;
    Status start_netplay_mode(const Snapshot& snapshot,
                              const StartNetplayModeCommandPayload& payload) override;
    Status stop_netplay_mode(const Snapshot& snapshot,
                             const StopNetplayModeCommandPayload& payload) override;
    Status submit_netplay_input_frame(
        const Snapshot& snapshot, const SubmitNetplayInputFrameCommandPayload& payload) override;
    Status update_netplay_server_frame(
        const Snapshot& snapshot, const UpdateNetplayServerFrameCommandPayload& payload) override;
    Status update_netplay_input_delay(
        const Snapshot& snapshot, const UpdateNetplayInputDelayCommandPayload& payload) override;
    Status schedule_netplay_pause(const Snapshot& snapshot,
                                  const ScheduleNetplayPauseCommandPayload& payload) override;
    Status start_clip_recording(const Snapshot& snapshot) override;
    Result<PendingClipResult> stop_clip_recording_async(
        const Snapshot& snapshot, const StopClipRecordingCommandPayload& payload) override;
    bool supports(std::string_view core_id, std::string_view platform_id) const override;
    std::vector<std::string> supported_platform_ids() const override;

  private:
    std::string core_id_;
    std::vector<std::string> platform_ids_;
    ArtifactStoreHandle artifact_store_;
    std::unique_ptr<InputStateMapper> input_mapper_;
};

// The stub's save-state and netplay-frame files: sorted keys, two-space
// indent, no final newline.
std::string stub_save_state_text(const EmulatorSessionSnapshot& snapshot,
                                 const std::string& slot_id);
std::string stub_netplay_frame_text(const EmulatorSessionSnapshot& snapshot, std::uint64_t frame);

}  // namespace lk
