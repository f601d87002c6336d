#pragma once

#include <cstdint>
#include <vector>

#include "common/error.hpp"
#include "video/video_frame.hpp"

namespace lk {

// Turns a frame into an image file.
class ScreenshotEncoder {
  public:
    ScreenshotEncoder() = default;
    ScreenshotEncoder(const ScreenshotEncoder&) = default;
    ScreenshotEncoder& operator=(const ScreenshotEncoder&) = default;
    virtual ~ScreenshotEncoder() = default;

    // The bytes of a complete PNG file.
    virtual Result<std::vector<std::uint8_t>> encode_png(const VideoFrame& frame) const = 0;
};

}  // namespace lk
