#include "video/rgba_conversion.hpp"

#include <random>

#include <gtest/gtest.h>

#include "video_test_support.hpp"

namespace lk {
namespace {

using test::KernelPath;

class RgbaConversion : public ::testing::TestWithParam<KernelPath> {
  protected:
    void SetUp() override {
        kernels_ = test::kernels_for(GetParam());
        if (kernels_ == nullptr) {
            GTEST_SKIP() << "this CPU has no AVX2";
        }
    }

    std::vector<std::uint8_t> convert(const VideoFrame& frame) {
        auto format = PixelFormat::from_label(frame.pixel_format);
        auto rgba = convert_frame_to_tightly_packed_rgba_with_kernels(frame, *format, *kernels_);
        EXPECT_TRUE(rgba) << rgba.error().message();
        if (!rgba) {
            return {};
        }
        EXPECT_EQ(rgba->size(), std::size_t{frame.width} * frame.height * 4);
        return {rgba->bytes().begin(), rgba->bytes().end()};
    }

    const SimdKernels* kernels_ = nullptr;
};

INSTANTIATE_TEST_SUITE_P(Paths, RgbaConversion,
                         ::testing::Values(KernelPath::portable, KernelPath::avx2),
                         test::kernel_path_name);

// Each example fills a 37-pixel row, so it goes through the vector loop and
// through the scalar tail.
TEST_P(RgbaConversion, ConvertsTheDocumentedPixelExamples) {
    struct Case {
        const char* label;
        std::vector<std::uint8_t> pixel;
        test::Rgba expected;
    };
    const std::vector<Case> cases{
        {"rgb565", {0x00, 0xF8}, {255, 0, 0, 255}},
        {"rgb565", {0xE0, 0x07}, {0, 255, 0, 255}},
        {"rgb565", {0x1F, 0x00}, {0, 0, 255, 255}},
        {"rgb565", {0xFF, 0xFF}, {255, 255, 255, 255}},
        {"0rgb1555", {0x00, 0x7C}, {255, 0, 0, 255}},
        {"0rgb1555", {0x00, 0x80}, {0, 0, 0, 255}},
        {"0rgb1555", {0xE0, 0x03}, {0, 255, 0, 255}},
        {"xrgb8888", {10, 20, 30, 40}, {30, 20, 10, 255}},
        {"rgba8888", {10, 20, 30, 40}, {10, 20, 30, 40}},
    };
    constexpr std::uint32_t kWidth = 37;
    for (const Case& c : cases) {
        std::vector<std::uint8_t> row;
        for (std::uint32_t i = 0; i < kWidth; ++i) {
            row.insert(row.end(), c.pixel.begin(), c.pixel.end());
        }
        // A second row after 3 bytes of padding makes the frame not tightly packed.
        const std::size_t pitch = row.size() + 3;
        std::vector<std::uint8_t> bytes(row);
        bytes.resize(pitch, 0xEE);
        bytes.insert(bytes.end(), row.begin(), row.end());
        const auto rgba = convert(test::make_frame(c.label, bytes, pitch, kWidth, 2));
        ASSERT_EQ(rgba.size(), kWidth * 2 * 4u);
        for (std::size_t i = 0; i < rgba.size(); i += 4) {
            ASSERT_EQ((test::Rgba{rgba[i], rgba[i + 1], rgba[i + 2], rgba[i + 3]}), c.expected)
                << c.label << " pixel " << i / 4;
        }
    }
}

// All 65536 words of the 16-bit formats, and random 32-bit pixels, against the
// rules written out in the test.
TEST_P(RgbaConversion, MatchesTheRulesForEveryPixelValue) {
    std::vector<std::uint8_t> words;
    for (std::uint32_t row = 0; row < 256; ++row) {
        for (std::uint32_t col = 0; col < 256; ++col) {
            words.push_back(static_cast<std::uint8_t>(col));
            words.push_back(static_cast<std::uint8_t>(row));
        }
        words.insert(words.end(), 6, 0x5A);  // padding
    }
    for (const char* label : {"rgb565", "0rgb1555"}) {
        const VideoFrame frame = test::make_frame(label, words, 512 + 6, 256, 256);
        EXPECT_EQ(convert(frame), test::reference_rgba(frame)) << label;
    }
    std::mt19937 random(3);
    std::vector<std::uint8_t> bytes((61 * 4 + 12) * 7);
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(random());
    }
    for (const char* label : {"xrgb8888", "rgba8888"}) {
        const VideoFrame frame = test::make_frame(label, bytes, 61 * 4 + 12, 61, 7);
        EXPECT_EQ(convert(frame), test::reference_rgba(frame)) << label;
    }
}

// Rows are read at `pitch` and only their visible part is read: the padding's
// value changes nothing, and data that ends exactly after the last visible
// byte, against an unreadable page, converts without a fault.
TEST_P(RgbaConversion, HonoursPitchAndNeverReadsPadding) {
    for (const char* label : {"0rgb1555", "xrgb8888", "rgb565", "rgba8888"}) {
        for (std::uint32_t width : {1u, 7u, 33u, 100u}) {
            const VideoFrame zeros = test::game_like_frame(label, width, 5, 12, 0x00);
            const VideoFrame ones = test::game_like_frame(label, width, 5, 12, 0xFF);
            const auto expected = test::reference_rgba(zeros);
            EXPECT_EQ(convert(zeros), expected) << label << " width " << width;
            EXPECT_EQ(convert(ones), expected) << label << " width " << width;

            const std::size_t needed = 4 * zeros.pitch + width * test::bytes_per_pixel_of(label);
            for (bool guard_before : {false, true}) {
                VideoFrame guarded = zeros;
                guarded.data = test::guarded_bytes(zeros.data.bytes().first(needed), guard_before);
                EXPECT_EQ(convert(guarded), expected) << label << " width " << width;
            }
        }
    }
}

TEST(RgbaConversionErrors, RejectsAPitchSmallerThanTheVisibleRowBeforeReadingData) {
    for (const auto& [label, width, pitch] :
         {std::tuple{"xrgb8888", 320u, 1279u}, std::tuple{"rgb565", 10u, 19u},
          std::tuple{"rgba8888", 1u, 0u}}) {
        // No data at all: the pitch check comes first.
        const VideoFrame frame{label, PixelBuffer{}, pitch, width, 2};
        auto format = PixelFormat::from_label(label);
        auto rgba = convert_frame_to_tightly_packed_rgba_with_format(frame, *format);
        ASSERT_FALSE(rgba);
        EXPECT_EQ(rgba.error().message(), "Frame pitch is smaller than visible width.");
    }
}

TEST(RgbaConversionErrors, NeedsDataUpToTheLastVisibleByteOnly) {
    struct Case {
        const char* label;
        std::uint64_t pitch;
        std::uint32_t width;
        std::uint32_t height;
        std::size_t size;
        bool ok;
    };
    const std::uint64_t huge = std::uint64_t{1} << 62;
    for (const Case& c : {
             Case{"xrgb8888", 1280, 320, 2, 2560, true},
             Case{"xrgb8888", 1280, 320, 2, 2559, false},
             Case{"xrgb8888", 1300, 320, 2, 2580, true},  // last row ends at the data's end
             Case{"xrgb8888", 1300, 320, 2, 2579, false},
             Case{"rgba8888", 1280, 320, 2, 2559, false},  // tightly packed, still checked
             Case{"rgba8888", 1280, 320, 2, 4000, true},
             Case{"rgb565", huge, 4, 0xFFFFFFFF, 64, false},  // size overflows
             Case{"rgb565", 8, 4, 0, 0, true},
             Case{"rgb565", 0, 0, 3, 0, true},
         }) {
        const VideoFrame frame = test::make_frame(c.label, std::vector<std::uint8_t>(c.size, 1),
                                                  c.pitch, c.width, c.height);
        auto rgba = convert_frame_to_tightly_packed_rgba_with_format(
            frame, *PixelFormat::from_label(c.label));
        if (c.ok) {
            ASSERT_TRUE(rgba) << c.label << " " << c.size << ": " << rgba.error().message();
            EXPECT_EQ(rgba->size(), std::size_t{c.width} * c.height * 4);
        } else {
            ASSERT_FALSE(rgba) << c.label << " " << c.size;
            EXPECT_EQ(rgba.error().message(), "Frame data is shorter than expected.");
        }
    }
}

TEST(RgbaConversionSharing, ReturnsTightlyPackedRgbaWithoutCopying) {
    const VideoFrame tight = test::game_like_frame("rgba8888", 16, 4);
    auto same = convert_frame_to_tightly_packed_rgba_with_format(tight, PixelFormat::rgba8888);
    ASSERT_TRUE(same);
    EXPECT_EQ(same->data(), tight.data.data());
    EXPECT_EQ(same->size(), tight.data.size());

    VideoFrame longer = tight;
    longer.data = PixelBuffer::from_vector(std::vector<std::uint8_t>(16 * 4 * 4 + 10, 9));
    auto cut = convert_frame_to_tightly_packed_rgba_with_format(longer, PixelFormat::rgba8888);
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->data(), longer.data.data());
    EXPECT_EQ(cut->size(), 16u * 4 * 4);

    const VideoFrame padded = test::game_like_frame("rgba8888", 16, 4, 4);
    auto copied = convert_frame_to_tightly_packed_rgba_with_format(padded, PixelFormat::rgba8888);
    ASSERT_TRUE(copied);
    EXPECT_FALSE(copied->shares_bytes_with(padded.data));
    EXPECT_EQ(std::vector<std::uint8_t>(copied->bytes().begin(), copied->bytes().end()),
              test::reference_rgba(padded));
}

}  // namespace
}  // namespace lk
