#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lk {

// How long one frame spent in a video worker, in milliseconds.
struct VideoWorkerTimings {
    double queued_ms = 0.0;  // from entering the hand-over slot to being taken
    double work_ms = 0.0;    // encoding (or converting) the frame
    double emit_ms = 0.0;    // writing it out
};

// Milliseconds from `from` to `to`.
inline double milliseconds_between(std::chrono::steady_clock::time_point from,
                                   std::chrono::steady_clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// The statistics a video worker keeps for its debug line. Owned by the worker
// thread. Disabled (debug logs off), it gathers nothing.
class VideoWorkerSummary {
  public:
    using Clock = std::chrono::steady_clock;

    // `worker_name` and `work_label` name the line's parts, as in
    // "frameWorker samples=… avgEncodeMs=…".
    explicit VideoWorkerSummary(bool enabled, std::string_view worker_name = "frameWorker",
                                std::string_view work_label = "Encode");

    // Adds one frame. Returns the statistics line (without its tag) when one
    // is due: for the first frame recorded, then at most once every 2 seconds,
    // covering the frames since the previous line; the sums and maxima then
    // start again from zero.
    std::optional<std::string> record(const VideoWorkerTimings& timings, Clock::time_point now);

  private:
    struct Span {
        double max = 0.0;
        double sum = 0.0;
        void add(double value);
    };

    bool enabled_;
    std::string worker_name_;
    std::string work_label_;
    std::uint64_t samples_ = 0;  // saturating
    Span queued_;
    Span work_;
    Span emit_;
    std::optional<Clock::time_point> last_line_at_;
};

}  // namespace lk
