// AVX2 versions of the pixel kernels. Only functions marked with the avx2
// target use AVX2 instructions, and nothing here instantiates a shared inline
// or template function, so the rest of the program stays runnable on any
// x86-64 machine; the table is handed out only after a CPU check.
#include <immintrin.h>

#include "video/simd_kernels.hpp"

#define LK_AVX2 __attribute__((target("avx2")))

namespace lk {
namespace {

// Scalar pixel helpers shared by the vector loops' tails.
LK_AVX2 inline std::uint32_t expand5(std::uint32_t v) {
    return (v << 3) | (v >> 2);
}
LK_AVX2 inline std::uint32_t expand6(std::uint32_t v) {
    return (v << 2) | (v >> 4);
}
LK_AVX2 inline void store_rgba(std::uint8_t* dst, std::uint32_t r, std::uint32_t g,
                               std::uint32_t b) {
    const std::uint32_t word = r | (g << 8) | (b << 16) | 0xFF000000u;
    __builtin_memcpy(dst, &word, sizeof word);
}

LK_AVX2 inline __m256i expand5_epi16(__m256i v) {
    return _mm256_or_si256(_mm256_slli_epi16(v, 3), _mm256_srli_epi16(v, 2));
}

// Interleaves 16 pixels held as (red | green << 8) and (blue | alpha << 8)
// 16-bit lanes into 64 RGBA bytes at `dst`.
LK_AVX2 inline void store_16_pixels(std::uint8_t* dst, __m256i red_green, __m256i blue_alpha) {
    const __m256i low = _mm256_unpacklo_epi16(red_green, blue_alpha);   // pixels 0-3, 8-11
    const __m256i high = _mm256_unpackhi_epi16(red_green, blue_alpha);  // pixels 4-7, 12-15
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst),
                        _mm256_permute2x128_si256(low, high, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 32),
                        _mm256_permute2x128_si256(low, high, 0x31));
}

LK_AVX2 void convert_rgb1555_row(const std::uint8_t* src, std::uint8_t* dst, std::size_t width) {
    const __m256i five_bits = _mm256_set1_epi16(31);
    const __m256i alpha = _mm256_set1_epi16(static_cast<short>(0xFF00));
    std::size_t i = 0;
    for (; i + 16 <= width; i += 16) {
        const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 2 * i));
        const __m256i r = expand5_epi16(_mm256_and_si256(_mm256_srli_epi16(w, 10), five_bits));
        const __m256i g = expand5_epi16(_mm256_and_si256(_mm256_srli_epi16(w, 5), five_bits));
        const __m256i b = expand5_epi16(_mm256_and_si256(w, five_bits));
        store_16_pixels(dst + 4 * i, _mm256_or_si256(r, _mm256_slli_epi16(g, 8)),
                        _mm256_or_si256(b, alpha));
    }
    for (; i < width; ++i) {
        const std::uint32_t w = std::uint32_t{src[2 * i]} | (std::uint32_t{src[2 * i + 1]} << 8);
        store_rgba(dst + 4 * i, expand5((w >> 10) & 31), expand5((w >> 5) & 31), expand5(w & 31));
    }
}

LK_AVX2 void convert_rgb565_row(const std::uint8_t* src, std::uint8_t* dst, std::size_t width) {
    const __m256i five_bits = _mm256_set1_epi16(31);
    const __m256i six_bits = _mm256_set1_epi16(63);
    const __m256i alpha = _mm256_set1_epi16(static_cast<short>(0xFF00));
    std::size_t i = 0;
    for (; i + 16 <= width; i += 16) {
        const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 2 * i));
        const __m256i r = expand5_epi16(_mm256_srli_epi16(w, 11));
        const __m256i g6 = _mm256_and_si256(_mm256_srli_epi16(w, 5), six_bits);
        const __m256i g = _mm256_or_si256(_mm256_slli_epi16(g6, 2), _mm256_srli_epi16(g6, 4));
        const __m256i b = expand5_epi16(_mm256_and_si256(w, five_bits));
        store_16_pixels(dst + 4 * i, _mm256_or_si256(r, _mm256_slli_epi16(g, 8)),
                        _mm256_or_si256(b, alpha));
    }
    for (; i < width; ++i) {
        const std::uint32_t w = std::uint32_t{src[2 * i]} | (std::uint32_t{src[2 * i + 1]} << 8);
        store_rgba(dst + 4 * i, expand5(w >> 11), expand6((w >> 5) & 63), expand5(w & 31));
    }
}

LK_AVX2 void convert_xrgb8888_row(const std::uint8_t* src, std::uint8_t* dst, std::size_t width) {
    // Bytes B G R x become R G B 255.
    const __m256i order = _mm256_setr_epi8(2, 1, 0, -1, 6, 5, 4, -1, 10, 9, 8, -1, 14, 13, 12, -1,
                                           2, 1, 0, -1, 6, 5, 4, -1, 10, 9, 8, -1, 14, 13, 12, -1);
    const __m256i alpha = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    std::size_t i = 0;
    for (; i + 8 <= width; i += 8) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 4 * i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 4 * i),
                            _mm256_or_si256(_mm256_shuffle_epi8(v, order), alpha));
    }
    for (; i < width; ++i) {
        store_rgba(dst + 4 * i, src[4 * i + 2], src[4 * i + 1], src[4 * i]);
    }
}

LK_AVX2 void copy_rgba8888_row(const std::uint8_t* src, std::uint8_t* dst, std::size_t width) {
    __builtin_memcpy(dst, src, width * 4);
}

LK_AVX2 void sub_filter_row(const std::uint8_t* src, std::uint8_t* dst, std::size_t size) {
    std::size_t i = 0;
    for (; i < size && i < 4; ++i) {
        dst[i] = src[i];
    }
    for (; i + 32 <= size; i += 32) {
        const __m256i cur = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
        const __m256i left = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i - 4));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), _mm256_sub_epi8(cur, left));
    }
    for (; i < size; ++i) {
        dst[i] = static_cast<std::uint8_t>(src[i] - src[i - 4]);
    }
}

LK_AVX2 std::size_t zero_run_length(const std::uint8_t* data, std::size_t size) {
    const __m256i zero = _mm256_setzero_si256();
    std::size_t i = 0;
    for (; i + 32 <= size; i += 32) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i));
        const auto zero_mask =
            static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, zero)));
        if (zero_mask != 0xFFFFFFFFu) {
            return i + static_cast<std::size_t>(__builtin_ctz(~zero_mask));
        }
    }
    while (i < size && data[i] == 0) {
        ++i;
    }
    return i;
}

constexpr SimdKernels kAvx2{
    "avx2",
    {convert_rgb1555_row, convert_xrgb8888_row, convert_rgb565_row, copy_rgba8888_row},
    sub_filter_row,
    zero_run_length,
};

}  // namespace

const SimdKernels* avx2_simd_kernels() {
    // Safe to repeat; needed when this runs before the runtime's own CPU
    // detection (for example from a static initialiser).
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? &kAvx2 : nullptr;
}

}  // namespace lk
