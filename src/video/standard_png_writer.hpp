#pragma once

#include <cstdint>
#include <vector>

#include "common/error.hpp"
#include "video/frame_layout.hpp"
#include "video/simd_kernels.hpp"

namespace lk {

// Encodes a checked frame as an RGBA PNG built for size: each row takes the
// filter (None, Sub, Up, Average or Paeth) whose output, read as signed bytes,
// has the smallest sum of absolute values, and the filtered image is
// compressed by zlib-format deflate at level 6.
Result<std::vector<std::uint8_t>> encode_standard_png(const FrameLayout& layout,
                                                      const SimdKernels& kernels);

}  // namespace lk
