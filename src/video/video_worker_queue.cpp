#include "video/video_worker_queue.hpp"

#include <utility>

namespace lk {

std::optional<QueuedVideoFrame> VideoWorkerQueue::replace_pending(QueuedVideoFrame frame) {
    std::optional<QueuedVideoFrame> replaced;
    {
        const std::lock_guard lock(mutex_);
        replaced = std::exchange(pending_, std::move(frame));
        ready_.notify_one();
    }
    return replaced;
}

bool VideoWorkerQueue::is_busy() const {
    const std::lock_guard lock(mutex_);
    return pending_.has_value() || in_flight_;
}

std::optional<QueuedVideoFrame> VideoWorkerQueue::take_next_frame() {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [this] { return pending_.has_value() || stop_requested_; });
    return std::exchange(pending_, std::nullopt);
}

std::optional<QueuedVideoFrame> VideoWorkerQueue::take_next_frame_within(
    std::chrono::milliseconds timeout, bool& stop_requested) {
    std::unique_lock lock(mutex_);
    if (!pending_.has_value() && !stop_requested_) {
        ready_.wait_for(lock, timeout, [this] { return pending_.has_value() || stop_requested_; });
    }
    stop_requested = stop_requested_;
    std::optional<QueuedVideoFrame> taken = std::exchange(pending_, std::nullopt);
    if (taken) {
        in_flight_ = true;
    }
    return taken;
}

void VideoWorkerQueue::finish_in_flight() {
    const std::lock_guard lock(mutex_);
    in_flight_ = false;
    ready_.notify_one();
}

void VideoWorkerQueue::request_stop() {
    const std::lock_guard lock(mutex_);
    stop_requested_ = true;
    ready_.notify_one();
}

}  // namespace lk
