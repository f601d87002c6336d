#include "runtime/libretro_runtime_handle.hpp"

namespace lk {

namespace rc = runtime_command;

LibretroRuntimeHandle::LibretroRuntimeHandle(CommandSender commands, RuntimeThread thread)
    : commands_(std::move(commands)), thread_(std::move(thread)) {}

LibretroRuntimeHandle::~LibretroRuntimeHandle() {
    if (!thread_) {
        return;
    }
    (void)shutdown();
    // A runtime that already ended cannot take the Shutdown command; its
    // thread is finished (or finishing) and is joined here.
    if (thread_) {
        (void)thread_->join_and_check_panicked();
    }
}

Status LibretroRuntimeHandle::send(LibretroRuntimeCommand command) {
    return send_command(commands_, std::move(command));
}

// Makes the reply channel, puts its sender into the command, sends and waits.
template <class T, class Command>
Result<T> LibretroRuntimeHandle::request(Command command) {
    auto [reply, receiver] = make_oneshot<Result<T>>();
    command.reply = std::move(reply);
    if (auto sent = send(std::move(command)); !sent) {
        return fail(std::move(sent.error()));
    }
    return receive_typed_reply(receiver);
}

Status LibretroRuntimeHandle::request_status(auto command) {
    auto reply = request<std::monostate>(std::move(command));
    if (!reply) {
        return fail(std::move(reply.error()));
    }
    return {};
}

namespace {
template <class Command>
Result<PendingClipResult> request_clip(LibretroRuntimeHandle& handle, Command command) {
    auto [reply, receiver] = make_oneshot<ClipResult>();
    command.reply = std::move(reply);
    if (auto sent = handle.send(std::move(command)); !sent) {
        return fail(std::move(sent.error()));
    }
    return std::move(receiver);
}
}  // namespace

Status LibretroRuntimeHandle::capture_screenshot(std::string screenshot_path) {
    return request_status(rc::CaptureScreenshot{{}, std::move(screenshot_path)});
}
Result<DiscControlSnapshot> LibretroRuntimeHandle::disc_control_snapshot() {
    return request<DiscControlSnapshot>(rc::DiscControlSnapshot{});
}
Result<ClipRecordingStatusPayload> LibretroRuntimeHandle::clip_recording_status() {
    return request<ClipRecordingStatusPayload>(rc::ClipRecordingStatus{});
}
Status LibretroRuntimeHandle::load_state(std::string state_path) {
    return request_status(rc::LoadState{{}, std::move(state_path)});
}
Status LibretroRuntimeHandle::pause() {
    return request_status(rc::Pause{});
}
Status LibretroRuntimeHandle::resume() {
    return request_status(rc::Resume{});
}
Status LibretroRuntimeHandle::save_state(std::string state_path, std::string preview_path) {
    return request_status(rc::SaveState{{}, std::move(state_path), std::move(preview_path)});
}
Status LibretroRuntimeHandle::save_netplay_state_frame(std::string state_path,
                                                       std::uint64_t frame) {
    return request_status(rc::SaveNetplayStateFrame{{}, std::move(state_path), frame});
}
Result<PendingClipResult> LibretroRuntimeHandle::save_replay_clip_async(
    std::string output_path, std::uint32_t replay_length_seconds, std::string thumbnail_path) {
    return request_clip(
        *this, rc::SaveReplayClip{
                   {}, std::move(output_path), std::move(thumbnail_path), replay_length_seconds});
}
Status LibretroRuntimeHandle::set_audio_muted(bool muted) {
    return request_status(rc::SetAudioMuted{{}, muted});
}
Status LibretroRuntimeHandle::set_audio_settings(AudioSinkSettings settings) {
    return request_status(rc::SetAudioSettings{{}, std::move(settings)});
}
Status LibretroRuntimeHandle::set_hardware_render_frame_rate_limit(double limit) {
    return request_status(rc::SetHardwareRenderFrameRateLimit{{}, limit});
}
Status LibretroRuntimeHandle::set_video_performance_mode(std::string mode) {
    return request_status(rc::SetVideoPerformanceMode{{}, std::move(mode)});
}
Result<DiscControlSnapshot> LibretroRuntimeHandle::set_disc_image(std::uint32_t image_index) {
    return request<DiscControlSnapshot>(rc::SetDiscImage{{}, image_index});
}
Status LibretroRuntimeHandle::set_playback_speed(double speed) {
    return request_status(rc::SetPlaybackSpeed{{}, speed});
}
Status LibretroRuntimeHandle::start_netplay_mode(std::uint64_t input_delay_frames,
                                                 std::uint64_t local_player_index,
                                                 std::uint64_t player_count,
                                                 std::uint64_t start_frame) {
    return request_status(rc::StartNetplayMode{
        {}, input_delay_frames, local_player_index, player_count, start_frame});
}
Status LibretroRuntimeHandle::stop_netplay_mode() {
    return request_status(rc::StopNetplayMode{});
}
Status LibretroRuntimeHandle::schedule_netplay_pause(std::uint64_t pause_at_frame,
                                                     std::uint64_t sequence) {
    return request_status(rc::ScheduleNetplayPause{{}, pause_at_frame, sequence});
}
Status LibretroRuntimeHandle::sync_cheats(std::vector<RunnerCheatSetPayload> cheat_sets) {
    return request_status(rc::SyncCheats{{}, std::move(cheat_sets)});
}
Status LibretroRuntimeHandle::start_clip_recording() {
    return request_status(rc::StartClipRecording{});
}
Result<PendingClipResult> LibretroRuntimeHandle::stop_clip_recording_async(
    std::string output_path, std::string thumbnail_path) {
    return request_clip(
        *this, rc::StopClipRecording{{}, std::move(output_path), std::move(thumbnail_path)});
}

Status LibretroRuntimeHandle::shutdown() {
    auto [reply, receiver] = make_oneshot<Result<std::monostate>>();
    if (auto sent = send(rc::Shutdown{std::move(reply)}); !sent) {
        return sent;
    }
    Status held = receive_reply(receiver);
    std::optional<RuntimeThread> thread = std::move(thread_);
    thread_.reset();
    if (thread && thread->join_and_check_panicked()) {
        return fail(kRuntimeThreadPanicked);
    }
    return held;
}

}  // namespace lk
