#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "video/pixel_format.hpp"

namespace lk {

// The inner loops of conversion and PNG filtering, in one table per
// instruction set. Every kernel reads exactly the bytes it is given (no
// over-read past `src + size`), so a row's padding is never touched.
struct SimdKernels {
    // Converts `width` pixels at `src` to RGBA at `dst` (`width` × 4 bytes).
    using ConvertRow = void (*)(const std::uint8_t* src, std::uint8_t* dst, std::size_t width);
    // PNG Sub filter over RGBA bytes: dst[i] = src[i] - src[i - 4], the first
    // pixel unchanged.
    using SubFilterRow = void (*)(const std::uint8_t* src, std::uint8_t* dst, std::size_t size);
    // Length of the run of zero bytes at `data` (at most `size`).
    using ZeroRunLength = std::size_t (*)(const std::uint8_t* data, std::size_t size);

    const char* name;
    std::array<ConvertRow, PixelFormat::kCount> convert_row;  // indexed by PixelFormat value
    SubFilterRow sub_filter_row;
    ZeroRunLength zero_run_length;
};

// Plain C++ kernels; run on every x86-64 machine.
const SimdKernels& portable_simd_kernels();

// AVX2 kernels, or nullptr when this CPU lacks AVX2.
const SimdKernels* avx2_simd_kernels();

// The fastest kernels this CPU supports (checked once at run time).
const SimdKernels& best_simd_kernels();

}  // namespace lk
