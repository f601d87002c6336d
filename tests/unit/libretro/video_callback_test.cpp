// The video callback: software frames copied whole with their pitch and
// labelled by the core's pixel format, duplicate and invalid frames ignored,
// hardware frames only marked, and nothing kept while output is suppressed.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "callback_bridge_test_support.hpp"
#include "libretro/abi.hpp"
#include "libretro/callback_runtime_state.hpp"
#include "libretro/environment_callback.hpp"
#include "libretro/video_callback.hpp"

namespace lk {
namespace {

using callback_bridge::clone_current_frame;
using callback_bridge::take_current_frame;
using callback_bridge::video_refresh_callback;

class VideoCallback : public test::CallbackBridgeTest {};

std::vector<std::uint8_t> pattern(std::size_t size, std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(seed + i * 7);
    }
    return bytes;
}

const void* hw_frame() {
    return reinterpret_cast<const void*>(retro::kHwFrameBufferValidBits);
}

TEST_F(VideoCallback, CopiesWholeRowsAndLabelsByPixelFormat) {
    struct Case {
        std::optional<unsigned> format;  // none: the core never sets one
        const char* label;
        unsigned bytes_per_pixel;
    };
    const Case cases[] = {
        {std::nullopt, "xrgb8888", 4}, {0, "0rgb1555", 2}, {1, "xrgb8888", 4}, {2, "rgb565", 2}};
    for (const auto& c : cases) {
        callback_bridge::reset();
        if (c.format) {
            unsigned format = *c.format;
            ASSERT_TRUE(
                callback_bridge::environment_callback(retro::env::kSetPixelFormat, &format));
        }
        const unsigned width = 5;
        const unsigned height = 3;
        const std::size_t pitch = width * c.bytes_per_pixel + 6;  // padded rows
        const auto bytes = pattern(pitch * height, 3);
        video_refresh_callback(bytes.data(), width, height, pitch);

        auto frame = take_current_frame();
        ASSERT_TRUE(frame.has_value()) << c.label;
        EXPECT_EQ(frame->pixel_format, c.label);
        EXPECT_EQ(frame->width, width);
        EXPECT_EQ(frame->height, height);
        EXPECT_EQ(frame->pitch, pitch);
        ASSERT_EQ(frame->data.size(), pitch * height);
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), frame->data.data()))
            << "padding included";
        EXPECT_FALSE(take_current_frame().has_value()) << "taking empties the slot";
    }
}

TEST_F(VideoCallback, InvalidAndDuplicateFramesKeepThePreviousPicture) {
    const auto bytes = pattern(8 * 2, 1);
    video_refresh_callback(bytes.data(), 2, 2, 8);
    const auto first = clone_current_frame();
    ASSERT_TRUE(first.has_value());

    const auto other = pattern(64, 9);
    video_refresh_callback(nullptr, 2, 2, 8);  // duplicate frame
    video_refresh_callback(other.data(), 0, 2, 8);
    video_refresh_callback(other.data(), 2, 0, 8);
    video_refresh_callback(other.data(), 2, 2, 0);
    // pitch × height overflows: must be refused without reading the pointer.
    video_refresh_callback(other.data(), 2, 3, std::numeric_limits<std::size_t>::max() / 2);
    // A hardware mark with a zero size is ignored too.
    video_refresh_callback(hw_frame(), 0, 16, 0);
    video_refresh_callback(hw_frame(), 16, 0, 0);

    const auto frame = take_current_frame();
    ASSERT_TRUE(frame.has_value());
    EXPECT_TRUE(frame->data.shares_bytes_with(first->data)) << "the first frame survived";
    CallbackStateLock state;
    EXPECT_FALSE(state->pending_hardware_frame.has_value());
}

TEST_F(VideoCallback, CloneSharesBytesAndLeavesTheFrameInPlace) {
    const auto bytes = pattern(4 * 4, 5);
    video_refresh_callback(bytes.data(), 1, 4, 4);
    const auto clone = clone_current_frame();
    ASSERT_TRUE(clone.has_value());
    const auto taken = take_current_frame();
    ASSERT_TRUE(taken.has_value());
    EXPECT_TRUE(clone->data.shares_bytes_with(taken->data));

    // A newer frame replaces the one nobody took.
    video_refresh_callback(bytes.data(), 1, 4, 4);
    const auto newer = pattern(4 * 2, 50);
    video_refresh_callback(newer.data(), 1, 2, 4);
    const auto latest = take_current_frame();
    ASSERT_TRUE(latest.has_value());
    EXPECT_EQ(latest->height, 2u);
    EXPECT_EQ(latest->data.data()[0], 50);
}

TEST_F(VideoCallback, HardwareFramesAreOnlyMarkedWithTheLatestSize) {
    video_refresh_callback(hw_frame(), 320, 240, 0);
    video_refresh_callback(hw_frame(), 640, 480, 0);
    EXPECT_FALSE(take_current_frame().has_value());
    CallbackStateLock state;
    ASSERT_TRUE(state->pending_hardware_frame.has_value());
    EXPECT_EQ(state->pending_hardware_frame->width, 640u);
    EXPECT_EQ(state->pending_hardware_frame->height, 480u);
}

TEST_F(VideoCallback, NothingIsKeptWhileOutputIsSuppressed) {
    callback_bridge::set_av_output_suppressed(true);
    const auto bytes = pattern(16, 0);
    video_refresh_callback(bytes.data(), 2, 2, 8);
    video_refresh_callback(hw_frame(), 2, 2, 0);
    EXPECT_FALSE(take_current_frame().has_value());
    {
        CallbackStateLock state;
        EXPECT_FALSE(state->pending_hardware_frame.has_value());
    }
    callback_bridge::set_av_output_suppressed(false);
    video_refresh_callback(bytes.data(), 2, 2, 8);
    EXPECT_TRUE(take_current_frame().has_value());

    callback_bridge::set_av_output_suppressed(true);
    callback_bridge::reset();
    video_refresh_callback(bytes.data(), 2, 2, 8);
    EXPECT_TRUE(take_current_frame().has_value()) << "reset clears suppression";
}

}  // namespace
}  // namespace lk
