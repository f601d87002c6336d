#pragma once

#include <cstdint>

#include "common/error.hpp"
#include "video/video_frame.hpp"

namespace lk {

// The address of a GL function, as handed to a core.
using HardwareProcAddress = void (*)();

// One offscreen rendering context that a core draws into. Used only on the
// runtime thread. None of its operations calls into the core, so the callback
// bridge may call them while it holds the callback state lock.
class HardwareRenderContext {
  public:
    virtual ~HardwareRenderContext() = default;

    // Reads back the rendered frame of the given size as an "rgba8888" frame.
    virtual Result<VideoFrame> capture_frame(std::uint32_t width, std::uint32_t height) = 0;
    // The framebuffer object the core renders into; 0 once destroyed.
    virtual std::uint32_t current_framebuffer_id() = 0;
    // Grows the framebuffer to at least this size (it never shrinks).
    virtual Status ensure_framebuffer_size(std::uint32_t width, std::uint32_t height) = 0;
    // The GL function of that name, or null.
    virtual HardwareProcAddress proc_address(const char* name) = 0;
    // Makes the context current on the calling thread.
    virtual Status reset() = 0;
    // Releases every resource; later calls do nothing.
    virtual void destroy() = 0;
};

}  // namespace lk
