#include "cores/stub_emulator_core.hpp"



#include "protocol/json.hpp"
#include "video/placeholder_image.hpp"

namespace lk {

namespace {

std::span<const std::uint8_t> as_bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Json keeps object keys sorted, which is the order these files use.
std::string pretty(const Json& document) {
    return document.dump(2, ' ', false, Json::error_handler_t::replace);
}

ClipRecordingStatusPayload stub_clip_status() {
    return ClipRecordingStatusPayload{false, false, false, 30, kStubClipUnavailable};
}

DiscControlSnapshot empty_disc_state() {
    return DiscControlSnapshot{};
}

}  // namespace

std::string stub_save_state_text(const EmulatorSessionSnapshot& s, const std::string& slot_id) {
    return pretty(Json{{"coreId", s.core_id},
                       {"gameId", s.game_id},
                       {"platformId", s.platform_id},
                       {"runState", s.run_state},
                       {"sessionId", s.session_id},
                       {"slotId", slot_id},
                       {"title", s.title}});
}

std::string stub_netplay_frame_text(const EmulatorSessionSnapshot& s, std::uint64_t frame) {
    return pretty(Json{{"coreId", s.core_id},
                       {"frame", frame},
                       {"gameId", s.game_id},
                       {"platformId", s.platform_id},
                       {"sessionId", s.session_id},
                       {"title", s.title}});
}

StubEmulatorCore::StubEmulatorCore(std::string core_id, std::vector<std::string> platform_ids,
                                   ArtifactStoreHandle artifact_store,
                                   std::unique_ptr<InputStateMapper> input_mapper)
    : core_id_(std::move(core_id)),
      platform_ids_(std::move(platform_ids)),
      artifact_store_(std::move(artifact_store)),
      input_mapper_(std::move(input_mapper)) {}

Status StubEmulatorCore::close_rom(const Snapshot&) {
    return {};
}
Status StubEmulatorCore::pause(const Snapshot&) {
    return {};
}
Status StubEmulatorCore::resume(const Snapshot&) {
    return {};
}

Result<LoadedRom> StubEmulatorCore::load_rom(const LoadRomCommandPayload& payload,
                                             const std::string& session_id) {
    auto rom = check_rom_file(payload);
    if (!rom) {
        return fail(std::move(rom.error()));
    }
    return loaded_rom_for(payload, session_id, payload.core_graphics_profile, *rom);
}

Status StubEmulatorCore::load_state(const Snapshot&, const LoadStateCommandPayload& payload) {
    auto bytes = artifact_store_->read_save_state(payload.state_file_path);
    if (!bytes) {
        return fail(std::move(bytes.error()));
    }
    return {};
}

Status StubEmulatorCore::save_state(const Snapshot& snapshot,
                                    const SaveStateCommandPayload& payload) {
    const std::string text = stub_save_state_text(snapshot, payload.slot_id);
    if (auto written = artifact_store_->write_save_state(payload.state_file_path, as_bytes(text));
        !written) {
        return written;
    }
    return artifact_store_->write_image(payload.preview_file_path, kPlaceholderPng);
}

Status StubEmulatorCore::save_netplay_state_frame(
    const Snapshot& snapshot, const SaveNetplayStateFrameCommandPayload& payload) {
    const std::string text = stub_netplay_frame_text(snapshot, payload.frame);
    return artifact_store_->write_save_state(payload.state_file_path, as_bytes(text));
}

Status StubEmulatorCore::capture_screenshot(const Snapshot&,
                                            const CaptureScreenshotCommandPayload& payload) {
    return artifact_store_->write_image(payload.screenshot_file_path, kPlaceholderPng);
}

Result<ClipRecordingStatusPayload> StubEmulatorCore::clip_recording_status(const Snapshot&) {
    return stub_clip_status();
}

Result<DiscControlSnapshot> StubEmulatorCore::disc_control_snapshot(const Snapshot&) {
    return empty_disc_state();
}

Result<PendingClipResult> StubEmulatorCore::save_replay_clip_async(
    const Snapshot&, const SaveReplayClipCommandPayload&) {
    return ready_clip_error(Error(kStubClipUnavailable));
}

Result<std::vector<std::string>> StubEmulatorCore::set_input_state(
    const Snapshot&, const SetInputStateCommandPayload& payload) {
    return input_mapper_->map_input_state(payload.input_state).pressed_labels;
}

Status StubEmulatorCore::set_audio_muted(const Snapshot&, const SetAudioMutedCommandPayload&) {
    return {};
}
Status StubEmulatorCore::set_audio_settings(const Snapshot&,
                                            const SetAudioSettingsCommandPayload&) {
    return {};
}
Status StubEmulatorCore::set_hardware_render_frame_rate_limit(
    const Snapshot&, const SetHardwareRenderFrameRateLimitCommandPayload&) {
    return {};
}
Status StubEmulatorCore::set_video_performance_mode(const Snapshot&,
                                                    const SetVideoPerformanceModeCommandPayload&) {
    return {};
}
Result<DiscControlSnapshot> StubEmulatorCore::set_disc_image(const Snapshot&,
                                                             const SetDiscImageCommandPayload&) {
    return empty_disc_state();
}
Status StubEmulatorCore::set_playback_speed(const Snapshot&,
                                            const SetPlaybackSpeedCommandPayload&) {
    return {};
}
Status StubEmulatorCore::sync_cheats(const Snapshot&, const SyncCheatsCommandPayload&) {
    return {};
}
Status StubEmulatorCore::start_netplay_mode(const Snapshot&,
                                            const StartNetplayModeCommandPayload&) {
    return {};
}
Status StubEmulatorCore::stop_netplay_mode(const Snapshot&, const StopNetplayModeCommandPayload&) {
    return {};
}
Status StubEmulatorCore::submit_netplay_input_frame(const Snapshot&,
                                                    const SubmitNetplayInputFrameCommandPayload&) {
    return {};
}
Status StubEmulatorCore::update_netplay_server_frame(
    const Snapshot&, const UpdateNetplayServerFrameCommandPayload&) {
    return {};
}
Status StubEmulatorCore::update_netplay_input_delay(const Snapshot&,
                                                    const UpdateNetplayInputDelayCommandPayload&) {
    return {};
}
Status StubEmulatorCore::schedule_netplay_pause(const Snapshot&,
                                                const ScheduleNetplayPauseCommandPayload&) {
    return {};
}

Status StubEmulatorCore::start_clip_recording(const Snapshot&) {
    return fail(kStubClipUnavailable);
}

Result<PendingClipResult> StubEmulatorCore::stop_clip_recording_async(
    const Snapshot&, const StopClipRecordingCommandPayload&) {
    return ready_clip_error(Error(kStubClipUnavailable));
}

bool StubEmulatorCore::supports(std::string_view core_id, std::string_view platform_id) const {
    return core_supports(core_id_, platform_ids_, core_id, platform_id);
}

std::vector<std::string> StubEmulatorCore::supported_platform_ids() const {
    return platform_ids_;
}

}  // namespace lk
