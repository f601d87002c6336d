#pragma once

// Small thread-safe channels shared by the subsystems:
//  - make_channel<T>(): unbounded multi-producer single-consumer queue;
//  - make_bounded_channel<T>(n): the same, whose try_send drops when n are queued;
//  - make_oneshot<T>(): one value, whose receiver sees a sender dropped without one.
// A receiver sees "closed" once every sender is gone and the queue is empty;
// a sender sees "closed" once the receiver is gone.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace lk {

enum class SendStatus { sent, full, closed };
enum class RecvStatus { received, empty, timed_out, closed };

namespace detail {

template <class T>
struct ChannelState {
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<T> queue;         // guarded by mutex
    std::size_t capacity = 0;    // 0 = unbounded; fixed at creation
    std::size_t senders = 0;     // guarded by mutex
    bool receiver_alive = true;  // guarded by mutex
};

}  // namespace detail

template <class T>
class Receiver;

template <class T>
class Sender {
  public:
    Sender() = default;
    explicit Sender(std::shared_ptr<detail::ChannelState<T>> state) : state_(std::move(state)) {
        if (state_) {
            const std::lock_guard lock(state_->mutex);
            ++state_->senders;
        }
    }
    Sender(const Sender& other) : Sender(other.state_) {}
    Sender(Sender&& other) noexcept : state_(std::move(other.state_)) {}
    Sender& operator=(Sender other) noexcept {
        std::swap(state_, other.state_);
        return *this;
    }
    ~Sender() { reset(); }

    // Blocks never. On an unbounded channel the result is sent or closed.
    SendStatus try_send(T value) {
        if (!state_) {
            return SendStatus::closed;
        }
        {
            const std::lock_guard lock(state_->mutex);
            if (!state_->receiver_alive) {
                return SendStatus::closed;
            }
            if (state_->capacity != 0 && state_->queue.size() >= state_->capacity) {
                return SendStatus::full;
            }
            state_->queue.push_back(std::move(value));
        }
        state_->ready.notify_one();
        return SendStatus::sent;
    }

    bool send(T value) { return try_send(std::move(value)) == SendStatus::sent; }

    void reset() {
        if (!state_) {
            return;
        }
        bool last = false;
        {
            const std::lock_guard lock(state_->mutex);
            last = --state_->senders == 0;
        }
        if (last) {
            state_->ready.notify_all();
        }
        state_.reset();
    }

    [[nodiscard]] bool is_closed() const {
        if (!state_) {
            return true;
        }
        const std::lock_guard lock(state_->mutex);
        return !state_->receiver_alive;
    }

  private:
    std::shared_ptr<detail::ChannelState<T>> state_;
};

template <class T>
class Receiver {
  public:
    Receiver() = default;
    explicit Receiver(std::shared_ptr<detail::ChannelState<T>> state) : state_(std::move(state)) {}
    Receiver(const Receiver&) = delete;
    Receiver& operator=(const Receiver&) = delete;
    Receiver(Receiver&& other) noexcept = default;
    Receiver& operator=(Receiver&& other) noexcept {
        if (this != &other) {
            close();
            state_ = std::move(other.state_);
        }
        return *this;
    }
    ~Receiver() { close(); }

    // Waits without limit; nothing when the channel is closed and drained.
    std::optional<T> recv() {
        if (!state_) {
            return std::nullopt;
        }
        std::unique_lock lock(state_->mutex);
        state_->ready.wait(lock, [&] { return !state_->queue.empty() || state_->senders == 0; });
        return pop_locked();
    }

    RecvStatus try_recv(T& out) {
        if (!state_) {
            return RecvStatus::closed;
        }
        const std::lock_guard lock(state_->mutex);
        return take_locked(out, RecvStatus::empty);
    }

    template <class Rep, class Period>
    RecvStatus recv_for(T& out, std::chrono::duration<Rep, Period> timeout) {
        if (!state_) {
            return RecvStatus::closed;
        }
        std::unique_lock lock(state_->mutex);
        state_->ready.wait_for(lock, timeout,
                               [&] { return !state_->queue.empty() || state_->senders == 0; });
        return take_locked(out, RecvStatus::timed_out);
    }

    void close() {
        if (!state_) {
            return;
        }
        std::deque<T> dropped;
        {
            const std::lock_guard lock(state_->mutex);
            state_->receiver_alive = false;
            dropped.swap(state_->queue);
        }
        state_.reset();
    }

    [[nodiscard]] bool valid() const { return state_ != nullptr; }

  private:
    std::optional<T> pop_locked() {
        if (state_->queue.empty()) {
            return std::nullopt;
        }
        std::optional<T> value(std::move(state_->queue.front()));
        state_->queue.pop_front();
        return value;
    }

    RecvStatus take_locked(T& out, RecvStatus when_empty) {
        if (!state_->queue.empty()) {
            out = std::move(state_->queue.front());
            state_->queue.pop_front();
            return RecvStatus::received;
        }
        return state_->senders == 0 ? RecvStatus::closed : when_empty;
    }

    std::shared_ptr<detail::ChannelState<T>> state_;
};

template <class T>
std::pair<Sender<T>, Receiver<T>> make_channel() {
    auto state = std::make_shared<detail::ChannelState<T>>();
    return {Sender<T>(state), Receiver<T>(state)};
}

template <class T>
std::pair<Sender<T>, Receiver<T>> make_bounded_channel(std::size_t capacity) {
    auto state = std::make_shared<detail::ChannelState<T>>();
    state->capacity = capacity == 0 ? 1 : capacity;
    return {Sender<T>(state), Receiver<T>(state)};
}

// A one-shot channel: the sender is moved, not copied, and sends at most once.
template <class T>
class OneshotSender {
  public:
    OneshotSender() = default;
    explicit OneshotSender(Sender<T> sender) : sender_(std::move(sender)) {}
    OneshotSender(const OneshotSender&) = delete;
    OneshotSender& operator=(const OneshotSender&) = delete;
    OneshotSender(OneshotSender&&) noexcept = default;
    OneshotSender& operator=(OneshotSender&&) noexcept = default;

    // Sends the value and gives up the sender; false when the receiver is gone.
    bool send(T value) {
        const bool sent = sender_.send(std::move(value));
        sender_.reset();
        return sent;
    }

  private:
    Sender<T> sender_;
};

template <class T>
using OneshotReceiver = Receiver<T>;

template <class T>
std::pair<OneshotSender<T>, OneshotReceiver<T>> make_oneshot() {
    auto [sender, receiver] = make_bounded_channel<T>(1);
    return {OneshotSender<T>(std::move(sender)), std::move(receiver)};
}

}  // namespace lk
