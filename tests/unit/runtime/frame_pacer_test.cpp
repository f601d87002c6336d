#include "runtime/frame_pacer.hpp"

#include <cmath>
#include <limits>
#include <thread>

#include <gtest/gtest.h>

namespace lk {
namespace {

using namespace std::chrono;

TEST(FramePacer, DurationFollowsRateAndClampedSpeed) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double fps, speed, expected_seconds;
    };
    const Case cases[] = {
        {60.0, 1.0, 1.0 / 60}, {60.0, 2.0, 1.0 / 120}, {60.0, 5.0, 1.0 / 120},
        {60.0, 0.1, 1.0 / 30}, {60.0, nan, 1.0 / 60},  {59.7275, 1.0, 1.0 / 59.7275},
        {0.0, 1.0, 1.0 / 60},  {-30.0, 1.0, 1.0 / 60}, {nan, 1.0, 1.0 / 60},
        {inf, 1.0, 1.0 / 60},
    };
    for (const auto& c : cases) {
        const double got = duration<double>(frame_duration_for(c.fps, c.speed)).count();
        EXPECT_NEAR(got, c.expected_seconds, 1e-9) << c.fps << " x " << c.speed;
    }
    EXPECT_EQ(clamp_playback_speed(inf), 1.0);
    EXPECT_EQ(clamp_playback_speed(-1.0), 0.5);
}

TEST(FramePacer, LateFramesAreNotMadeUpFor) {
    FramePacer pacer(50.0, 1.0);  // 20 ms frames
    const auto t0 = steady_clock::now();
    pacer.wait_for_next_frame();  // not primed: no sleep
    EXPECT_LT(steady_clock::now() - t0, milliseconds(10));
    EXPECT_TRUE(pacer.primed());

    std::this_thread::sleep_for(milliseconds(45));  // a frame that ran long
    const auto late = steady_clock::now();
    pacer.wait_for_next_frame();  // starts at once
    EXPECT_LT(steady_clock::now() - late, milliseconds(10));

    const auto next = steady_clock::now();
    pacer.wait_for_next_frame();  // waits a whole frame again
    EXPECT_GE(steady_clock::now() - next, milliseconds(18));

    pacer.restart();
    EXPECT_FALSE(pacer.primed());
    const auto restarted = steady_clock::now();
    pacer.wait_for_next_frame();
    EXPECT_LT(steady_clock::now() - restarted, milliseconds(10));
}

TEST(FramePacer, SleepLatencyKeepsTheScheduleAndLatenessRestartsIt) {
    const FramePacer::Clock::time_point due{milliseconds(1000)};
    const auto frame = duration_cast<FramePacer::Clock::duration>(microseconds(16743));
    struct Case {
        microseconds started_after_deadline;
        bool keeps_schedule;
    };
    const Case cases[] = {{microseconds(0), true},
                          {microseconds(80), true},
                          {microseconds(2000), true},
                          {microseconds(2001), false},
                          {microseconds(45000), false}};
    for (const auto& c : cases) {
        const auto start = due + c.started_after_deadline;
        const auto next = next_frame_deadline(start, due, frame);
        EXPECT_EQ(next, c.keeps_schedule ? due + frame : start + frame)
            << c.started_after_deadline.count() << " us late";
    }
    // Short frames use a quarter frame as the tolerance.
    const auto short_frame = duration_cast<FramePacer::Clock::duration>(milliseconds(4));
    EXPECT_EQ(next_frame_deadline(due + microseconds(1500), due, short_frame),
              due + microseconds(1500) + short_frame);
}

}  // namespace
}  // namespace lk
