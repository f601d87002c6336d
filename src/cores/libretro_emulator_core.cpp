#include "cores/libretro_emulator_core.hpp"

#include <sys/stat.h>

#include <cerrno>

#include "cores/stub_emulator_core.hpp"

namespace lk {

LibretroEmulatorCore::LibretroEmulatorCore(std::string core_id,
                                           std::vector<std::string> platform_ids,
                                           std::unique_ptr<CoreBundleResolver> bundle_resolver,
                                           ArtifactStoreHandle artifact_store,
                                           RunnerEventEmitterHandle event_emitter,
                                           std::unique_ptr<InputStateMapper> input_mapper,
                                           HardwareRenderBackendCapability hardware_capability)
    : core_id_(std::move(core_id)),
      platform_ids_(std::move(platform_ids)),
      bundle_resolver_(std::move(bundle_resolver)),
      artifact_store_(std::move(artifact_store)),
      event_emitter_(std::move(event_emitter)),
      input_mapper_(std::move(input_mapper)),
      hardware_capability_(std::move(hardware_capability)) {}

Status LibretroEmulatorCore::close_rom(const Snapshot&) {
    return {};
}

Result<LoadedRom> LibretroEmulatorCore::load_rom(const LoadRomCommandPayload& payload,
                                                 const std::string&) {
    const auto* file = std::get_if<FileRomSource>(&payload.source);
    if (file == nullptr) {
        return fail(kZipEntryUnsupported);
    }
    struct stat info {};
    if (::stat(file->file_path.c_str(), &info) != 0) {
        return fail(Error::from_errno(errno));
    }
    auto library = bundle_resolver_->resolve_core_binary(payload.core_id, payload.platform_id);
    if (!library) {
        return fail(std::move(library.error()));
    }
    return fail("The libretro runtime is not available in this build of the runner.");
}

Status LibretroEmulatorCore::pause(const Snapshot&) {
    return fail(kNoLibretroRuntime);
}

Status LibretroEmulatorCore::resume(const Snapshot&) {
    return fail(kNoLibretroRuntime);
}

Status LibretroEmulatorCore::load_state(const Snapshot&, const LoadStateCommandPayload&) {
    return fail(kNoLibretroRuntime);
}

Status LibretroEmulatorCore::save_state(const Snapshot&, const SaveStateCommandPayload&) {
    return fail(kNoLibretroRuntime);
}

Status LibretroEmulatorCore::save_netplay_state_frame(const Snapshot&,
                                                      const SaveNetplayStateFrameCommandPayload&) {
    return fail(kNoLibretroRuntime);
}

Status LibretroEmulatorCore::capture_screenshot(const Snapshot&,
                                                const CaptureScreenshotCommandPayload&) {
    return fail(kNoLibretroRuntime);
}

Result<ClipRecordingStatusPayload> LibretroEmulatorCore::clip_recording_status(const Snapshot&) {
    return fail(kNoLibretroRuntime);
}

Result<DiscControlSnapshot> LibretroEmulatorCore::disc_control_snapshot(const Snapshot&) {
    return fail(kNoLibretroRuntime);
}

Result<PendingClipResult> LibretroEmulatorCore::save_replay_clip_async(
    const Snapshot&, const SaveReplayClipCommandPayload&) {
    return fail(kNoLibretroRuntime);
}

Result<std::vector<std::string>> LibretroEmulatorCore::set_input_state(
    const Snapshot&, const SetInputStateCommandPayload&) {
    return fail(kNoLibretroRuntime);
}

Status LibretroEmulatorCore::set_audio_muted(const Snapshot&, const SetAudioMutedCommandPayload&) {
    return fail(kNoLibretroRuntime);
}

Status LibretroEmulatorCore::set_audio_settings(const Snapshot&,
                                                const SetAudioSettingsCommandPayload&) {
    return fail(kNoLibretroRuntime);
}

Status LibretroEmulatorCore::set_hardware_render_frame_rate_limit(
    const Snapshot&, const SetHardwareRenderFrameRateLimitCommandPayload&) {
    return fail(kNoLibretroRuntime);
}

Status LibretroEmulatorCore::set_video_performance_mode(
    const Snapshot&, const SetVideoPerformanceModeCommandPayload&) {
    return fail(kNoLibretroRuntime);
}

Result<DiscControlSnapshot> LibretroEmulatorCore::set_disc_image(
    const Snapshot&, const SetDiscImageCommandPayload&) {
    return fail(kNoLibretroRuntime);
}

Status LibretroEmulatorCore::set_playback_speed(const Snapshot&,
                                                const SetPlaybackSpeedCommandPayload&) {
    return fail(kNoLibretroRuntime);
}

Status LibretroEmulatorCore::sync_cheats(const Snapshot&, const SyncCheatsCommandPayload&) {
    return fail(kNoLibretroRuntime);
}

Status LibretroEmulatorCore::start_netplay_mode(const Snapshot&,
                                                const StartNetplayModeCommandPayload&) {
    return fail(kNoLibretroRuntime);
}

Status LibretroEmulatorCore::stop_netplay_mode(const Snapshot&,
                                               const StopNetplayModeCommandPayload&) {
    return fail(kNoLibretroRuntime);
}

Status LibretroEmulatorCore::submit_netplay_input_frame(
    const Snapshot&, const SubmitNetplayInputFrameCommandPayload&) {
    return fail(kNoLibretroRuntime);
}

Status LibretroEmulatorCore::update_netplay_server_frame(
    const Snapshot&, const UpdateNetplayServerFrameCommandPayload&) {
    return fail(kNoLibretroRuntime);
}

Status LibretroEmulatorCore::update_netplay_input_delay(
    const Snapshot&, const UpdateNetplayInputDelayCommandPayload&) {
    return fail(kNoLibretroRuntime);
}

Status LibretroEmulatorCore::schedule_netplay_pause(const Snapshot&,
                                                    const ScheduleNetplayPauseCommandPayload&) {
    return fail(kNoLibretroRuntime);
}

Status LibretroEmulatorCore::start_clip_recording(const Snapshot&) {
    return fail(kNoLibretroRuntime);
}

Result<PendingClipResult> LibretroEmulatorCore::stop_clip_recording_async(
    const Snapshot&, const StopClipRecordingCommandPayload&) {
    return fail(kNoLibretroRuntime);
}

bool LibretroEmulatorCore::supports(std::string_view core_id, std::string_view platform_id) const {
    return core_supports(core_id_, platform_ids_, core_id, platform_id);
}

std::vector<std::string> LibretroEmulatorCore::supported_platform_ids() const {
    return platform_ids_;
}

}  // namespace lk
