#pragma once

#include "common/error.hpp"
#include "video/video_frame.hpp"

namespace lk {

// Where the runtime thread delivers frames. A sink is created on the main
// thread, then moved to the runtime thread, which is its only caller. Sinks
// that deliver in the background keep their own locking.
class VideoSink {
  public:
    VideoSink() = default;
    VideoSink(const VideoSink&) = delete;
    VideoSink& operator=(const VideoSink&) = delete;
    virtual ~VideoSink() = default;

    // Whether a frame pushed now would be accepted. No side effects: the
    // runtime asks before an expensive hardware readback.
    [[nodiscard]] virtual bool wants_frame() const = 0;

    // Hands one frame over; the sink owns it whether it keeps or drops it.
    virtual Status push_frame(VideoFrame frame) = 0;

    // Caps the rate of accepted frames. Sinks without a cap ignore it.
    virtual Status set_maximum_frames_per_second(double /*fps*/) { return {}; }

    // Ends background work and waits for it. Called once, before the sink is
    // discarded; no frame is pushed afterwards.
    virtual Status stop() = 0;
};

}  // namespace lk
