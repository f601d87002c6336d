#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "common/error.hpp"
#include "video/video_worker_queue.hpp"

namespace lk {

// The thread behind a video sink. An exception that escapes the worker's body
// is reported on standard error and remembered in the queue, so that `stop`
// can tell a crashed worker from one that ended normally.
class VideoWorkerThread {
  public:
    VideoWorkerThread() = default;

    // Starts `body` on a new thread; fails with the system's reason when no
    // thread can be started. `where` names the worker in the panic report.
    static Result<VideoWorkerThread> start(std::shared_ptr<VideoWorkerQueue> queue,
                                           std::string_view where, std::function<void()> body);

    // Requests a stop through the queue and waits for the thread. Fails with
    // `panic_message` when the worker ended by an exception. Later calls
    // succeed and do nothing.
    Status stop(std::string_view panic_message);

  private:
    std::shared_ptr<VideoWorkerQueue> queue_;
    std::thread thread_;
};

}  // namespace lk
