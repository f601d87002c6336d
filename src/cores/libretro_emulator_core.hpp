#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cores/artifact_store.hpp"
#include "cores/core_bundle_resolver.hpp"
#include "cores/emulator_core.hpp"
#include "hardware_render/hardware_render_backend_capability.hpp"
#include "input/input_state_mapper.hpp"
#include "protocol/runner_event_emitter.hpp"

namespace lk {

inline constexpr const char* kNoLibretroRuntime = "No libretro runtime is active.";

// Plays games with a real libretro core library found by its bundle resolver.
// This build resolves the core library but has no runtime to run it yet, so a
// load fails after the library was found and no session ever becomes active.
class LibretroEmulatorCore final : public EmulatorCore {
  public:
    LibretroEmulatorCore(std::string core_id, std::vector<std::string> platform_ids,
                         std::unique_ptr<CoreBundleResolver> bundle_resolver,
                         ArtifactStoreHandle artifact_store, RunnerEventEmitterHandle event_emitter,
                         std::unique_ptr<InputStateMapper> input_mapper,
                         HardwareRenderBackendCapability hardware_capability);

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
    std::unique_ptr<CoreBundleResolver> bundle_resolver_;
    ArtifactStoreHandle artifact_store_;
    RunnerEventEmitterHandle event_emitter_;
    std::unique_ptr<InputStateMapper> input_mapper_;
    HardwareRenderBackendCapability hardware_capability_;
};

}  // namespace lk
