#include "video/null_video_sink.hpp"

#include <limits>

namespace lk {

Status NullVideoSink::push_frame(VideoFrame frame) {
    static_cast<void>(frame);  // Dropped here: its reference to the pixels ends.
    if (frames_received_ != std::numeric_limits<std::uint64_t>::max()) {
        ++frames_received_;
    }
    return {};
}

std::unique_ptr<VideoSink> NullVideoSinkFactory::create_video_sink(const VideoSinkConfig&) {
    return std::make_unique<NullVideoSink>();
}

}  // namespace lk
