#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace lk {

struct StereoFrame {
    std::int16_t left = 0;
    std::int16_t right = 0;

    friend bool operator==(const StereoFrame&, const StereoFrame&) = default;
};

// A first-in first-out queue of stereo frames on a growable ring. It grows by
// doubling when full and never shrinks, so it stops allocating once it has
// reached its working size. Growth gives the strong guarantee: if the new
// storage cannot be allocated, the ring is unchanged.
class StereoFrameRing {
  public:
    [[nodiscard]] std::size_t size() const { return size_; }
    [[nodiscard]] bool empty() const { return size_ == 0; }
    [[nodiscard]] std::size_t capacity() const { return storage_.size(); }

    void reserve(std::size_t frames) {
        if (frames > storage_.size()) {
            regrow(frames);
        }
    }

    void clear() {
        head_ = 0;
        size_ = 0;
    }

    // Appends `frames` frames from interleaved left/right samples.
    void push_back(const std::int16_t* interleaved, std::size_t frames) {
        if (size_ + frames > storage_.size()) {
            regrow(std::max({size_ + frames, storage_.size() * 2, std::size_t{64}}));
        }
        const std::size_t capacity_now = storage_.size();
        std::size_t tail = (head_ + size_) % capacity_now;
        for (std::size_t i = 0; i < frames; ++i) {
            storage_[tail] = StereoFrame{interleaved[2 * i], interleaved[2 * i + 1]};
            tail = tail + 1 == capacity_now ? 0 : tail + 1;
        }
        size_ += frames;
    }

    // Drops up to `frames` frames from the front.
    void drop_front(std::size_t frames) {
        frames = std::min(frames, size_);
        if (frames == 0) {
            return;
        }
        head_ = (head_ + frames) % storage_.size();
        size_ -= frames;
    }

    // Removes and returns the front frame; the ring must not be empty.
    StereoFrame pop_front() {
        const StereoFrame frame = storage_[head_];
        head_ = head_ + 1 == storage_.size() ? 0 : head_ + 1;
        --size_;
        return frame;
    }

    // Removes `count` frames (count <= size()) from the front into `out`.
    void pop_front(StereoFrame* out, std::size_t count) {
        const std::size_t first = std::min(count, storage_.size() - head_);
        std::copy_n(storage_.data() + head_, first, out);
        std::copy_n(storage_.data(), count - first, out + first);
        head_ = (head_ + count) % storage_.size();
        size_ -= count;
    }

  private:
    void regrow(std::size_t new_capacity) {
        std::vector<StereoFrame> grown(new_capacity);
        for (std::size_t i = 0; i < size_; ++i) {
            grown[i] = storage_[(head_ + i) % storage_.size()];
        }
        storage_.swap(grown);
        head_ = 0;
    }

    std::vector<StereoFrame> storage_;
    std::size_t head_ = 0;
    std::size_t size_ = 0;
};

}  // namespace lk
