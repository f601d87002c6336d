#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "video/video_frame.hpp"

namespace lk {

// A frame accepted by a sink and waiting for (or held by) its worker.
struct QueuedVideoFrame {
    VideoFrame frame;
    std::string session_id;
    std::chrono::steady_clock::time_point queued_at;
    std::uint64_t frame_index = 0;
};

}  // namespace lk
