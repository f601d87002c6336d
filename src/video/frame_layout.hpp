#pragma once

#include <cstddef>
#include <cstdint>

#include "common/error.hpp"
#include "video/pixel_format.hpp"
#include "video/video_frame.hpp"

namespace lk {

// A frame's geometry after checking that every visible byte lies inside its
// data. Rows are read only through `row()`, which never reaches the padding
// past the visible part of a row.
struct FrameLayout {
    PixelFormat format = PixelFormat::rgba8888;
    const std::uint8_t* data = nullptr;
    std::size_t pitch = 0;
    std::size_t visible_row_bytes = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;

    [[nodiscard]] const std::uint8_t* row(std::uint32_t index) const {
        return data + static_cast<std::size_t>(index) * pitch;
    }
    [[nodiscard]] bool is_tightly_packed_rgba() const {
        return format == PixelFormat::rgba8888 && pitch == visible_row_bytes;
    }
};

// Fails with "Frame pitch is smaller than visible width." when a row's visible
// bytes exceed the pitch, and with "Frame data is shorter than expected." when
// the data ends before the last visible byte (the last row may end exactly at
// the end of the data). Both checks run before any pixel is read.
Result<FrameLayout> check_frame_layout(const VideoFrame& frame, PixelFormat format);

}  // namespace lk
