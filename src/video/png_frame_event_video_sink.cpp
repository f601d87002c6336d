#include "video/png_frame_event_video_sink.hpp"

#include <optional>
#include <utility>

#include <fmt/format.h>

#include "common/diagnostics.hpp"
#include "common/saturating.hpp"
#include "video/frame_ready_line.hpp"
#include "video/png_screenshot_encoder.hpp"
#include "video/video_worker_queue.hpp"
#include "video/video_worker_summary.hpp"

namespace lk {

namespace {

using Clock = std::chrono::steady_clock;

// Encodes one frame and emits its event; the timings of the two spans and of
// the wait in the slot. Base64 and the line are built between the spans.
Result<VideoWorkerTimings> emit_frame_event(const PngScreenshotEncoder& encoder,
                                            RunnerEventEmitter& emitter, std::string& line,
                                            const QueuedVideoFrame& queued) {
    const Clock::time_point taken_at = Clock::now();
    auto png = encoder.encode_png(queued.frame);
    const Clock::time_point encoded_at = Clock::now();
    if (!png) {
        return fail(std::move(png.error()));
    }
    build_frame_ready_line(line, FrameReadyFields{
                                     .png = *png,
                                     .frame_index = queued.frame_index,
                                     .width = queued.frame.width,
                                     .height = queued.frame.height,
                                     .pixel_format = queued.frame.pixel_format,
                                     .session_id = queued.session_id,
                                 });
    const Clock::time_point emit_started_at = Clock::now();
    if (auto emitted = emitter.emit_serialized_event(line); !emitted) {
        return fail(std::move(emitted.error()));
    }
    const Clock::time_point emitted_at = Clock::now();
    return VideoWorkerTimings{
        .queued_ms = milliseconds_between(queued.queued_at, taken_at),
        .work_ms = milliseconds_between(taken_at, encoded_at),
        .emit_ms = milliseconds_between(emit_started_at, emitted_at),
    };
}

void run_worker(VideoWorkerQueue& queue, RunnerEventEmitter& emitter, bool debug_logs) {
    const PngScreenshotEncoder encoder(/*fast_mode=*/true);
    VideoWorkerSummary summary(debug_logs);
    std::string line;  // reused for every frame
    while (std::optional<QueuedVideoFrame> queued = queue.take_next_frame()) {
        const auto timings = emit_frame_event(encoder, emitter, line, *queued);
        if (!timings) {
            if (debug_logs) {
                log_line(kRunnerTag, "Failed to emit PNG frame event: {}",
                         timings.error().display());
            }
            continue;
        }
        if (auto text = summary.record(*timings, Clock::now())) {
            write_diagnostic_line(kVideoTag, *text);
        }
    }
}

}  // namespace

PngFrameEventVideoSink::PngFrameEventVideoSink(RunnerEventEmitterHandle emitter,
                                               std::string session_id,
                                               double maximum_frames_per_second,
                                               PngFrameEventVideoSinkOptions options)
    : session_id_(std::move(session_id)),
      options_(std::move(options)),
      rate_cap_(maximum_frames_per_second),
      queue_(std::make_shared<VideoWorkerQueue>()) {
    auto worker = VideoWorkerThread::start(
        queue_, "PNG frame event worker",
        [queue = queue_, emitter = std::move(emitter), debug_logs = options_.debug_logs] {
            run_worker(*queue, *emitter, debug_logs);
        });
    if (!worker) {
        // Without a worker nothing could take frames: drop them all instead.
        runner_log("Failed to start the PNG frame event worker; no frames will be sent: {}",
                   worker.error().display());
        stopped_ = true;
        return;
    }
    worker_ = std::move(*worker);
}

PngFrameEventVideoSink::~PngFrameEventVideoSink() {
    static_cast<void>(stop());
}

bool PngFrameEventVideoSink::wants_frame() const {
    return !stopped_ && rate_cap_.allows(options_.clock());
}

Status PngFrameEventVideoSink::push_frame(VideoFrame frame) {
    if (stopped_) {
        return {};
    }
    const Clock::time_point now = options_.clock();
    if (!rate_cap_.allows(now)) {
        return {};
    }
    std::optional<QueuedVideoFrame> replaced = queue_->replace_pending(QueuedVideoFrame{
        .frame = std::move(frame),
        .session_id = session_id_,
        .queued_at = Clock::now(),
        .frame_index = next_frame_index_,
    });
    if (replaced) {
        replaced.reset();  // the stale frame's pixels are released here, outside the lock
        saturating_increment(replaced_frames_);
        if (options_.debug_logs && (replaced_frames_ == 1 || replaced_frames_ % 60 == 0)) {
            log_line(kRunnerTag,
                     "Replacing stale PNG frame under video backpressure: replacedFrames={}",
                     replaced_frames_);
        }
    }
    saturating_increment(next_frame_index_);
    rate_cap_.record_accepted(now);
    return {};
}

Status PngFrameEventVideoSink::set_maximum_frames_per_second(double fps) {
    rate_cap_.set_maximum_frames_per_second(fps);
    return {};
}

Status PngFrameEventVideoSink::stop() {
    stopped_ = true;
    return worker_.stop("PNG frame event worker panicked.");
}

PngFrameEventVideoSinkFactory::PngFrameEventVideoSinkFactory(RunnerEventEmitterHandle emitter,
                                                             double maximum_frames_per_second)
    : emitter_(std::move(emitter)), maximum_frames_per_second_(maximum_frames_per_second) {}

std::unique_ptr<VideoSink> PngFrameEventVideoSinkFactory::create_video_sink(
    const VideoSinkConfig& config) {
    return std::make_unique<PngFrameEventVideoSink>(emitter_, config.session_id,
                                                    maximum_frames_per_second_);
}

}  // namespace lk
