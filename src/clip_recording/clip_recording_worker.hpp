#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <thread>

#include "clip_recording/clip_encode_snapshot.hpp"
#include "clip_recording/clip_recorder_config.hpp"
#include "clip_recording/clip_recording_messages.hpp"
#include "clip_recording/clip_recording_segment_writer.hpp"
#include "video/png_screenshot_encoder.hpp"

namespace lk {

// The recorder's worker thread: writes frames and audio into segments, keeps
// the replay window and hands clips to one encode thread at a time. Every
// field belongs to the worker thread except `recording_active_`, an atomic
// flag the runtime thread reads.
class ClipRecordingWorker {
  public:
    using Clock = std::chrono::steady_clock;

    ClipRecordingWorker(ClipRecorderConfig config, Receiver<ClipRecordingControlMessage> control,
                        Receiver<ClipRecordingDataMessage> data, std::uint32_t sample_rate,
                        double capture_rate, std::shared_ptr<std::atomic<bool>> recording_active);
    ClipRecordingWorker(const ClipRecordingWorker&) = delete;
    ClipRecordingWorker& operator=(const ClipRecordingWorker&) = delete;
    ~ClipRecordingWorker();

    // The thread's whole life: returns after Shutdown or once the data senders are gone.
    void run();

  private:
    // A running or finished encode thread and whether it has finished.
    struct EncodeThread {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> finished;
    };

    void handle_control(ClipRecordingControlMessage& message, bool& shutdown);
    void handle_data(ClipRecordingDataMessage& message);
    void pause();
    void resume();
    ClipRecordingStatusPayload status() const;
    Status start_manual_recording();
    void stop_manual_recording(clip_recording_control::StopManualRecording& request);
    void save_replay(clip_recording_control::SaveReplay& request);

    [[nodiscard]] bool recording() const;
    void refresh_recording_active();
    void join_finished_encode();

    Result<ClipRecordingSegmentWriter*> ensure_current_segment();
    Status finalize_current_segment();
    void keep_finished_segment(ClipRecordingSegment segment);
    void prune_old_segments();
    Status ensure_encode_available_and_idle();
    void spawn_snapshot_encode(ClipEncodeSnapshot snapshot, ClipResultSender reply);

    ClipRecorderConfig config_;
    Receiver<ClipRecordingControlMessage> control_;
    Receiver<ClipRecordingDataMessage> data_;
    std::uint32_t sample_rate_;
    double capture_rate_;
    std::deque<ClipRecordingSegment> segments_;  // oldest first
    std::optional<ClipRecordingSegmentWriter> current_writer_;
    std::uint64_t next_segment_index_ = 0;
    std::optional<Clock::time_point> manual_started_at_;
    bool paused_ = false;
    std::shared_ptr<std::atomic<bool>> recording_active_;
    std::optional<EncodeThread> encode_thread_;
    PngScreenshotEncoder png_encoder_{true};
};

}  // namespace lk
