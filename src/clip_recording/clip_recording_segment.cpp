#include "clip_recording/clip_recording_segment.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include <fmt/format.h>

#include "common/saturating.hpp"

namespace lk {

std::string clip_segment_directory_name(std::uint64_t index) {
    return fmt::format("segment-{:08}", index);
}

std::string clip_frame_file_name(std::uint64_t index) {
    return fmt::format("frame-{:08}.png", index);
}

double clip_segment_duration_seconds(std::uint64_t video_frames, double capture_rate,
                                     std::uint64_t audio_frames, std::uint32_t sample_rate) {
    const double video =
        std::isfinite(capture_rate) && capture_rate > std::numeric_limits<double>::epsilon()
            ? static_cast<double>(video_frames) / capture_rate
            : 0.0;
    const double audio = sample_rate == 0
                             ? 0.0
                             : static_cast<double>(audio_frames) / static_cast<double>(sample_rate);
    return std::max(video, audio);
}

}  // namespace lk
