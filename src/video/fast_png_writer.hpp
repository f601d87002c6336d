#pragma once

#include <cstdint>
#include <vector>

#include "common/error.hpp"
#include "video/frame_layout.hpp"
#include "video/simd_kernels.hpp"

namespace lk {

// Encodes a checked frame as an RGBA PNG built for speed: every row uses the
// Sub filter, and the zlib stream is a single deflate block with a Huffman
// table made for this image from a sample of its rows. The only matches are
// runs of zero bytes (flat areas after filtering), at distance 1. Rows are
// converted and filtered one at a time in a small buffer, so the whole image
// is never converted in memory.
Result<std::vector<std::uint8_t>> encode_fast_png(const FrameLayout& layout,
                                                  const SimdKernels& kernels);

}  // namespace lk
