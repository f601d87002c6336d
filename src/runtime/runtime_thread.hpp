#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace lk {

// A runtime thread whose abnormal end (an exception that escaped its body) is
// observable after joining. Owned by the handle that controls the thread.
class RuntimeThread {
  public:
    RuntimeThread() = default;
    // Starts `body` on a new thread; an escaping exception is reported on
    // stderr and marks the thread as panicked.
    explicit RuntimeThread(std::move_only_function<void()> body);

    [[nodiscard]] bool joinable() const { return thread_.joinable(); }
    // Joins; true when the body ended abnormally.
    bool join_and_check_panicked();

  private:
    std::thread thread_;
    std::shared_ptr<std::atomic<bool>> panicked_;  // written by the thread, read after join
};

}  // namespace lk
