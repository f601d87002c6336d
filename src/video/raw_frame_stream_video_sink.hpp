#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "common/error.hpp"
#include "protocol/runner_event_emitter.hpp"
#include "video/frame_rate_cap.hpp"
#include "video/video_sink.hpp"
#include "video/video_sink_factory.hpp"
#include "video/video_sink_options.hpp"
#include "video/video_worker_thread.hpp"

namespace lk {

struct RawFrameStreamVideoSinkOptions : VideoSinkOptions {
    // How long one socket write may wait for a client that does not read
    // before the client is dropped.
    std::chrono::milliseconds write_timeout{250};
};

class VideoWorkerQueue;

// Sends frames uncompressed over a loopback TCP connection: the sink listens
// on 127.0.0.1 at a port the system picks, announces it with a
// "rawFrameStreamReady" event carrying a per-session token, and its worker
// writes one RGBA message per frame to the one client that presented the
// token. The runtime thread only hands a frame over when the worker is idle,
// so a slow client costs frames, never latency or memory.
class RawFrameStreamVideoSink final : public VideoSink {
  public:
    // Binds the listener, announces it and starts the worker. Any failure is
    // returned (nothing is left running), so that the caller can fall back.
    static Result<std::unique_ptr<RawFrameStreamVideoSink>> create(
        RunnerEventEmitterHandle emitter, std::string session_id, double maximum_frames_per_second,
        RawFrameStreamVideoSinkOptions options = {});
    // Stops the worker if `stop()` was not called.
    ~RawFrameStreamVideoSink() override;

    [[nodiscard]] bool wants_frame() const override;
    Status push_frame(VideoFrame frame) override;
    Status set_maximum_frames_per_second(double fps) override;
    // Lets the worker finish the frame it holds and the one waiting, closes
    // the client and the listener, and joins the worker. Fails with "Raw frame
    // stream worker panicked." when the worker ended by an exception.
    Status stop() override;

    [[nodiscard]] std::uint64_t next_frame_index() const { return next_frame_index_; }

  private:
    RawFrameStreamVideoSink(std::string session_id, double maximum_frames_per_second,
                            RawFrameStreamVideoSinkOptions options,
                            std::shared_ptr<VideoWorkerQueue> queue, VideoWorkerThread worker);

    // All fields are owned by the runtime thread (the sink's only caller)
    // except what `queue_` points to, which has its own lock.
    std::string session_id_;
    RawFrameStreamVideoSinkOptions options_;
    FrameRateCap rate_cap_;
    std::shared_ptr<VideoWorkerQueue> queue_;
    std::uint64_t next_frame_index_ = 0;  // saturating
    VideoWorkerThread worker_;            // joined by stop()
    bool stopped_ = false;
};

// Makes a raw frame stream sink for each session; when one cannot be set up,
// a PNG frame event sink with the same emitter, session and rate instead.
class RawFrameStreamVideoSinkFactory final : public VideoSinkFactory {
  public:
    RawFrameStreamVideoSinkFactory(RunnerEventEmitterHandle emitter,
                                   double maximum_frames_per_second);

    std::unique_ptr<VideoSink> create_video_sink(const VideoSinkConfig& config) override;

  private:
    RunnerEventEmitterHandle emitter_;
    double maximum_frames_per_second_;
};

}  // namespace lk
