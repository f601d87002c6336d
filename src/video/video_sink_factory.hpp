#pragma once

#include <memory>

#include "video/video_sink.hpp"
#include "video/video_sink_config.hpp"

namespace lk {

// Makes the video sink of each new session. Lives as long as the core object,
// so every session of a core gets the same kind of sink.
class VideoSinkFactory {
  public:
    VideoSinkFactory() = default;
    VideoSinkFactory(const VideoSinkFactory&) = delete;
    VideoSinkFactory& operator=(const VideoSinkFactory&) = delete;
    virtual ~VideoSinkFactory() = default;

    // A new sink owned by the caller. Never fails: a factory whose preferred
    // sink cannot be set up returns a fallback sink instead.
    virtual std::unique_ptr<VideoSink> create_video_sink(const VideoSinkConfig& config) = 0;
};

}  // namespace lk
