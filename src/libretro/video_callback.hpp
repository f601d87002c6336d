#pragma once

#include <cstddef>
#include <optional>

#include "video/video_frame.hpp"

namespace lk::callback_bridge {

// C-callable retro_video_refresh_t. Keeps a copy of a software frame as the
// current frame (labelled with the core's pixel format), or marks a hardware
// frame for readback. NULL data, a zero size or a size that overflows leaves
// the previous frame in place.
void video_refresh_callback(const void* data, unsigned width, unsigned height, std::size_t pitch);

// The current frame, leaving the slot empty.
std::optional<VideoFrame> take_current_frame();

// A copy of the current frame that shares its pixel bytes; the slot keeps it.
std::optional<VideoFrame> clone_current_frame();

}  // namespace lk::callback_bridge
