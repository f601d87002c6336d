#include "video/png_screenshot_encoder.hpp"

#include <new>

#include "video/fast_png_writer.hpp"
#include "video/frame_layout.hpp"
#include "video/standard_png_writer.hpp"

namespace lk {

PngScreenshotEncoder::PngScreenshotEncoder(bool fast_mode)
    : PngScreenshotEncoder(fast_mode, best_simd_kernels()) {}

PngScreenshotEncoder::PngScreenshotEncoder(bool fast_mode, const SimdKernels& kernels)
    : fast_mode_(fast_mode), kernels_(&kernels) {}

Result<std::vector<std::uint8_t>> PngScreenshotEncoder::encode_png(const VideoFrame& frame) const {
    auto format = PixelFormat::from_label(frame.pixel_format);
    if (!format) {
        return std::unexpected(std::move(format.error()));
    }
    // The writers read the frame in place, converting one row at a time.
    auto layout = check_frame_layout(frame, *format);
    if (!layout) {
        return std::unexpected(std::move(layout.error()));
    }
    try {
        return fast_mode_ ? encode_fast_png(*layout, *kernels_)
                          : encode_standard_png(*layout, *kernels_);
    } catch (const std::bad_alloc&) {
        return fail("Not enough memory to encode the PNG image.");
    }
}

}  // namespace lk
