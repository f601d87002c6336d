#pragma once

#include <chrono>

namespace lk {

// Clamps a playback speed to [0.5, 2.0]; a value that is not finite counts as 1.0.
double clamp_playback_speed(double speed);

// Paces frame starts to the core's rate times the playback speed. A late frame
// is not made up for: after a frame that starts well past its deadline, the
// next deadline is measured from when that frame really started. Owned by the
// frame loop on the runtime thread.
class FramePacer {
  public:
    using Clock = std::chrono::steady_clock;

    FramePacer(double frames_per_second, double speed);

    // Recomputes the frame duration for a new rate or speed.
    void set_timing(double frames_per_second, double speed);
    // The next frame starts at once and the cadence is measured from it.
    void restart();
    // Sleeps (to an absolute deadline) until the next frame may start.
    void wait_for_next_frame();

    [[nodiscard]] Clock::duration frame_duration() const { return frame_duration_; }
    [[nodiscard]] double frames_per_second() const { return frames_per_second_; }
    [[nodiscard]] double speed() const { return speed_; }
    [[nodiscard]] bool primed() const { return primed_; }
    [[nodiscard]] Clock::time_point next_frame_at() const { return next_frame_at_; }

  private:
    Clock::duration frame_duration_{};
    Clock::time_point next_frame_at_;
    double frames_per_second_ = 60.0;
    double speed_ = 1.0;
    bool primed_ = false;
};

// The deadline after a frame that started at `frame_start` and was due at
// `deadline`: a frame within the wake-up tolerance (2 ms, at most a quarter
// frame) of its deadline keeps the schedule, so sleep latency does not slow
// the long-run rate; a frame that is really late restarts it from its start.
FramePacer::Clock::time_point next_frame_deadline(FramePacer::Clock::time_point frame_start,
                                                  FramePacer::Clock::time_point deadline,
                                                  FramePacer::Clock::duration frame_duration);

// 1 / (fps x speed) seconds when that is positive and finite, else 1/60 s.
FramePacer::Clock::duration frame_duration_for(double frames_per_second, double speed);

}  // namespace lk
