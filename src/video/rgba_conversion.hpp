#pragma once

#include "common/error.hpp"
#include "video/pixel_buffer.hpp"
#include "video/pixel_format.hpp"
#include "video/simd_kernels.hpp"
#include "video/video_frame.hpp"

namespace lk {

// The frame as tightly packed 8-bit RGBA: width × height × 4 bytes, rows top
// to bottom. A tightly packed "rgba8888" frame comes back as its own buffer
// (no copy); every other frame is converted row by row, reading only the
// visible part of each row. Fails with "Frame pitch is smaller than visible
// width." or "Frame data is shorter than expected." before reading a pixel.
Result<PixelBuffer> convert_frame_to_tightly_packed_rgba_with_format(const VideoFrame& frame,
                                                                     PixelFormat format);

// The same with the given kernels instead of the best ones for this CPU.
Result<PixelBuffer> convert_frame_to_tightly_packed_rgba_with_kernels(const VideoFrame& frame,
                                                                      PixelFormat format,
                                                                      const SimdKernels& kernels);

}  // namespace lk
