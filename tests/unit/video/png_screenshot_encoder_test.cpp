#include "video/png_screenshot_encoder.hpp"

#include <zlib.h>

#include <algorithm>
#include <random>
#include <set>
#include <tuple>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "video_test_support.hpp"

namespace lk {
namespace {

using test::KernelPath;

std::uint32_t be32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
           (std::uint32_t{bytes[at + 2]} << 8) | bytes[at + 3];
}

// The chunk types in order, and the IDAT data joined.
std::pair<std::vector<std::string>, std::vector<std::uint8_t>> split_png(
    const std::vector<std::uint8_t>& png) {
    std::vector<std::string> types;
    std::vector<std::uint8_t> idat;
    std::size_t at = 8;
    while (at + 12 <= png.size()) {
        const std::size_t length = be32(png, at);
        const auto data = png.begin() + static_cast<std::ptrdiff_t>(at + 8);
        types.emplace_back(png.begin() + static_cast<std::ptrdiff_t>(at + 4), data);
        if (types.back() == "IDAT") {
            idat.insert(idat.end(), data, data + static_cast<std::ptrdiff_t>(length));
        }
        at += 12 + length;
    }
    return {types, idat};
}

// The filtered scanlines inside the PNG (filter type byte + row), inflated by
// zlib, which also checks the stream's Adler-32.
std::vector<std::uint8_t> scanlines_of(const std::vector<std::uint8_t>& png, std::uint32_t width,
                                       std::uint32_t height) {
    const auto idat = split_png(png).second;
    std::vector<std::uint8_t> raw((std::size_t{width} * 4 + 1) * height + 1);
    uLongf raw_size = raw.size();
    EXPECT_EQ(uncompress(raw.data(), &raw_size, idat.data(), idat.size()), Z_OK);
    raw.resize(raw_size);
    return raw;
}

// Decodes with libpng and compares with the expected pixels; also checks the
// file's layout: IHDR (8-bit RGBA, not interlaced), IDAT, IEND and nothing else.
void expect_png_of(const std::vector<std::uint8_t>& png, const VideoFrame& frame,
                   const std::string& what) {
    SCOPED_TRACE(what);
    const auto [types, idat] = split_png(png);
    ASSERT_GE(types.size(), 3u);
    EXPECT_EQ(types.front(), "IHDR");
    EXPECT_EQ(types.back(), "IEND");
    for (std::size_t i = 1; i + 1 < types.size(); ++i) {
        EXPECT_EQ(types[i], "IDAT");
    }
    EXPECT_EQ(be32(png, 16), frame.width);
    EXPECT_EQ(be32(png, 20), frame.height);
    EXPECT_EQ(png[24], 8);  // bit depth
    EXPECT_EQ(png[25], 6);  // RGBA
    EXPECT_EQ(png[28], 0);  // not interlaced
    const auto decoded = test::decode_png(png);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->width, frame.width);
    EXPECT_EQ(decoded->height, frame.height);
    EXPECT_TRUE(decoded->rgba == test::reference_rgba(frame)) << "pixels differ";
}

// An RGBA frame whose Sub-filtered rows are exactly `filtered_rows`.
VideoFrame frame_with_sub_filtered_rows(
    const std::vector<std::vector<std::uint8_t>>& filtered_rows) {
    const std::size_t row_bytes = filtered_rows.front().size();
    std::vector<std::uint8_t> pixels;
    for (const auto& filtered : filtered_rows) {
        const std::size_t start = pixels.size();
        for (std::size_t i = 0; i < row_bytes; ++i) {
            pixels.push_back(
                static_cast<std::uint8_t>(filtered[i] + (i >= 4 ? pixels[start + i - 4] : 0)));
        }
    }
    return test::make_frame("rgba8888", std::move(pixels), row_bytes,
                            static_cast<std::uint32_t>(row_bytes / 4),
                            static_cast<std::uint32_t>(filtered_rows.size()));
}

class PngEncoding : public ::testing::TestWithParam<std::tuple<bool, KernelPath>> {
  protected:
    void SetUp() override {
        kernels_ = test::kernels_for(std::get<1>(GetParam()));
        if (kernels_ == nullptr) {
            GTEST_SKIP() << "this CPU has no AVX2";
        }
    }
    [[nodiscard]] bool fast() const { return std::get<0>(GetParam()); }

    std::vector<std::uint8_t> encode(const VideoFrame& frame) {
        auto png = PngScreenshotEncoder(fast(), *kernels_).encode_png(frame);
        EXPECT_TRUE(png) << png.error().message();
        return png ? *png : std::vector<std::uint8_t>{};
    }

    const SimdKernels* kernels_ = nullptr;
};

INSTANTIATE_TEST_SUITE_P(
    ModesAndPaths, PngEncoding,
    ::testing::Combine(::testing::Bool(),
                       ::testing::Values(KernelPath::portable, KernelPath::avx2)),
    [](const auto& param_info) {
        return std::string(std::get<0>(param_info.param) ? "Fast" : "Standard") +
               (std::get<1>(param_info.param) == KernelPath::portable ? "Portable" : "Avx2");
    });

TEST_P(PngEncoding, RoundTripsEveryFormatAtOddSizes) {
    for (const char* label : {"0rgb1555", "xrgb8888", "rgb565", "rgba8888"}) {
        for (const auto& [width, height] :
             {std::pair{1u, 1u}, std::pair{2u, 1u}, std::pair{1u, 3u}, std::pair{17u, 5u},
              std::pair{33u, 9u}, std::pair{256u, 224u}}) {
            for (std::size_t padding : {0u, 6u}) {
                const VideoFrame frame = test::game_like_frame(label, width, height, padding);
                expect_png_of(encode(frame), frame,
                              fmt::format("{} {}x{} padding {}", label, width, height, padding));
            }
        }
    }
}

TEST_P(PngEncoding, RoundTripsLargeFlatNoisyAndMixedFrames) {
    constexpr std::uint32_t kWidth = 1280;
    constexpr std::uint32_t kHeight = 960;
    std::mt19937 random(11);
    std::vector<std::uint8_t> noise(std::size_t{kWidth} * kHeight * 4);
    for (auto& b : noise) {
        b = static_cast<std::uint8_t>(random());
    }
    // Flat except a few noisy rows: the rows that set the fast mode's code
    // table may all be flat while other rows need long codes.
    std::vector<std::uint8_t> mostly_flat(noise.size(), 0x40);
    for (std::uint32_t row : {0u, 1u, 2u, 479u, kHeight - 1}) {
        std::copy_n(noise.begin() + row * kWidth * 4, kWidth * 4,
                    mostly_flat.begin() + row * kWidth * 4);
    }
    const std::vector<std::pair<std::string, VideoFrame>> frames{
        {"game", test::game_like_frame("xrgb8888", kWidth, kHeight)},
        {"noise", test::make_frame("rgba8888", noise, kWidth * 4, kWidth, kHeight)},
        {"flat", test::make_frame("rgba8888", std::vector<std::uint8_t>(noise.size(), 0),
                                  kWidth * 4, kWidth, kHeight)},
        {"mostly flat", test::make_frame("rgba8888", mostly_flat, kWidth * 4, kWidth, kHeight)},
    };
    for (const auto& [name, frame] : frames) {
        expect_png_of(encode(frame), frame, name);
    }
}

// The frame's data ends right after the last visible byte, against an
// unreadable page (or starts right after one): any read outside the visible
// bytes faults.
TEST_P(PngEncoding, ReadsOnlyTheVisibleBytes) {
    for (const char* label : {"0rgb1555", "xrgb8888", "rgb565", "rgba8888"}) {
        for (const auto& [width, padding] :
             {std::pair{37u, 0u}, std::pair{37u, 10u}, std::pair{64u, 4u}}) {
            const VideoFrame frame = test::game_like_frame(label, width, 7, padding);
            const std::size_t needed = 6 * frame.pitch + width * test::bytes_per_pixel_of(label);
            for (bool guard_before : {false, true}) {
                VideoFrame guarded = frame;
                guarded.data = test::guarded_bytes(frame.data.bytes().first(needed), guard_before);
                expect_png_of(encode(guarded), frame, label);
            }
        }
    }
}

// Runs of zero bytes of every length up to 600 after filtering, at the start,
// in the middle and at the end of rows, next to one another and to non-zero
// bytes; the fast mode encodes them as matches.
TEST_P(PngEncoding, RoundTripsZeroRunsOfEveryLength) {
    constexpr std::size_t kRowBytes = 700 * 4;
    std::vector<std::vector<std::uint8_t>> rows;
    std::vector<std::uint8_t> row;
    std::mt19937 random(5);
    for (std::size_t run = 0; run <= 600; ++run) {
        const std::size_t literals = random() % 3;
        for (std::size_t i = 0; i < literals; ++i) {
            row.push_back(static_cast<std::uint8_t>(1 + random() % 255));
        }
        for (std::size_t i = 0; i < run; ++i) {
            row.push_back(0);
            if (row.size() == kRowBytes) {
                rows.push_back(row);
                row.clear();
            }
        }
        if (row.size() >= kRowBytes) {
            row.resize(kRowBytes);
            rows.push_back(row);
            row.clear();
        }
    }
    row.resize(kRowBytes, 0);
    rows.push_back(row);
    rows.push_back(std::vector<std::uint8_t>(kRowBytes, 0));

    const VideoFrame frame = frame_with_sub_filtered_rows(rows);
    const auto png = encode(frame);
    expect_png_of(png, frame, "zero runs");
    if (fast()) {
        const auto scanlines = scanlines_of(png, frame.width, frame.height);
        ASSERT_EQ(scanlines.size(), rows.size() * (kRowBytes + 1));
        for (std::size_t r = 0; r < rows.size(); ++r) {
            EXPECT_EQ(scanlines[r * (kRowBytes + 1)], 1);
            EXPECT_TRUE(std::equal(
                rows[r].begin(), rows[r].end(),
                scanlines.begin() + static_cast<std::ptrdiff_t>(r * (kRowBytes + 1) + 1)))
                << "row " << r;
        }
    }
}

// Fast mode filters every row with Sub; standard mode picks, per row, the
// filter whose output has the smallest sum of absolute signed values.
TEST_P(PngEncoding, ChoosesTheDocumentedRowFilters) {
    const VideoFrame frame = test::game_like_frame("xrgb8888", 64, 48, 0, 0, 9);
    const auto png = encode(frame);
    const auto scanlines = scanlines_of(png, frame.width, frame.height);
    const auto rgba = test::reference_rgba(frame);
    const std::size_t row_bytes = std::size_t{frame.width} * 4;
    ASSERT_EQ(scanlines.size(), frame.height * (row_bytes + 1));
    std::set<int> used;
    for (std::size_t r = 0; r < frame.height; ++r) {
        const std::uint8_t filter = scanlines[r * (row_bytes + 1)];
        used.insert(filter);
        if (fast()) {
            EXPECT_EQ(filter, 1) << "row " << r;
            continue;
        }
        const auto at = [&](std::size_t row, std::size_t i) -> int {
            return row < frame.height ? rgba[row * row_bytes + i] : 0;
        };
        std::array<long, 5> sums{};
        for (std::size_t i = 0; i < row_bytes; ++i) {
            const int x = at(r, i);
            const int a = i >= 4 ? at(r, i - 4) : 0;
            const int b = r > 0 ? at(r - 1, i) : 0;
            const int c = i >= 4 && r > 0 ? at(r - 1, i - 4) : 0;
            const int p = a + b - c;
            const int pa = std::abs(p - a);
            const int pb = std::abs(p - b);
            const int pc = std::abs(p - c);
            const int paeth = pa <= pb && pa <= pc ? a : (pb <= pc ? b : c);
            const std::array<int, 5> predicted{0, a, b, (a + b) / 2, paeth};
            for (std::size_t f = 0; f < 5; ++f) {
                const auto v =
                    static_cast<std::int8_t>(static_cast<std::uint8_t>(x - predicted[f]));
                sums[f] += std::abs(static_cast<int>(v));
            }
        }
        const auto best = std::min_element(sums.begin(), sums.end()) - sums.begin();
        EXPECT_EQ(filter, best) << "row " << r;
    }
    if (!fast()) {
        EXPECT_GT(used.size(), 1u) << "the frame should make the heuristic pick several filters";
    }
}

TEST_P(PngEncoding, ReportsTheDocumentedErrors) {
    struct Case {
        VideoFrame frame;
        std::string message;
    };
    const std::vector<Case> cases{
        {test::make_frame("RGB565", std::vector<std::uint8_t>(8), 4, 2, 2),
         "Unsupported screenshot pixel format: RGB565"},
        {test::make_frame("", std::vector<std::uint8_t>(8), 4, 2, 2),
         "Unsupported screenshot pixel format: "},
        {test::make_frame("xrgb8888", std::vector<std::uint8_t>(2559), 1280, 320, 2),
         "Frame data is shorter than expected."},
        {test::make_frame("rgba8888", std::vector<std::uint8_t>(15), 8, 2, 2),
         "Frame data is shorter than expected."},
        {test::make_frame("rgb565", {}, 5, 3, 100), "Frame pitch is smaller than visible width."},
        {test::make_frame("rgb565", {}, 0, 0, 2),
         "PNG image dimensions must be between 1 and 2147483647 pixels."},
        {test::make_frame("rgba8888", {}, 16, 4, 0),
         "PNG image dimensions must be between 1 and 2147483647 pixels."},
    };
    for (const Case& c : cases) {
        auto png = PngScreenshotEncoder(fast(), *kernels_).encode_png(c.frame);
        ASSERT_FALSE(png) << c.message;
        EXPECT_EQ(png.error().message(), c.message);
    }
}

// The vector kernels change speed, not output.
TEST(PngEncodingPaths, FastModeWritesTheSameBytesOnEveryPath) {
    const SimdKernels* avx2 = avx2_simd_kernels();
    if (avx2 == nullptr) {
        GTEST_SKIP() << "this CPU has no AVX2";
    }
    for (const char* label : {"0rgb1555", "xrgb8888", "rgb565", "rgba8888"}) {
        const VideoFrame frame = test::game_like_frame(label, 203, 61, 2);
        auto portable = PngScreenshotEncoder(true, portable_simd_kernels()).encode_png(frame);
        auto vector = PngScreenshotEncoder(true, *avx2).encode_png(frame);
        ASSERT_TRUE(portable && vector);
        EXPECT_EQ(*portable, *vector) << label;
    }
}

TEST(PngEncodingPaths, DefaultEncoderUsesItsMode) {
    EXPECT_TRUE(PngScreenshotEncoder(true).fast_mode());
    EXPECT_FALSE(PngScreenshotEncoder(false).fast_mode());
    const VideoFrame frame = test::game_like_frame("rgb565", 20, 10);
    for (bool fast : {true, false}) {
        auto png = PngScreenshotEncoder(fast).encode_png(frame);
        ASSERT_TRUE(png);
        expect_png_of(*png, frame, fast ? "fast" : "standard");
    }
}

}  // namespace
}  // namespace lk
