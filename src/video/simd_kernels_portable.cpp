// Plain C++ versions of the pixel kernels. Written as simple per-pixel word
// arithmetic so that an optimising build vectorises them with the baseline
// instruction set.
#include <cstring>

#include "video/simd_kernels.hpp"

namespace lk {
namespace {

inline std::uint32_t load_u16(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8);
}

inline std::uint32_t load_u32(const std::uint8_t* p) {
    std::uint32_t value;
    std::memcpy(&value, p, sizeof value);
    return value;  // x86-64 is little-endian
}

inline void store_u32(std::uint8_t* p, std::uint32_t value) {
    std::memcpy(p, &value, sizeof value);
}

inline std::uint32_t expand5(std::uint32_t v) {
    return (v << 3) | (v >> 2);
}
inline std::uint32_t expand6(std::uint32_t v) {
    return (v << 2) | (v >> 4);
}

inline std::uint32_t rgba_word(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return r | (g << 8) | (b << 16) | 0xFF000000u;
}

void convert_rgb1555_row(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst,
                         std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) {
        const std::uint32_t w = load_u16(src + 2 * i);
        store_u32(dst + 4 * i,
                  rgba_word(expand5((w >> 10) & 31), expand5((w >> 5) & 31), expand5(w & 31)));
    }
}

void convert_xrgb8888_row(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst,
                          std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) {
        const std::uint32_t w = load_u32(src + 4 * i);
        store_u32(dst + 4 * i,
                  ((w >> 16) & 0xFF) | (w & 0xFF00) | ((w & 0xFF) << 16) | 0xFF000000u);
    }
}

void convert_rgb565_row(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst,
                        std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) {
        const std::uint32_t w = load_u16(src + 2 * i);
        store_u32(dst + 4 * i,
                  rgba_word(expand5(w >> 11), expand6((w >> 5) & 63), expand5(w & 31)));
    }
}

void copy_rgba8888_row(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst,
                       std::size_t width) {
    std::memcpy(dst, src, width * 4);
}

void sub_filter_row(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst,
                    std::size_t size) {
    const std::size_t head = size < 4 ? size : 4;
    for (std::size_t i = 0; i < head; ++i) {
        dst[i] = src[i];
    }
    for (std::size_t i = 4; i < size; ++i) {
        dst[i] = static_cast<std::uint8_t>(src[i] - src[i - 4]);
    }
}

std::size_t zero_run_length(const std::uint8_t* data, std::size_t size) {
    std::size_t i = 0;
    while (i + 8 <= size) {
        std::uint64_t word;
        std::memcpy(&word, data + i, sizeof word);
        if (word != 0) {
            return i + static_cast<std::size_t>(__builtin_ctzll(word) / 8);
        }
        i += 8;
    }
    while (i < size && data[i] == 0) {
        ++i;
    }
    return i;
}

constexpr SimdKernels kPortable{
    "portable",
    {convert_rgb1555_row, convert_xrgb8888_row, convert_rgb565_row, copy_rgba8888_row},
    sub_filter_row,
    zero_run_length,
};

}  // namespace

const SimdKernels& portable_simd_kernels() {
    return kPortable;
}

}  // namespace lk
