#pragma once

// The commands the main thread sends to a runtime thread, and their replies.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "audio/audio_stream_descriptor.hpp"
#include "common/channel.hpp"
#include "common/error.hpp"
#include "input/mapped_input_state.hpp"
#include "protocol/pending_clip_result.hpp"
#include "protocol/shared_payloads.hpp"

namespace lk {

// A reply slot: exactly one value, or a dropped sender when the runtime went away.
template <class T>
using ReplySender = OneshotSender<Result<T>>;
template <class T>
using ReplyReceiver = OneshotReceiver<Result<T>>;
using StatusReply = ReplySender<std::monostate>;

namespace runtime_command {

struct CaptureScreenshot {
    StatusReply reply;
    std::string screenshot_path;
};
struct DiscControlSnapshot {
    ReplySender<lk::DiscControlSnapshot> reply;
};
struct ClipRecordingStatus {
    ReplySender<ClipRecordingStatusPayload> reply;
};
struct LoadState {
    StatusReply reply;
    std::string state_path;
};
struct Pause {
    StatusReply reply;
};
struct Resume {
    StatusReply reply;
};
struct SaveState {
    StatusReply reply;
    std::string state_path;
    std::string preview_path;
};
struct SaveNetplayStateFrame {
    StatusReply reply;
    std::string state_path;
    std::uint64_t frame = 0;
};
struct SaveReplayClip {
    ClipResultSender reply;
    std::string output_path;
    std::string thumbnail_path;
    std::uint32_t replay_length_seconds = 0;
};
// The shell's latency stamps (milliseconds) and the main thread's forwarding time.
struct InputTimings {
    std::optional<double> input_sampled_at_epoch_ms;
    std::optional<double> main_forwarded_at_epoch_ms;
    std::optional<double> main_received_at_epoch_ms;
    std::optional<double> renderer_dispatched_at_epoch_ms;
    std::optional<double> renderer_tick_delta_ms;
    std::optional<double> runner_forwarded_at_epoch_ms;
};
struct SetInputState {
    MappedInputState input;
    InputTimings timings;
};
struct SetAudioMuted {
    StatusReply reply;
    bool muted = false;
};
struct SetAudioSettings {
    StatusReply reply;
    AudioSinkSettings settings;
};
struct SetHardwareRenderFrameRateLimit {
    StatusReply reply;
    double limit = 60.0;
};
struct SetVideoPerformanceMode {
    StatusReply reply;
    std::string mode;
};
struct SetDiscImage {
    ReplySender<lk::DiscControlSnapshot> reply;
    std::uint32_t image_index = 0;
};
struct SetPlaybackSpeed {
    StatusReply reply;
    double speed = 1.0;
};
struct StartNetplayMode {
    StatusReply reply;
    std::uint64_t input_delay_frames = 0;
    std::uint64_t local_player_index = 0;
    std::uint64_t player_count = 0;
    std::uint64_t start_frame = 0;
};
struct StopNetplayMode {
    StatusReply reply;
};
struct SubmitNetplayInputFrame {
    std::vector<std::uint8_t> payload;
    std::uint64_t frame = 0;
    std::uint64_t player_index = 0;
};
struct UpdateNetplayServerFrame {
    std::uint64_t canonical_frame = 0;
    std::uint64_t frame = 0;
};
struct UpdateNetplayInputDelay {
    std::uint64_t effective_frame = 0;
    std::uint64_t input_delay_frames = 0;
};
struct ScheduleNetplayPause {
    StatusReply reply;
    std::uint64_t pause_at_frame = 0;
    std::uint64_t sequence = 0;
};
struct SyncCheats {
    StatusReply reply;
    std::vector<RunnerCheatSetPayload> cheat_sets;
};
struct StartClipRecording {
    StatusReply reply;
};
struct StopClipRecording {
    ClipResultSender reply;
    std::string output_path;
    std::string thumbnail_path;
};
struct Shutdown {
    StatusReply reply;
};

}  // namespace runtime_command

using LibretroRuntimeCommand = std::variant<
    runtime_command::CaptureScreenshot, runtime_command::DiscControlSnapshot,
    runtime_command::ClipRecordingStatus, runtime_command::LoadState, runtime_command::Pause,
    runtime_command::Resume, runtime_command::SaveState, runtime_command::SaveNetplayStateFrame,
    runtime_command::SaveReplayClip, runtime_command::SetInputState, runtime_command::SetAudioMuted,
    runtime_command::SetAudioSettings, runtime_command::SetHardwareRenderFrameRateLimit,
    runtime_command::SetVideoPerformanceMode, runtime_command::SetDiscImage,
    runtime_command::SetPlaybackSpeed, runtime_command::StartNetplayMode,
    runtime_command::StopNetplayMode, runtime_command::SubmitNetplayInputFrame,
    runtime_command::UpdateNetplayServerFrame, runtime_command::UpdateNetplayInputDelay,
    runtime_command::ScheduleNetplayPause, runtime_command::SyncCheats,
    runtime_command::StartClipRecording, runtime_command::StopClipRecording,
    runtime_command::Shutdown>;

using CommandSender = Sender<LibretroRuntimeCommand>;
using CommandReceiver = Receiver<LibretroRuntimeCommand>;

inline constexpr const char* kCommandChannelClosed = "Libretro runtime command channel closed.";
inline constexpr const char* kReplyChannelClosed = "Libretro runtime reply channel closed.";
inline constexpr const char* kRuntimeThreadPanicked = "Libretro runtime thread panicked.";

// Puts the command on the channel; fails when the runtime dropped its end.
Status send_command(CommandSender& commands, LibretroRuntimeCommand command);

// Waits without limit for the single reply; a dropped sender is the runtime gone.
template <class T>
Result<T> receive_typed_reply(ReplyReceiver<T>& receiver) {
    std::optional<Result<T>> reply = receiver.recv();
    receiver.close();
    if (!reply) {
        return fail(kReplyChannelClosed);
    }
    return std::move(*reply);
}

Status receive_reply(ReplyReceiver<std::monostate>& receiver);

}  // namespace lk
