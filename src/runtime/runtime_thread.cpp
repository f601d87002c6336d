#include "runtime/runtime_thread.hpp"

#include <cxxabi.h>

#include "common/panic_report.hpp"

namespace lk {

RuntimeThread::RuntimeThread(std::move_only_function<void()> body)
    : panicked_(std::make_shared<std::atomic<bool>>(false)) {
    thread_ = std::thread([panicked = panicked_, run = std::move(body)]() mutable {
        try {
            run();
        } catch (...) {
            panicked->store(true, std::memory_order_release);
            // A thread ended from below (pthread_exit or cancellation inside a
            // core) unwinds with a foreign exception that must go on.
            if (abi::__cxa_current_exception_type() == nullptr) {
                report_panic("runtime thread", "the thread was ended while running the core");
                throw;
            }
            report_panic("runtime thread", describe_exception(std::current_exception()));
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
