#pragma once

#include <chrono>
#include <optional>

namespace lk {

// Decides which frames a video sink accepts so that at most the configured
// number of frames per second reach its worker.
//
// Accepted frames are scheduled one interval apart, and a frame is accepted
// once the next scheduled instant has come. The schedule may lag at most half
// an interval behind the frames actually seen. Measuring each interval from
// the previous accepted frame instead would turn a source only slightly
// faster than the cap (a 60.1 Hz core under a 60 Hz cap) or one with a little
// pacing jitter into half its rate, because every second frame would arrive a
// fraction of a millisecond early. With the schedule, such sources deliver the
// capped rate, no more than rate × seconds + 2 frames pass in any span, and
// two accepted frames are never less than half an interval apart.
//
// Holds no lock: it belongs to the sink's caller (the runtime thread).
class FrameRateCap {
  public:
    using Clock = std::chrono::steady_clock;

    explicit FrameRateCap(double maximum_frames_per_second);

    // 1 / rate seconds at nanosecond resolution when the rate is finite and
    // greater than zero, else 67 ms (about 15 frames per second). Rates so
    // small that the interval would not fit a clock duration give a ten-year
    // interval (nothing but the first frame is accepted).
    static Clock::duration interval_for(double maximum_frames_per_second);

    // Applies the new rate and forgets the schedule, so the next frame is
    // accepted at once.
    void set_maximum_frames_per_second(double maximum_frames_per_second);

    // Whether a frame arriving at `now` would be accepted. No side effects.
    [[nodiscard]] bool allows(Clock::time_point now) const;

    // Records a frame accepted at `now` (call only when `allows(now)`).
    void record_accepted(Clock::time_point now);

    [[nodiscard]] Clock::duration minimum_frame_interval() const { return interval_; }

  private:
    Clock::duration interval_;
    // The earliest instant at which the next frame is accepted; empty at start
    // and after a rate change.
    std::optional<Clock::time_point> next_accept_at_;
};

}  // namespace lk
