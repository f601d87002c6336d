#pragma once

// What the runtime thread sends to the clip recording worker: frames and audio
// on a bounded data channel, requests on an unbounded control queue.

#include <cstdint>
#include <string>
#include <variant>

#include "audio/audio_sample_batch.hpp"
#include "common/channel.hpp"
#include "common/error.hpp"
#include "protocol/pending_clip_result.hpp"
#include "protocol/shared_payloads.hpp"
#include "video/video_frame.hpp"

namespace lk {

namespace clip_recording_data {
struct Video {
    VideoFrame frame;
};
struct Audio {
    AudioSampleBatch batch;
};
}  // namespace clip_recording_data

using ClipRecordingDataMessage =
    std::variant<clip_recording_data::Video, clip_recording_data::Audio>;

using ClipStatusReplySender = OneshotSender<Result<std::monostate>>;
using ClipRecordingStatusReplySender = OneshotSender<Result<ClipRecordingStatusPayload>>;

namespace clip_recording_control {
struct Pause {};
struct Resume {};
struct SaveReplay {
    std::string output_path;
    std::string thumbnail_path;
    std::uint32_t replay_length_seconds = 0;
    ClipResultSender reply;
};
struct StartManualRecording {
    ClipStatusReplySender reply;
};
struct Status {
    ClipRecordingStatusReplySender reply;
};
struct StopManualRecording {
    std::string output_path;
    std::string thumbnail_path;
    ClipResultSender reply;
};
struct Shutdown {};
}  // namespace clip_recording_control

using ClipRecordingControlMessage =
    std::variant<clip_recording_control::Pause, clip_recording_control::Resume,
                 clip_recording_control::SaveReplay, clip_recording_control::StartManualRecording,
                 clip_recording_control::Status, clip_recording_control::StopManualRecording,
                 clip_recording_control::Shutdown>;

inline constexpr std::size_t kClipDataChannelCapacity = 96;

inline constexpr const char* kClipWorkerUnavailable = "Clip recorder worker is unavailable.";
inline constexpr const char* kClipEncoderUnavailable =
    "Clip encoder is not available for recording.";
inline constexpr const char* kClipStillSaving = "Clip is still saving. Try again in a moment.";
inline constexpr const char* kNoManualClipRecording = "No manual clip recording is active.";
inline constexpr const char* kNoClipFrames = "No clip frames are available yet.";

}  // namespace lk
