#include "video/rgba_conversion.hpp"

#include <memory>
#include <new>

#include "video/frame_layout.hpp"

namespace lk {

Result<PixelBuffer> convert_frame_to_tightly_packed_rgba_with_kernels(const VideoFrame& frame,
                                                                      PixelFormat format,
                                                                      const SimdKernels& kernels) {
    auto layout = check_frame_layout(frame, format);
    if (!layout) {
        return std::unexpected(std::move(layout.error()));
    }
    const std::size_t row_bytes = std::size_t{layout->width} * 4;
    const std::size_t total = row_bytes * layout->height;
    if (layout->is_tightly_packed_rgba()) {
        // The frame's own bytes; only a longer buffer is cut to size.
        return frame.data.prefix(total);
    }
    // Left uninitialised: the conversion writes every byte.
    std::unique_ptr<std::uint8_t[]> rgba(new (std::nothrow) std::uint8_t[total]);
    if (!rgba) {
        return fail("Not enough memory to convert the frame.");
    }
    const auto convert_row = kernels.convert_row[format.value()];
    for (std::uint32_t r = 0; r < layout->height; ++r) {
        convert_row(layout->row(r), rgba.get() + r * row_bytes, layout->width);
    }
    return PixelBuffer::from_array(std::move(rgba), total);
}

Result<PixelBuffer> convert_frame_to_tightly_packed_rgba_with_format(const VideoFrame& frame,
                                                                     PixelFormat format) {
    return convert_frame_to_tightly_packed_rgba_with_kernels(frame, format, best_simd_kernels());
}

}  // namespace lk
