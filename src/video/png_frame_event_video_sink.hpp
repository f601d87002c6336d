#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "protocol/runner_event_emitter.hpp"
#include "video/frame_rate_cap.hpp"
#include "video/video_sink.hpp"
#include "video/video_sink_factory.hpp"
#include "video/video_sink_options.hpp"
#include "video/video_worker_thread.hpp"

namespace lk {

using PngFrameEventVideoSinkOptions = VideoSinkOptions;

class VideoWorkerQueue;

// The default video sink: every accepted frame becomes a "frameReady" event
// whose data URL holds the frame as a PNG file. A worker thread encodes and
// emits; the runtime thread only hands frames over through a one-frame slot,
// where a new frame replaces one the worker has not taken yet, so a slow
// encoder or shell costs frames, never latency or memory.
class PngFrameEventVideoSink final : public VideoSink {
  public:
    // Starts the worker. Should the system refuse a new thread, the failure is
    // reported on standard error and the sink drops every frame.
    PngFrameEventVideoSink(RunnerEventEmitterHandle emitter, std::string session_id,
                           double maximum_frames_per_second,
                           PngFrameEventVideoSinkOptions options = {});
    // Stops the worker if `stop()` was not called.
    ~PngFrameEventVideoSink() override;

    [[nodiscard]] bool wants_frame() const override;
    Status push_frame(VideoFrame frame) override;
    Status set_maximum_frames_per_second(double fps) override;
    // Lets the worker finish the frame it holds and the one waiting in the
    // slot, then joins it. Fails with "PNG frame event worker panicked." when
    // the worker ended by an exception. Frames pushed afterwards are dropped.
    Status stop() override;

    [[nodiscard]] std::uint64_t replaced_frames() const { return replaced_frames_; }
    [[nodiscard]] std::uint64_t next_frame_index() const { return next_frame_index_; }

  private:
    // All fields are owned by the runtime thread (the sink's only caller)
    // except what `queue_` points to, which has its own lock.
    std::string session_id_;
    PngFrameEventVideoSinkOptions options_;
    FrameRateCap rate_cap_;
    std::shared_ptr<VideoWorkerQueue> queue_;
    std::uint64_t replaced_frames_ = 0;   // saturating
    std::uint64_t next_frame_index_ = 0;  // saturating
    VideoWorkerThread worker_;            // joined by stop()
    bool stopped_ = false;                // stop() was called, or no worker could start
};

// Makes a PNG frame event sink for each session, sharing the process's event
// emitter and the configured maximum frame rate.
class PngFrameEventVideoSinkFactory final : public VideoSinkFactory {
  public:
    PngFrameEventVideoSinkFactory(RunnerEventEmitterHandle emitter,
                                  double maximum_frames_per_second);

    std::unique_ptr<VideoSink> create_video_sink(const VideoSinkConfig& config) override;

  private:
    RunnerEventEmitterHandle emitter_;
    double maximum_frames_per_second_;
};

}  // namespace lk
