#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lk::e2e {

// A decoded RGBA picture from a frameReady data URL or a PNG file.
struct FrameImage {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> rgba;

    struct Pixel {
        std::uint8_t r, g, b, a;
        bool operator==(const Pixel&) const = default;
    };
    [[nodiscard]] Pixel at(std::uint32_t x, std::uint32_t y) const;
    bool operator==(const FrameImage&) const = default;
};

std::optional<FrameImage> decode_png(const std::string& png_bytes);
// "data:image/png;base64,..." to a picture.
std::optional<FrameImage> decode_data_url(const std::string& data_url);

// Our GBA test ROM's frame counter: 16 cells at x = 8 + 14 i, y = 136..151,
// white for 1, least significant bit first.
std::uint32_t gba_rom_frame_counter(const FrameImage& image);
// The ROM's rectangle at (40, 24) is red, or green while A is held.
bool gba_rom_shows_a_pressed(const FrameImage& image);

}  // namespace lk::e2e
