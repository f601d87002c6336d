#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

#include "video/queued_video_frame.hpp"

namespace lk {

// The one-frame slot between a video sink (the runtime thread) and its
// worker thread. The mutex is held only to move a frame in or out and to flip
// the flags; pixels are never touched under it.
//
// Two hand-over policies share it: the PNG sink replaces a waiting frame with
// the newest one (`replace_pending`, `take_next_frame`); the raw stream sink
// refuses frames while one waits or is being sent (`offer_if_idle`,
// `take_next_frame_within`, `finish_in_flight`).
class VideoWorkerQueue {
  public:
    // Puts `frame` into the slot and returns the frame it replaced, if any.
    std::optional<QueuedVideoFrame> replace_pending(QueuedVideoFrame frame);

    // Whether a frame waits in the slot or the worker holds one.
    [[nodiscard]] bool is_busy() const;

    // Stores the frame built by `make` when nothing waits or is in flight, and
    // returns whether it did. `make` runs only when the frame is taken, under
    // the lock, so it must be cheap (no pixel work).
    template <class MakeFrame>
    bool offer_if_idle(MakeFrame&& make) {
        const std::lock_guard lock(mutex_);
        if (pending_.has_value() || in_flight_) {
            return false;
        }
        pending_ = std::forward<MakeFrame>(make)();
        ready_.notify_one();
        return true;
    }

    // The waiting frame, waiting for one if need be; nothing once a stop was
    // requested and the slot is empty (a waiting frame still goes out).
    std::optional<QueuedVideoFrame> take_next_frame();

    // The waiting frame, waiting at most `timeout` for one unless a stop was
    // requested. A frame taken is marked in flight until `finish_in_flight`.
    // Nothing comes back when no frame arrived; `stop_requested` then tells
    // whether the worker should end.
    std::optional<QueuedVideoFrame> take_next_frame_within(std::chrono::milliseconds timeout,
                                                           bool& stop_requested);

    // The worker is done with the frame it took.
    void finish_in_flight();

    void request_stop();

    // Set by the worker when an exception ended it; read after joining it.
    std::atomic<bool> panicked{false};

  private:
    mutable std::mutex mutex_;
    std::condition_variable ready_;            // a frame arrived, a stop or a finish happened
    std::optional<QueuedVideoFrame> pending_;  // guarded by mutex_; one slot, never more
    bool in_flight_ = false;                   // guarded by mutex_
    bool stop_requested_ = false;              // guarded by mutex_
};

}  // namespace lk
