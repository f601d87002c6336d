#include "runtime/frame_pacer.hpp"

#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

namespace lk {

namespace {

// steady_clock is CLOCK_MONOTONIC; sleeping to an absolute deadline on it does
// not accumulate the error of relative sleeps.
void sleep_until(FramePacer::Clock::time_point deadline) {
    const auto since_epoch = deadline.time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since_epoch);
    timespec target{};
    target.tv_sec = static_cast<time_t>(seconds.count());
    target.tv_nsec = static_cast<long>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch - seconds).count());
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &target, nullptr) == EINTR) {
    }
}

}  // namespace

double clamp_playback_speed(double speed) {
    return std::isfinite(speed) ? std::clamp(speed, 0.5, 2.0) : 1.0;
}

FramePacer::Clock::duration frame_duration_for(double frames_per_second, double speed) {
    const double effective = frames_per_second * clamp_playback_speed(speed);
    const double seconds =
        effective > 0.0 && std::isfinite(effective) ? 1.0 / effective : 1.0 / 60.0;
    return std::chrono::duration_cast<FramePacer::Clock::duration>(
        std::chrono::duration<double>(seconds));
}

FramePacer::FramePacer(double frames_per_second, double speed) : next_frame_at_(Clock::now()) {
    set_timing(frames_per_second, speed);
}

void FramePacer::set_timing(double frames_per_second, double speed) {
    frames_per_second_ = frames_per_second;
    speed_ = clamp_playback_speed(speed);
    frame_duration_ = frame_duration_for(frames_per_second_, speed_);
}

void FramePacer::restart() {
    primed_ = false;
    next_frame_at_ = Clock::now();
}

void FramePacer::wait_for_next_frame() {
    if (!primed_) {
        primed_ = true;
        next_frame_at_ = Clock::now() + frame_duration_;
        return;
    }
    if (Clock::now() < next_frame_at_) {
        sleep_until(next_frame_at_);
    }
    next_frame_at_ = next_frame_deadline(Clock::now(), next_frame_at_, frame_duration_);
}

FramePacer::Clock::time_point next_frame_deadline(FramePacer::Clock::time_point frame_start,
                                                  FramePacer::Clock::time_point deadline,
                                                  FramePacer::Clock::duration frame_duration) {
    const FramePacer::Clock::duration tolerance =
        std::min<FramePacer::Clock::duration>(std::chrono::milliseconds(2), frame_duration / 4);
    return frame_start - deadline <= tolerance ? deadline + frame_duration
                                               : frame_start + frame_duration;
}

}  // namespace lk
