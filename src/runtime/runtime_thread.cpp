#include "runtime/runtime_thread.hpp"

#include "common/panic_report.hpp"

namespace lk {

RuntimeThread::RuntimeThread(std::move_only_function<void()> body)
    : panicked_(std::make_shared<std::atomic<bool>>(false)) {
    thread_ = std::thread([panicked = panicked_, run = std::move(body)]() mutable {
        try {
            run();
        } catch (...) {
            report_panic("runtime thread", describe_exception(std::current_exception()));
            panicked->store(true, std::memory_order_release);
        }
    });
}

bool RuntimeThread::join_and_check_panicked() {
    if (!thread_.joinable()) {
        return false;
    }
    thread_.join();
    return panicked_->load(std::memory_order_acquire);
}

}  // namespace lk
