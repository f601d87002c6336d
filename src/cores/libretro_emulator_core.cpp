#include "cores/libretro_emulator_core.hpp"

#include <chrono>

#include "common/switches.hpp"
#include "cores/dolphin_core_identity.hpp"
#include "cores/libretro_session_settings.hpp"
#include "cores/runner_map_input_trace.hpp"
#include "cores/stub_emulator_core.hpp"
#include "input/standard_input_state_mapper.hpp"
#include "runtime/libretro_runtime.hpp"

namespace lk {

namespace {

namespace rc = runtime_command;

bool is_dolphin_gamecube(std::string_view core_id, std::string_view platform_id) {
    return core_id == "dolphin" && platform_id == "gamecube";
}

double epoch_ms_now() {
    const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration<double, std::milli>(since_epoch).count();
}

template <class T>
Result<T> or_fail(Result<LibretroRuntimeHandle*>& handle) {
    return fail(std::move(handle.error()));
}

}  // namespace

LibretroEmulatorCore::LibretroEmulatorCore(std::string core_id,
                                           std::vector<std::string> platform_ids,
                                           std::unique_ptr<CoreBundleResolver> bundle_resolver,
                                           ArtifactStoreHandle artifact_store,
                                           std::unique_ptr<AudioSinkFactory> audio_sink_factory,
                                           RunnerEventEmitterHandle event_emitter,
                                           std::unique_ptr<VideoSinkFactory> video_sink_factory,
                                           std::unique_ptr<InputStateMapper> input_mapper)
    : core_id_(std::move(core_id)),
      platform_ids_(std::move(platform_ids)),
      artifact_store_(std::move(artifact_store)),
      audio_sink_factory_(std::move(audio_sink_factory)),
      bundle_resolver_(std::move(bundle_resolver)),
      event_emitter_(std::move(event_emitter)),
      video_sink_factory_(std::move(video_sink_factory)),
      input_mapper_(std::move(input_mapper)) {}

LibretroEmulatorCore::~LibretroEmulatorCore() {
    (void)shutdown_loaded_session();
}

Result<LibretroRuntimeHandle*> LibretroEmulatorCore::runtime_handle() {
    if (!loaded_session_) {
        return fail(kNoLibretroRuntime);
    }
    return &*loaded_session_;
}

Status LibretroEmulatorCore::shutdown_loaded_session() {
    if (!loaded_session_) {
        return {};
    }
    std::optional<LibretroRuntimeHandle> session = std::move(loaded_session_);
    loaded_session_.reset();
    return session->shutdown();
}

Status LibretroEmulatorCore::close_rom(const Snapshot&) {
    return shutdown_loaded_session();
}

Result<LoadedRom> LibretroEmulatorCore::load_rom(const LoadRomCommandPayload& payload,
                                                 const std::string& session_id) {
    if (auto closed = shutdown_loaded_session(); !closed) {
        return fail(std::move(closed.error()));
    }
    auto rom = check_rom_file(payload);
    if (!rom) {
        return fail(std::move(rom.error()));
    }
    auto library = bundle_resolver_->resolve_core_binary(payload.core_id, payload.platform_id);
    if (!library) {
        return fail(std::move(library.error()));
    }
    if (is_dolphin_gamecube(payload.core_id, payload.platform_id)) {
        if (auto known = check_dolphin_gamecube_core_identity(*library); !known) {
            return fail(std::move(known.error()));
        }
    }
    LibretroRuntimeConfig config =
        libretro_runtime_config_for(payload, session_id, *library, rom->source.file_path);
    const std::string effective_profile = config.core_graphics_profile;
    std::unique_ptr<AudioSink> audio_sink = audio_sink_factory_->create_audio_sink();
    std::unique_ptr<VideoSink> video_sink = video_sink_factory_->create_video_sink(VideoSinkConfig{
        payload.core_id, payload.platform_id, payload.hardware_render_frame_rate_limit, session_id,
        payload.video_performance_mode});
    auto handle = spawn_libretro_runtime(std::move(config), artifact_store_, std::move(audio_sink),
                                         event_emitter_, std::move(video_sink));
    if (!handle) {
        return fail(std::move(handle.error()));
    }
    loaded_session_.emplace(std::move(*handle));

    return loaded_rom_for(payload, session_id, effective_profile, *rom);
}

Status LibretroEmulatorCore::pause(const Snapshot&) {
    auto handle = runtime_handle();
    return handle ? (*handle)->pause() : fail(std::move(handle.error()));
}

Status LibretroEmulatorCore::resume(const Snapshot&) {
    auto handle = runtime_handle();
    return handle ? (*handle)->resume() : fail(std::move(handle.error()));
}

Status LibretroEmulatorCore::load_state(const Snapshot&, const LoadStateCommandPayload& payload) {
    auto handle = runtime_handle();
    return handle ? (*handle)->load_state(payload.state_file_path)
                  : fail(std::move(handle.error()));
}

Status LibretroEmulatorCore::save_state(const Snapshot&, const SaveStateCommandPayload& payload) {
    auto handle = runtime_handle();
    return handle ? (*handle)->save_state(payload.state_file_path, payload.preview_file_path)
                  : fail(std::move(handle.error()));
}

Status LibretroEmulatorCore::save_netplay_state_frame(
    const Snapshot&, const SaveNetplayStateFrameCommandPayload& payload) {
    auto handle = runtime_handle();
    return handle ? (*handle)->save_netplay_state_frame(payload.state_file_path, payload.frame)
                  : fail(std::move(handle.error()));
}

Status LibretroEmulatorCore::capture_screenshot(const Snapshot&,
                                                const CaptureScreenshotCommandPayload& payload) {
    auto handle = runtime_handle();
    return handle ? (*handle)->capture_screenshot(payload.screenshot_file_path)
                  : fail(std::move(handle.error()));
}

Result<ClipRecordingStatusPayload> LibretroEmulatorCore::clip_recording_status(const Snapshot&) {
    auto handle = runtime_handle();
    return handle ? (*handle)->clip_recording_status()
                  : or_fail<ClipRecordingStatusPayload>(handle);
}

Result<DiscControlSnapshot> LibretroEmulatorCore::disc_control_snapshot(const Snapshot&) {
    auto handle = runtime_handle();
    return handle ? (*handle)->disc_control_snapshot() : or_fail<DiscControlSnapshot>(handle);
}

Result<PendingClipResult> LibretroEmulatorCore::save_replay_clip_async(
    const Snapshot&, const SaveReplayClipCommandPayload& payload) {
    auto handle = runtime_handle();
    return handle ? (*handle)->save_replay_clip_async(payload.output_file_path,
                                                      payload.replay_length_seconds,
                                                      payload.thumbnail_file_path)
                  : or_fail<PendingClipResult>(handle);
}

Result<std::vector<std::string>> LibretroEmulatorCore::set_input_state(
    const Snapshot& snapshot, const SetInputStateCommandPayload& payload) {
    auto handle = runtime_handle();
    if (!handle) {
        return fail(std::move(handle.error()));
    }
    const bool dolphin_gamecube = is_dolphin_gamecube(snapshot.core_id, snapshot.platform_id);
    static const StandardInputStateMapper standard_mapper;
    const InputStateMapper& standard = standard_mapper;
    const InputStateMapper& mapper = dolphin_gamecube ? standard : *input_mapper_;
    MappedInputState mapped = mapper.map_input_state(payload.input_state);
    if (dolphin_gamecube && core_input_trace_enabled()) {
        trace_runner_map(payload.input_state, mapped);
    }
    std::vector<std::string> labels = mapped.pressed_labels;
    rc::InputTimings timings{
        payload.input_sampled_at_epoch_ms, payload.main_forwarded_at_epoch_ms,
        payload.main_received_at_epoch_ms, payload.renderer_dispatched_at_epoch_ms,
        payload.renderer_tick_delta_ms,    epoch_ms_now()};
    if (auto sent = (*handle)->send(rc::SetInputState{std::move(mapped), timings}); !sent) {
        return fail(std::move(sent.error()));
    }
    return labels;
}

Status LibretroEmulatorCore::set_audio_muted(const Snapshot&,
                                             const SetAudioMutedCommandPayload& payload) {
    auto handle = runtime_handle();
    return handle ? (*handle)->set_audio_muted(payload.muted) : fail(std::move(handle.error()));
}

Status LibretroEmulatorCore::set_audio_settings(const Snapshot&,
                                                const SetAudioSettingsCommandPayload& payload) {
    auto handle = runtime_handle();
    return handle ? (*handle)->set_audio_settings(audio_sink_settings_from(payload.audio_settings))
                  : fail(std::move(handle.error()));
}

Status LibretroEmulatorCore::set_hardware_render_frame_rate_limit(
    const Snapshot&, const SetHardwareRenderFrameRateLimitCommandPayload& payload) {
    auto handle = runtime_handle();
    return handle ? (*handle)->set_hardware_render_frame_rate_limit(
                        payload.hardware_render_frame_rate_limit)
                  : fail(std::move(handle.error()));
}

Status LibretroEmulatorCore::set_video_performance_mode(
    const Snapshot&, const SetVideoPerformanceModeCommandPayload& payload) {
    auto handle = runtime_handle();
    return handle ? (*handle)->set_video_performance_mode(payload.performance_mode)
                  : fail(std::move(handle.error()));
}

Result<DiscControlSnapshot> LibretroEmulatorCore::set_disc_image(
    const Snapshot&, const SetDiscImageCommandPayload& payload) {
    auto handle = runtime_handle();
    return handle ? (*handle)->set_disc_image(payload.image_index)
                  : or_fail<DiscControlSnapshot>(handle);
}

Status LibretroEmulatorCore::set_playback_speed(const Snapshot&,
                                                const SetPlaybackSpeedCommandPayload& payload) {
    auto handle = runtime_handle();
    return handle ? (*handle)->set_playback_speed(payload.playback_speed_ratio)
                  : fail(std::move(handle.error()));
}

Status LibretroEmulatorCore::sync_cheats(const Snapshot&, const SyncCheatsCommandPayload& payload) {
    auto handle = runtime_handle();
    return handle ? (*handle)->sync_cheats(payload.cheat_sets) : fail(std::move(handle.error()));
}

Status LibretroEmulatorCore::start_netplay_mode(const Snapshot&,
                                                const StartNetplayModeCommandPayload& payload) {
    auto handle = runtime_handle();
    return handle ? (*handle)->start_netplay_mode(payload.input_delay_frames,
                                                  payload.local_player_index, payload.player_count,
                                                  payload.start_frame)
                  : fail(std::move(handle.error()));
}

Status LibretroEmulatorCore::stop_netplay_mode(const Snapshot&,
                                               const StopNetplayModeCommandPayload&) {
    auto handle = runtime_handle();
    return handle ? (*handle)->stop_netplay_mode() : fail(std::move(handle.error()));
}

Status LibretroEmulatorCore::submit_netplay_input_frame(
    const Snapshot&, const SubmitNetplayInputFrameCommandPayload& payload) {
    auto handle = runtime_handle();
    return handle ? (*handle)->send(rc::SubmitNetplayInputFrame{
                        payload.input.payload, payload.input.frame, payload.input.player_index})
                  : fail(std::move(handle.error()));
}

Status LibretroEmulatorCore::update_netplay_server_frame(
    const Snapshot&, const UpdateNetplayServerFrameCommandPayload& payload) {
    auto handle = runtime_handle();
    return handle ? (*handle)->send(
                        rc::UpdateNetplayServerFrame{payload.canonical_frame, payload.frame})
                  : fail(std::move(handle.error()));
}

Status LibretroEmulatorCore::update_netplay_input_delay(
    const Snapshot&, const UpdateNetplayInputDelayCommandPayload& payload) {
    auto handle = runtime_handle();
    return handle ? (*handle)->send(rc::UpdateNetplayInputDelay{payload.effective_frame,
                                                                payload.input_delay_frames})
                  : fail(std::move(handle.error()));
}

Status LibretroEmulatorCore::schedule_netplay_pause(
    const Snapshot&, const ScheduleNetplayPauseCommandPayload& payload) {
    auto handle = runtime_handle();
    return handle ? (*handle)->schedule_netplay_pause(payload.pause_at_frame, payload.sequence)
                  : fail(std::move(handle.error()));
}

Status LibretroEmulatorCore::start_clip_recording(const Snapshot&) {
    auto handle = runtime_handle();
    return handle ? (*handle)->start_clip_recording() : fail(std::move(handle.error()));
}

Result<PendingClipResult> LibretroEmulatorCore::stop_clip_recording_async(
    const Snapshot&, const StopClipRecordingCommandPayload& payload) {
    auto handle = runtime_handle();
    return handle ? (*handle)->stop_clip_recording_async(payload.output_file_path,
                                                         payload.thumbnail_file_path)
                  : or_fail<PendingClipResult>(handle);
}

bool LibretroEmulatorCore::supports(std::string_view core_id, std::string_view platform_id) const {
    return core_supports(core_id_, platform_ids_, core_id, platform_id);
}

std::vector<std::string> LibretroEmulatorCore::supported_platform_ids() const {
    return platform_ids_;
}

}  // namespace lk
