#include "video/video_worker_thread.hpp"

#include <exception>
#include <utility>

#include "common/panic_report.hpp"

namespace lk {

Result<VideoWorkerThread> VideoWorkerThread::start(std::shared_ptr<VideoWorkerQueue> queue,
                                                   std::string_view where,
                                                   std::function<void()> body) {
    VideoWorkerThread worker;
    worker.queue_ = queue;
    try {
        worker.thread_ = std::thread(
            [queue = std::move(queue), where = std::string(where), body = std::move(body)] {
                try {
                    body();
                } catch (...) {
                    report_panic(where, describe_exception(std::current_exception()));
                    queue->panicked.store(true, std::memory_order_release);
                }
            });
    } catch (const std::exception& error) {
        return fail(error.what());
    }
    return worker;
}

Status VideoWorkerThread::stop(std::string_view panic_message) {
    if (!thread_.joinable()) {
        return {};
    }
    queue_->request_stop();
    thread_.join();
    if (queue_->panicked.load(std::memory_order_acquire)) {
        return fail(std::string(panic_message));
    }
    return {};
}

}  // namespace lk
