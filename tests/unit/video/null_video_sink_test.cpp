#include "video/null_video_sink.hpp"

#include <gtest/gtest.h>

namespace lk {
namespace {

TEST(NullVideoSink, WantsNothingAndCountsAndDropsPushedFrames) {
    NullVideoSinkFactory factory;
    auto sink =
        factory.create_video_sink(VideoSinkConfig{"mgba", "gba", 60.0, "session-1", "auto"});
    ASSERT_NE(sink, nullptr);
    auto* null_sink = dynamic_cast<NullVideoSink*>(sink.get());
    ASSERT_NE(null_sink, nullptr);
    EXPECT_EQ(null_sink->frames_received(), 0u);

    const PixelBuffer pixels = PixelBuffer::from_vector(std::vector<std::uint8_t>(16, 7));
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(sink->wants_frame());
        EXPECT_TRUE(sink->push_frame(VideoFrame{"rgb565", pixels, 8, 4, 2}));
    }
    EXPECT_EQ(null_sink->frames_received(), 3u);
    EXPECT_EQ(pixels.use_count(), 1) << "the sink must not keep pushed frames";
    // A frame with an unknown label is still just counted.
    EXPECT_TRUE(sink->push_frame(VideoFrame{"bogus", pixels, 8, 4, 2}));
    EXPECT_EQ(null_sink->frames_received(), 4u);

    EXPECT_TRUE(sink->set_maximum_frames_per_second(30.0));
    EXPECT_FALSE(sink->wants_frame());
    EXPECT_TRUE(sink->stop());

    auto second = factory.create_video_sink(VideoSinkConfig{});
    EXPECT_EQ(dynamic_cast<NullVideoSink&>(*second).frames_received(), 0u);
}

}  // namespace
}  // namespace lk
