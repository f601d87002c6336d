#include "libretro/video_callback.hpp"

#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

#include "libretro/abi.hpp"
#include "libretro/callback_runtime_state.hpp"

namespace lk::callback_bridge {

void video_refresh_callback(const void* data, unsigned width, unsigned height, std::size_t pitch) {
    try {
        {
            CallbackStateLock state;
            if (state->av_output_suppressed) {
                return;
            }
        }
        if (retro::is_hw_frame_buffer_valid(data)) {
            if (width != 0 && height != 0) {
                CallbackStateLock state;
                state->pending_hardware_frame = PendingHardwareFrame{width, height};
            }
            return;
        }
        if (data == nullptr || width == 0 || height == 0 || pitch == 0) {
            return;  // a duplicate frame: the previous picture stays
        }
        std::size_t size = 0;
        if (__builtin_mul_overflow(pitch, std::size_t{height}, &size)) {
            return;
        }
        auto bytes = std::make_unique_for_overwrite<std::uint8_t[]>(size);
        std::memcpy(bytes.get(), data, size);
        VideoFrame frame;
        frame.data = PixelBuffer::from_array(std::move(bytes), size);
        frame.pitch = pitch;
        frame.width = width;
        frame.height = height;

        std::optional<VideoFrame> replaced;
        CallbackStateLock state;
        frame.pixel_format = std::string(state->pixel_format.label());
        replaced = std::exchange(state->current_frame, std::move(frame));
    } catch (...) {
        // Out of memory or a broken lock: the frame is lost, the core goes on.
    }
}

std::optional<VideoFrame> take_current_frame() {
    CallbackStateLock state;
    return std::exchange(state->current_frame, std::nullopt);
}

std::optional<VideoFrame> clone_current_frame() {
    CallbackStateLock state;
    return state->current_frame;
}

}  // namespace lk::callback_bridge
