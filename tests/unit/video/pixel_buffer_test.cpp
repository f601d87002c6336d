#include "video/pixel_buffer.hpp"

#include <gtest/gtest.h>

#include "video/video_frame.hpp"

namespace lk {
namespace {

TEST(PixelBuffer, FromVectorKeepsTheVectorsStorage) {
    std::vector<std::uint8_t> bytes{1, 2, 3, 4, 5};
    const std::uint8_t* storage = bytes.data();
    const PixelBuffer buffer = PixelBuffer::from_vector(std::move(bytes));
    EXPECT_EQ(buffer.data(), storage);
    EXPECT_EQ(buffer.size(), 5u);
    EXPECT_EQ(buffer.prefix(3).size(), 3u);
    EXPECT_EQ(buffer.prefix(9).size(), 5u);
    EXPECT_TRUE(buffer.prefix(3).shares_bytes_with(buffer));
}

// A frame held by the sink, the clip recorder and the latest-frame slot keeps
// one copy of its bytes, alive until the last holder drops it.
TEST(PixelBuffer, FrameCopiesShareTheBytesUntilTheLastHolderDropsThem) {
    bool freed = false;
    auto* raw = new std::uint8_t[8]{};
    std::shared_ptr<const std::uint8_t> owner(raw, [&freed](const std::uint8_t* p) {
        freed = true;
        delete[] p;
    });
    auto frame = std::make_unique<VideoFrame>(
        VideoFrame{"rgba8888", PixelBuffer::adopt(std::move(owner), 8), 8, 2, 1});
    auto for_recorder = std::make_unique<VideoFrame>(*frame);
    VideoFrame latest = *frame;

    EXPECT_EQ(for_recorder->data.data(), raw);
    EXPECT_EQ(latest.data.data(), raw);
    EXPECT_EQ(frame->data.use_count(), 3);

    frame.reset();
    latest = VideoFrame{};
    EXPECT_FALSE(freed);
    EXPECT_EQ(for_recorder->data.use_count(), 1);
    for_recorder.reset();
    EXPECT_TRUE(freed);
}

}  // namespace
}  // namespace lk
