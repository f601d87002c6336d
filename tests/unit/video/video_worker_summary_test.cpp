#include "video/video_worker_summary.hpp"

#include <gtest/gtest.h>

namespace lk {
namespace {

using Clock = VideoWorkerSummary::Clock;
using std::chrono::milliseconds;

TEST(VideoWorkerSummary, LogsFirstFrameThenAtMostEveryTwoSecondsWithAveragesSinceLastLine) {
    VideoWorkerSummary summary(true);
    const Clock::time_point start{std::chrono::seconds(100)};

    EXPECT_EQ(summary.record({1.26, 3.0, 0.44}, start),
              "frameWorker samples=1 avgQueuedMs=1.3 maxQueuedMs=1.3 avgEncodeMs=3.0 "
              "maxEncodeMs=3.0 avgEmitMs=0.4 maxEmitMs=0.4");

    EXPECT_EQ(summary.record({2.0, 4.0, 1.0}, start + milliseconds(500)), std::nullopt);
    EXPECT_EQ(summary.record({4.0, 2.0, 3.0}, start + milliseconds(1999)), std::nullopt);
    // The line covers the frames since the previous one, not the first frame.
    EXPECT_EQ(summary.record({6.0, 12.0, 0.2}, start + milliseconds(2000)),
              "frameWorker samples=3 avgQueuedMs=4.0 maxQueuedMs=6.0 avgEncodeMs=6.0 "
              "maxEncodeMs=12.0 avgEmitMs=1.4 maxEmitMs=3.0");

    // Counting restarts from zero, and the 2 s are measured from the last line.
    EXPECT_EQ(summary.record({10.0, 1.0, 1.0}, start + milliseconds(3000)), std::nullopt);
    EXPECT_EQ(summary.record({0.0, 0.0, 0.0}, start + milliseconds(4000)),
              "frameWorker samples=2 avgQueuedMs=5.0 maxQueuedMs=10.0 avgEncodeMs=0.5 "
              "maxEncodeMs=1.0 avgEmitMs=0.5 maxEmitMs=1.0");
}

TEST(VideoWorkerSummary, NamesItsPartsForOtherWorkers) {
    VideoWorkerSummary summary(true, "rawFrameWorker", "Convert");
    EXPECT_EQ(summary.record({0.0, 1.0, 2.0}, Clock::time_point{}),
              "rawFrameWorker samples=1 avgQueuedMs=0.0 maxQueuedMs=0.0 avgConvertMs=1.0 "
              "maxConvertMs=1.0 avgEmitMs=2.0 maxEmitMs=2.0");
}

TEST(VideoWorkerSummary, DisabledGathersNothing) {
    VideoWorkerSummary summary(false);
    const Clock::time_point start{std::chrono::seconds(100)};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(summary.record({9.0, 9.0, 9.0}, start + std::chrono::seconds(5 * i)),
                  std::nullopt);
    }
}

}  // namespace
}  // namespace lk
