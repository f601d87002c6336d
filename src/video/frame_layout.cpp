#include "video/frame_layout.hpp"

namespace lk {

Result<FrameLayout> check_frame_layout(const VideoFrame& frame, PixelFormat format) {
    const std::uint64_t visible = std::uint64_t{frame.width} * format.bytes_per_pixel();
    if (frame.pitch < visible) {
        return fail("Frame pitch is smaller than visible width.", ErrorKind::invalid_data);
    }
    // Bytes needed: (height - 1) × pitch + visible. An overflow means no
    // buffer could be long enough.
    std::uint64_t required = 0;
    bool too_large = false;
    if (frame.height > 0) {
        std::uint64_t last_row_start = 0;
        too_large =
            __builtin_mul_overflow(std::uint64_t{frame.height} - 1, frame.pitch, &last_row_start) ||
            __builtin_add_overflow(last_row_start, visible, &required);
    }
    if (too_large || frame.data.size() < required) {
        return fail("Frame data is shorter than expected.", ErrorKind::invalid_data);
    }
    FrameLayout layout;
    layout.format = format;
    layout.data = frame.data.data();
    layout.pitch = static_cast<std::size_t>(frame.pitch);
    layout.visible_row_bytes = static_cast<std::size_t>(visible);
    layout.width = frame.width;
    layout.height = frame.height;
    return layout;
}

}  // namespace lk
