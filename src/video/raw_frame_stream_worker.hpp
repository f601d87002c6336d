#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/error.hpp"
#include "common/unique_fd.hpp"
#include "video/video_worker_queue.hpp"
#include "video/video_worker_summary.hpp"

namespace lk {

// The worker thread of the raw frame stream: it owns the listening socket and
// at most one authenticated client, takes frames from the queue, converts
// them to RGBA and writes one message per frame. While no client streams, it
// polls the listener about every 16 ms and drops the frames it takes.
class RawFrameStreamWorker {
  public:
    RawFrameStreamWorker(UniqueFd listener, std::string token,
                         std::shared_ptr<VideoWorkerQueue> queue, bool debug_logs,
                         std::chrono::milliseconds write_timeout);

    // Serves until a stop is requested and no frame waits; then closes the
    // client and the listener.
    void run();

  private:
    // Accepts one waiting connection, if any, and authenticates it.
    void poll_listener();
    // Reads the client's token line and compares it with ours.
    Status authenticate(int fd) const;
    // Converts and writes one frame to the client.
    Result<VideoWorkerTimings> send_frame(const QueuedVideoFrame& queued);

    // Everything is owned by the worker thread; `queue_` has its own lock.
    UniqueFd listener_;
    UniqueFd client_;
    std::string token_;
    std::shared_ptr<VideoWorkerQueue> queue_;
    bool debug_logs_;
    std::chrono::milliseconds write_timeout_;
    VideoWorkerSummary summary_;
    std::vector<std::uint8_t> prefix_;  // header, session id and label, reused
};

}  // namespace lk
