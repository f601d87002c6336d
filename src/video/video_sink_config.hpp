#pragma once

#include <string>

namespace lk {

// What the ROM-loading flow tells a video sink factory about the session being
// started. The sinks read only `session_id`.
struct VideoSinkConfig {
    std::string core_id;
    std::string platform_id;
    double hardware_render_frame_rate_limit = 60.0;
    std::string session_id;
    std::string video_performance_mode;
};

}  // namespace lk
