#include "video/frame_rate_cap.hpp"

#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

namespace lk {
namespace {

using Clock = FrameRateCap::Clock;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;

Clock::time_point at_ns(double ns) {
    return Clock::time_point(nanoseconds(std::llround(ns)));
}

// Offers frames at the given instants (nanoseconds) and returns the indices of
// the accepted ones.
std::vector<std::size_t> accepted_of(FrameRateCap& cap, const std::vector<double>& instants) {
    std::vector<std::size_t> accepted;
    for (std::size_t i = 0; i < instants.size(); ++i) {
        if (cap.allows(at_ns(instants[i]))) {
            cap.record_accepted(at_ns(instants[i]));
            accepted.push_back(i);
        }
    }
    return accepted;
}

TEST(FrameRateCap, IntervalRule) {
    struct Case {
        double rate;
        Clock::duration interval;
    };
    const Case cases[] = {
        {60.0, nanoseconds(16'666'667)},
        {30.5, nanoseconds(32'786'885)},
        {1e2, milliseconds(10)},
        {1e300, nanoseconds(0)},
        {0.0, milliseconds(67)},
        {-30.0, milliseconds(67)},
        {std::numeric_limits<double>::quiet_NaN(), milliseconds(67)},
        {std::numeric_limits<double>::infinity(), milliseconds(67)},
        // Far too small for a clock duration: clamped instead of overflowing.
        {1e-30, std::chrono::hours(24 * 365 * 10)},
        {std::numeric_limits<double>::denorm_min(), std::chrono::hours(24 * 365 * 10)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        EXPECT_EQ(FrameRateCap::interval_for(c.rate), c.interval);
        EXPECT_EQ(FrameRateCap(c.rate).minimum_frame_interval(), c.interval);
    }
}

TEST(FrameRateCap, DropsFramesCloserThanTheIntervalWithoutSkippingAhead) {
    FrameRateCap cap(60.0);
    const auto start = at_ns(1e12);
    EXPECT_TRUE(cap.allows(start));
    cap.record_accepted(start);
    EXPECT_FALSE(cap.allows(start + milliseconds(5)));
    EXPECT_FALSE(cap.allows(start + nanoseconds(16'666'666)));
    EXPECT_TRUE(cap.allows(start + nanoseconds(16'666'667)));
    // Asking has no side effect.
    EXPECT_TRUE(cap.allows(start + nanoseconds(16'666'667)));
}

TEST(FrameRateCap, RateChangeAcceptsTheNextFrameAtOnce) {
    FrameRateCap cap(10.0);
    const auto start = at_ns(5e9);
    cap.record_accepted(start);
    EXPECT_FALSE(cap.allows(start + milliseconds(1)));
    cap.set_maximum_frames_per_second(10.0);
    EXPECT_TRUE(cap.allows(start + milliseconds(1)));
    cap.record_accepted(start + milliseconds(1));
    cap.set_maximum_frames_per_second(0.0);  // 67 ms
    EXPECT_EQ(cap.minimum_frame_interval(), milliseconds(67));
    EXPECT_TRUE(cap.allows(start + milliseconds(2)));
}

// A source only slightly faster than the cap, or one whose frames jitter
// around the cap's rate, must still deliver about the capped rate rather than
// every second frame.
TEST(FrameRateCap, SourcesNearTheCapDeliverTheCappedRate) {
    struct Case {
        const char* name;
        double source_hz;
        double jitter_ms;  // alternating early and late by this much
        double cap_hz;
        std::size_t minimum_per_second;
    };
    const Case cases[] = {
        {"60.0988 Hz core, 60 fps cap", 60.0988, 0.0, 60.0, 59},
        {"60 Hz core with 1 ms jitter, 60 fps cap", 60.0, 1.0, 60.0, 59},
        {"90 Hz (1.5x speed), 60 fps cap", 90.0, 0.0, 60.0, 59},
        {"240 Hz, 60 fps cap", 240.0, 0.0, 60.0, 59},
        {"59.73 Hz, 60 fps cap", 59.7275, 0.3, 60.0, 59},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FrameRateCap cap(c.cap_hz);
        std::vector<double> instants;
        const double seconds = 10.0;
        for (std::size_t i = 0; static_cast<double>(i) < c.source_hz * seconds; ++i) {
            const double jitter = (i % 2 == 0 ? 1.0 : -1.0) * c.jitter_ms * 1e6;
            instants.push_back(1e12 + static_cast<double>(i) * 1e9 / c.source_hz + jitter);
        }
        const auto accepted = accepted_of(cap, instants);
        const double expected = std::min(c.source_hz, c.cap_hz) * seconds;
        EXPECT_GE(accepted.size(), c.minimum_per_second * 10);
        EXPECT_LE(static_cast<double>(accepted.size()), expected + 2.0);
    }
}

// However frames arrive, no span of time sees more than rate × span + 2
// accepted frames, and accepted frames are at least half an interval apart.
TEST(FrameRateCap, NeverExceedsTheRateInAnyWindow) {
    FrameRateCap cap(50.0);  // 20 ms
    std::vector<double> instants;
    double t = 1e12;
    for (int i = 0; i < 20'000; ++i) {
        // Bursts, gaps and steady stretches.
        t += (i % 97 < 40) ? 0.7e6 : (i % 13 == 0 ? 55e6 : 13e6);
        instants.push_back(t);
    }
    const auto accepted = accepted_of(cap, instants);
    ASSERT_GT(accepted.size(), 100u);
    for (std::size_t a = 0; a < accepted.size(); ++a) {
        if (a > 0) {
            EXPECT_GE(instants[accepted[a]] - instants[accepted[a - 1]], 10e6 - 1.0);
        }
        for (std::size_t b = a + 1; b < accepted.size(); ++b) {
            const double span_s = (instants[accepted[b]] - instants[accepted[a]]) / 1e9;
            if (span_s > 1.0) {
                break;
            }
            EXPECT_LE(static_cast<double>(b - a + 1), 50.0 * span_s + 2.0)
                << "frames " << accepted[a] << " to " << accepted[b];
        }
    }
}

}  // namespace
}  // namespace lk
