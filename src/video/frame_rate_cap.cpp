#include "video/frame_rate_cap.hpp"

#include <algorithm>
#include <cmath>

namespace lk {

namespace {
constexpr auto kFallbackInterval = std::chrono::milliseconds(67);
constexpr auto kLongestInterval = std::chrono::hours(24 * 365 * 10);
}  // namespace

FrameRateCap::FrameRateCap(double maximum_frames_per_second)
    : interval_(interval_for(maximum_frames_per_second)) {}

FrameRateCap::Clock::duration FrameRateCap::interval_for(double maximum_frames_per_second) {
    if (!std::isfinite(maximum_frames_per_second) || maximum_frames_per_second <= 0.0) {
        return kFallbackInterval;
    }
    const double nanoseconds = 1e9 / maximum_frames_per_second;
    const double longest = static_cast<double>(std::chrono::nanoseconds(kLongestInterval).count());
    if (!(nanoseconds < longest)) {
        return kLongestInterval;
    }
    return std::chrono::nanoseconds(std::llround(nanoseconds));
}

void FrameRateCap::set_maximum_frames_per_second(double maximum_frames_per_second) {
    interval_ = interval_for(maximum_frames_per_second);
    next_accept_at_.reset();
}

bool FrameRateCap::allows(Clock::time_point now) const {
    return !next_accept_at_ || now >= *next_accept_at_;
}

void FrameRateCap::record_accepted(Clock::time_point now) {
    if (!next_accept_at_) {
        next_accept_at_ = now + interval_;
        return;
    }
    const Clock::time_point slot = std::max(*next_accept_at_, now - interval_ / 2);
    next_accept_at_ = slot + interval_;
}

}  // namespace lk
