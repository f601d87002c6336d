// The derived values of clip recording: replay lengths, capture rates, segment
// durations and the output frame rate.

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "clip_recording/clip_media_selection.hpp"
#include "clip_recording/clip_recorder_config.hpp"
#include "clip_recording/clip_recording_segment.hpp"
#include "common/saturating.hpp"

namespace lk {
namespace {

TEST(ClipRecordingRules, ReplayLengthsAndKeepWindow) {
    const struct {
        std::uint32_t configured, normalized;
    } cases[] = {{0, 30}, {30, 30}, {45, 45}, {60, 60}, {90, 30}, {44, 30}, {UINT32_MAX, 30}};
    for (const auto& c : cases) {
        EXPECT_EQ(normalized_replay_length(c.configured), c.normalized) << c.configured;
        ClipRecorderConfig config;
        config.replay_length_seconds = c.configured;
        EXPECT_EQ(clip_keep_window_seconds(config), c.normalized + 4.0) << c.configured;
    }
}

TEST(ClipRecordingRules, CaptureRateClampsThenLimitsByQuality) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double fps;
        bool high;
        double rate;
    } cases[] = {{60, true, 30},  {60, false, 20},    {24, true, 24},  {12, false, 12},
                 {0.2, true, 1},  {-5, false, 1},     {nan, true, 30}, {nan, false, 20},
                 {inf, true, 30}, {59.7275, true, 30}};
    for (const auto& c : cases) {
        EXPECT_EQ(clip_capture_rate(c.fps, c.high), c.rate) << c.fps << " high=" << c.high;
    }
}

TEST(ClipRecordingRules, EncoderAvailableNeedsANonBlankLauncher) {
    ClipRecorderConfig config;
    EXPECT_FALSE(clip_encoder_available(config));
    config.gstreamer_runtime = GStreamerRuntimeConfig{" \t ", {}, {}, {}};
    EXPECT_FALSE(clip_encoder_available(config));
    config.gstreamer_runtime->launch_executable_path = " gst-launch-1.0 ";
    EXPECT_TRUE(clip_encoder_available(config));
}

TEST(ClipRecordingRules, SegmentNamesAndDuration) {
    EXPECT_EQ(clip_segment_directory_name(0), "segment-00000000");
    EXPECT_EQ(clip_segment_directory_name(123456789), "segment-123456789");
    EXPECT_EQ(clip_frame_file_name(7), "frame-00000007.png");
    // The longer of video and audio; an unusable rate contributes nothing.
    EXPECT_DOUBLE_EQ(clip_segment_duration_seconds(60, 30.0, 32768, 32768), 2.0);
    EXPECT_DOUBLE_EQ(clip_segment_duration_seconds(30, 30.0, 65536, 32768), 2.0);
    EXPECT_DOUBLE_EQ(clip_segment_duration_seconds(30, 0.0, 0, 0), 0.0);
    EXPECT_DOUBLE_EQ(clip_segment_duration_seconds(30, std::nan(""), 100, 0), 0.0);
    EXPECT_EQ(saturating_add(UINT64_MAX - 1, 5), UINT64_MAX);
}

TEST(ClipRecordingRules, OutputFrameRate) {
    EXPECT_DOUBLE_EQ(resolve_output_frame_rate(1.0, 1000, 30.0), 120.0);
    EXPECT_DOUBLE_EQ(resolve_output_frame_rate(2000.0, 1, 30.0), 0.001);
    EXPECT_DOUBLE_EQ(resolve_output_frame_rate(0.0, 10, 24.0), 24.0);
    EXPECT_DOUBLE_EQ(resolve_output_frame_rate(10.0, 300, 30.0), 30.0);
    // No duration and no frames: the fallback rate, at least 1.
    EXPECT_DOUBLE_EQ(resolve_output_frame_rate(0.0, 0, 24.0), 24.0);
    EXPECT_DOUBLE_EQ(resolve_output_frame_rate(0.0, 5, 0.5), 0.5);
    EXPECT_DOUBLE_EQ(resolve_output_frame_rate(0.0, 5, 0.0), 1.0);
    EXPECT_DOUBLE_EQ(resolve_output_frame_rate(std::nan(""), 5, std::nan("")), 1.0);
}

TEST(ClipRecordingRules, RoundingIsHalfAwayFromZeroAndSaturates) {
    EXPECT_EQ(round_to_u64(2.5), 3u);
    EXPECT_EQ(round_to_u64(2.4999), 2u);
    EXPECT_EQ(round_to_u64(-3.0), 0u);
    EXPECT_EQ(round_to_u64(std::nan("")), 0u);
    EXPECT_EQ(round_to_u64(1e30), UINT64_MAX);
}

}  // namespace
}  // namespace lk
