#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>
#include <png.h>

#include "video/pixel_buffer.hpp"
#include "video/simd_kernels.hpp"
#include "video/video_frame.hpp"

namespace lk::test {

enum class KernelPath { portable, avx2 };

inline std::string kernel_path_name(const ::testing::TestParamInfo<KernelPath>& info) {
    return info.param == KernelPath::portable ? "Portable" : "Avx2";
}

// The kernels of a path, or nullptr when this CPU cannot run it.
inline const SimdKernels* kernels_for(KernelPath path) {
    return path == KernelPath::portable ? &portable_simd_kernels() : avx2_simd_kernels();
}

// Bytes placed directly against an inaccessible page, so that reading one byte
// past the end (or, with `guard_before`, one byte before the start) crashes.
inline PixelBuffer guarded_bytes(std::span<const std::uint8_t> bytes, bool guard_before = false) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t data_pages = (bytes.size() + page - 1) / page;
    const std::size_t mapped = (data_pages + 2) * page;
    void* base = mmap(nullptr, mapped, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) {
        ADD_FAILURE() << "mmap failed";
        return {};
    }
    auto* first_data_page = static_cast<std::uint8_t*>(base) + page;
    if (data_pages > 0) {
        mprotect(first_data_page, data_pages * page, PROT_READ | PROT_WRITE);
    }
    std::uint8_t* start =
        guard_before ? first_data_page : first_data_page + data_pages * page - bytes.size();
    if (!bytes.empty()) {
        std::memcpy(start, bytes.data(), bytes.size());
    }
    mprotect(first_data_page, data_pages * page, PROT_READ);
    std::shared_ptr<const std::uint8_t> owner(
        start, [base, mapped](const std::uint8_t*) { munmap(base, mapped); });
    return PixelBuffer::adopt(std::move(owner), bytes.size());
}

inline VideoFrame make_frame(std::string label, std::vector<std::uint8_t> bytes,
                             std::uint64_t pitch, std::uint32_t width, std::uint32_t height) {
    return VideoFrame{std::move(label), PixelBuffer::from_vector(std::move(bytes)), pitch, width,
                      height};
}

struct Rgba {
    std::uint8_t r, g, b, a;
    bool operator==(const Rgba&) const = default;
};

// The conversion rules written out independently of the kernels.
inline Rgba reference_pixel(std::string_view label, const std::uint8_t* p) {
    const auto e5 = [](unsigned v) { return static_cast<std::uint8_t>((v << 3) | (v >> 2)); };
    const auto e6 = [](unsigned v) { return static_cast<std::uint8_t>((v << 2) | (v >> 4)); };
    const unsigned w = p[0] | (unsigned{p[1]} << 8);
    switch (label[0]) {
        case '0':  // 0rgb1555
            return {e5((w >> 10) & 31), e5((w >> 5) & 31), e5(w & 31), 255};
        case 'x':  // xrgb8888
            return {p[2], p[1], p[0], 255};
        case 'r':
            if (label == "rgb565") {
                return {e5(w >> 11), e6((w >> 5) & 63), e5(w & 31), 255};
            }
            return {p[0], p[1], p[2], p[3]};
        default:
            ADD_FAILURE() << "no reference for " << label;
            return {};
    }
}

inline std::size_t bytes_per_pixel_of(const std::string& label) {
    return label == "0rgb1555" || label == "rgb565" ? 2 : 4;
}

// The expected RGBA bytes of a frame (rows top to bottom, no padding).
inline std::vector<std::uint8_t> reference_rgba(const VideoFrame& frame) {
    const std::size_t bpp = bytes_per_pixel_of(frame.pixel_format);
    std::vector<std::uint8_t> out(std::size_t{frame.width} * frame.height * 4);
    std::uint8_t* at = out.data();
    // Resolve the label once per row: the large frames have a million pixels.
    for (std::uint32_t y = 0; y < frame.height; ++y) {
        const std::uint8_t* row = frame.data.data() + y * frame.pitch;
        if (frame.pixel_format == "rgba8888") {
            std::memcpy(at, row, std::size_t{frame.width} * 4);
            at += std::size_t{frame.width} * 4;
            continue;
        }
        for (std::uint32_t x = 0; x < frame.width; ++x) {
            const Rgba px = reference_pixel(frame.pixel_format, row + x * bpp);
            *at++ = px.r;
            *at++ = px.g;
            *at++ = px.b;
            *at++ = px.a;
        }
    }
    return out;
}

// A frame of `label` with pixels that look like a game screen: flat bands, an
// 8x8 tile pattern, a few sprites and some noise. Rows carry `padding` bytes
// filled with `padding_value`.
inline VideoFrame game_like_frame(const std::string& label, std::uint32_t width,
                                  std::uint32_t height, std::size_t padding = 0,
                                  std::uint8_t padding_value = 0xA5, std::uint32_t seed = 1) {
    const std::size_t bpp = bytes_per_pixel_of(label);
    const std::size_t pitch = width * bpp + padding;
    std::vector<std::uint8_t> bytes(pitch * height, padding_value);
    std::mt19937 random(seed);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            std::uint32_t value;
            if (y < height / 4) {
                value = 0x3C5A7E10u;  // sky band
            } else if (((x / 8) + (y / 8)) % 3 == 0) {
                value = 0x11223344u * ((x / 8) % 5 + 1);  // tiles
            } else if ((x * 7 + y * 3) % 97 < 5) {
                value = static_cast<std::uint32_t>(random());  // noise
            } else {
                value = 0x00804020u + (y / 16) * 0x010101u;  // ground bands
            }
            std::memcpy(bytes.data() + y * pitch + x * bpp, &value, bpp);
        }
    }
    return make_frame(label, std::move(bytes), pitch, width, height);
}

struct DecodedPng {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> rgba;
};

// Decodes with libpng into 8-bit RGBA; nullopt (with the reason logged) when
// libpng rejects the file.
inline std::optional<DecodedPng> decode_png(std::span<const std::uint8_t> file) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_memory(&image, file.data(), file.size()) == 0) {
        ADD_FAILURE() << "libpng: " << image.message;
        return std::nullopt;
    }
    image.format = PNG_FORMAT_RGBA;
    DecodedPng decoded;
    decoded.width = image.width;
    decoded.height = image.height;
    decoded.rgba.resize(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, decoded.rgba.data(), 0, nullptr) == 0) {
        ADD_FAILURE() << "libpng: " << image.message;
        png_image_free(&image);
        return std::nullopt;
    }
    return decoded;
}

}  // namespace lk::test
