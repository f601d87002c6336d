#include "video/png_container.hpp"

#include <zlib.h>

#include <gtest/gtest.h>

#include "video_test_support.hpp"

namespace lk {
namespace {

struct Chunk {
    std::string type;
    std::size_t length;
};

std::vector<Chunk> chunks_of(const std::vector<std::uint8_t>& png) {
    std::vector<Chunk> chunks;
    std::size_t at = 8;
    while (at + 12 <= png.size()) {
        const std::size_t length = (std::size_t{png[at]} << 24) | (std::size_t{png[at + 1]} << 16) |
                                   (std::size_t{png[at + 2]} << 8) | png[at + 3];
        chunks.push_back({std::string(png.begin() + static_cast<std::ptrdiff_t>(at + 4),
                                      png.begin() + static_cast<std::ptrdiff_t>(at + 8)),
                          length});
        at += 12 + length;
    }
    EXPECT_EQ(at, png.size());
    return chunks;
}

TEST(PngContainer, SplitsTheStreamIntoIdatChunksThatDecode) {
    // A 3x2 image, filter type 0 on both rows.
    const std::vector<std::uint8_t> pixels{1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,
                                           13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24};
    std::vector<std::uint8_t> raw;
    for (int row = 0; row < 2; ++row) {
        raw.push_back(0);
        raw.insert(raw.end(), pixels.begin() + row * 12, pixels.begin() + row * 12 + 12);
    }
    std::vector<std::uint8_t> stream(compressBound(raw.size()));
    uLongf stream_size = stream.size();
    ASSERT_EQ(compress2(stream.data(), &stream_size, raw.data(), raw.size(), 9), Z_OK);
    stream.resize(stream_size);

    for (std::size_t max_idat : {std::size_t{1}, std::size_t{7}, kMaxPngChunkLength}) {
        const auto png = assemble_png(3, 2, stream, max_idat);
        const auto chunks = chunks_of(png);
        ASSERT_GE(chunks.size(), 3u);
        EXPECT_EQ(chunks.front().type, "IHDR");
        EXPECT_EQ(chunks.back().type, "IEND");
        std::size_t idat_bytes = 0;
        for (std::size_t i = 1; i + 1 < chunks.size(); ++i) {
            EXPECT_EQ(chunks[i].type, "IDAT");
            EXPECT_LE(chunks[i].length, max_idat);
            idat_bytes += chunks[i].length;
        }
        EXPECT_EQ(idat_bytes, stream.size());
        const auto decoded = test::decode_png(png);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->rgba, pixels) << "max IDAT length " << max_idat;
    }
}

TEST(PngContainer, AcceptsOnlyDimensionsAPngCanHold) {
    EXPECT_TRUE(check_png_dimensions(1, 1));
    EXPECT_TRUE(check_png_dimensions(0x7FFFFFFF, 1));
    for (const auto& [width, height] : {std::pair{0u, 1u}, std::pair{1u, 0u},
                                        std::pair{0x80000000u, 1u}, std::pair{1u, 0xFFFFFFFFu}}) {
        auto status = check_png_dimensions(width, height);
        ASSERT_FALSE(status);
        EXPECT_EQ(status.error().message(),
                  "PNG image dimensions must be between 1 and 2147483647 pixels.");
    }
}

}  // namespace
}  // namespace lk
