#pragma once

#include <cstdint>

#include "video/video_sink.hpp"
#include "video/video_sink_factory.hpp"

namespace lk {

// Wants nothing and discards whatever is pushed anyway, counting it.
class NullVideoSink final : public VideoSink {
  public:
    [[nodiscard]] bool wants_frame() const override { return false; }
    Status push_frame(VideoFrame frame) override;
    Status stop() override { return {}; }

    [[nodiscard]] std::uint64_t frames_received() const { return frames_received_; }

  private:
    // Owned by the runtime thread (the sink's only caller). Saturates.
    std::uint64_t frames_received_ = 0;
};

class NullVideoSinkFactory final : public VideoSinkFactory {
  public:
    std::unique_ptr<VideoSink> create_video_sink(const VideoSinkConfig& config) override;
};

}  // namespace lk
