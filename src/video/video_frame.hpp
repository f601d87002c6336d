#pragma once

#include <cstdint>
#include <string>

#include "video/pixel_buffer.hpp"

namespace lk {

// One complete frame. Handed over by value: copying a frame copies the label
// and takes another reference to the same pixel bytes, which are never
// modified once the frame is built, so a frame may move between threads.
struct VideoFrame {
    // The label of the layout of `data` ("0rgb1555", "xrgb8888", "rgb565" or
    // "rgba8888"). Kept as text: an unknown label is an error only where the
    // pixels must be decoded.
    std::string pixel_format;
    // `pitch` × `height` bytes, rows from top to bottom.
    PixelBuffer data;
    // Bytes from the start of one row to the start of the next; only the first
    // `width` × bytes-per-pixel bytes of a row are visible.
    std::uint64_t pitch = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

}  // namespace lk
