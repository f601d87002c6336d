#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "video/pixel_buffer.hpp"
#include "video/pixel_format.hpp"
#include "video/video_frame.hpp"

namespace lk::bench {

struct Colour {
    std::uint8_t r, g, b;
};

// A picture that looks like a 2D game screen: a sky gradient in flat bands, a
// tile map of 16x16 tiles drawn from a small palette, a few sprites and a
// little noise. Colours are 5/6-bit exact so every pixel format holds the
// same picture.
inline std::vector<Colour> emulator_picture(std::uint32_t width, std::uint32_t height) {
    std::vector<Colour> palette;
    std::mt19937 random(1234);
    for (int i = 0; i < 16; ++i) {
        palette.push_back({static_cast<std::uint8_t>(random() & 0xF8),
                           static_cast<std::uint8_t>(random() & 0xF8),
                           static_cast<std::uint8_t>(random() & 0xF8)});
    }
    std::vector<Colour> picture(std::size_t{width} * height);
    const std::uint32_t horizon = height * 2 / 5;
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            Colour c;
            if (y < horizon) {
                const auto band = static_cast<std::uint8_t>((y * 8 / horizon) * 8);
                c = {static_cast<std::uint8_t>(0x40 + band), static_cast<std::uint8_t>(0x80 + band),
                     0xF8};
            } else {
                // Tile map: each 16x16 tile has a pattern of two palette colours.
                const std::uint32_t tx = x / 16;
                const std::uint32_t ty = y / 16;
                const std::uint32_t tile = (tx * 7 + ty * 13 + (tx * ty) % 5) % 6;
                const std::uint32_t px = x % 16;
                const std::uint32_t py = y % 16;
                const bool ink = tile < 2 ? false : ((px ^ py) & (tile * 2 + 1)) == 0 || py == 0;
                c = palette[(tile * 2 + (ink ? 1 : 0)) % palette.size()];
            }
            picture[std::size_t{y} * width + x] = c;
        }
    }
    // Sprites: 24x24 blobs with an outline.
    for (int s = 0; s < 12; ++s) {
        const std::uint32_t sx = static_cast<std::uint32_t>(random()) % (width - 24);
        const std::uint32_t sy = static_cast<std::uint32_t>(random()) % (height - 24);
        const Colour body = palette[static_cast<std::size_t>(random()) % palette.size()];
        for (std::uint32_t y = 0; y < 24; ++y) {
            for (std::uint32_t x = 0; x < 24; ++x) {
                const int dx = static_cast<int>(x) - 12;
                const int dy = static_cast<int>(y) - 12;
                const int d = dx * dx + dy * dy;
                if (d < 144) {
                    picture[std::size_t{sy + y} * width + sx + x] =
                        d > 110 ? Colour{0, 0, 0} : body;
                }
            }
        }
    }
    // A little noise (about 1% of the pixels).
    for (std::size_t i = 0; i < picture.size() / 100; ++i) {
        picture[static_cast<std::size_t>(random()) % picture.size()] = {
            static_cast<std::uint8_t>(random() & 0xF8), static_cast<std::uint8_t>(random() & 0xF8),
            static_cast<std::uint8_t>(random() & 0xF8)};
    }
    return picture;
}

// The picture stored in `format`, tightly packed.
inline VideoFrame emulator_frame(PixelFormat format, std::uint32_t width, std::uint32_t height) {
    const auto picture = emulator_picture(width, height);
    const std::size_t bpp = format.bytes_per_pixel();
    std::vector<std::uint8_t> bytes(picture.size() * bpp);
    for (std::size_t i = 0; i < picture.size(); ++i) {
        const Colour c = picture[i];
        std::uint32_t word = 0;
        switch (format.value()) {
            case PixelFormat::rgb1555:
                word =
                    (std::uint32_t{c.r} >> 3 << 10) | (std::uint32_t{c.g} >> 3 << 5) | (c.b >> 3u);
                break;
            case PixelFormat::rgb565:
                word =
                    (std::uint32_t{c.r} >> 3 << 11) | (std::uint32_t{c.g} >> 2 << 5) | (c.b >> 3u);
                break;
            case PixelFormat::xrgb8888:
                word = (std::uint32_t{c.r} << 16) | (std::uint32_t{c.g} << 8) | c.b;
                break;
            case PixelFormat::rgba8888:
                word = c.r | (std::uint32_t{c.g} << 8) | (std::uint32_t{c.b} << 16) | 0xFF000000u;
                break;
        }
        std::memcpy(bytes.data() + i * bpp, &word, bpp);
    }
    return VideoFrame{std::string(format.label()), PixelBuffer::from_vector(std::move(bytes)),
                      width * bpp, width, height};
}

}  // namespace lk::bench
