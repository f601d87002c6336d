#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <thread>

#include "clip_recording/clip_recorder_config.hpp"
#include "clip_recording/clip_recording_messages.hpp"

namespace lk {

// The runtime thread's end of clip recording: it samples frames and copies
// audio onto a bounded data channel (dropping when full, never waiting) and
// forwards requests to the worker thread, which replies on their channels.
// Owned and used by the runtime thread only.
class ClipRecorder {
  public:
    using Clock = std::chrono::steady_clock;

    // Empties the cache directory and starts the worker.
    static Result<ClipRecorder> start(ClipRecorderConfig config, std::uint32_t sample_rate,
                                      double frames_per_second);

    ClipRecorder(ClipRecorder&&) noexcept = default;
    ClipRecorder& operator=(ClipRecorder&&) = delete;
    ClipRecorder(const ClipRecorder&) = delete;
    ClipRecorder& operator=(const ClipRecorder&) = delete;
    ~ClipRecorder();

    // Hands a sampled frame to the worker while it records; drops it otherwise.
    void queue_video_frame(VideoFrame frame);
    // Puts a copy of an audio batch on the data channel; a full channel loses it.
    void queue_audio_batch(AudioSampleBatch batch);
    // Forwards a request; when the worker has ended, its reply says so.
    void send_control_or_reply(ClipRecordingControlMessage message);
    // Stops the worker and waits for it (and for a running encode).
    void shutdown();

    // Whether the worker records now; may lag the worker by one message.
    [[nodiscard]] bool recording_active() const {
        return recording_active_->load(std::memory_order_acquire);
    }
    // The minimum time between two sampled clip frames.
    [[nodiscard]] Clock::duration frame_interval() const { return frame_interval_; }
    std::optional<Clock::time_point> last_frame_queued_at;

  private:
    ClipRecorder() = default;

    Sender<ClipRecordingControlMessage> control_sender_;
    Sender<ClipRecordingDataMessage> data_sender_;
    Clock::duration frame_interval_{};
    std::shared_ptr<std::atomic<bool>> recording_active_;
    std::thread worker_;
};

}  // namespace lk
