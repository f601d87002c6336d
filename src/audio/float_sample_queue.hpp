#pragma once

#include <algorithm>
#include <cstddef>
#include <span>
#include <vector>

namespace lk {

// An unbounded first-in first-out queue of float samples, contiguous from its
// front, so that a resampler can read a run of them in place. Its storage is
// kept between uses: once it has reached its working size it stops allocating.
class FloatSampleQueue {
  public:
    [[nodiscard]] std::size_t size() const { return end_ - head_; }

    // Makes room for `count` queued samples without further allocation.
    void reserve(std::size_t count) {
        if (count > storage_.size()) {
            compact();
            storage_.resize(count);
        }
    }

    // Room for `count` new samples at the back; the caller fills all of them.
    float* extend(std::size_t count) {
        if (end_ + count > storage_.size()) {
            compact();
            if (end_ + count > storage_.size()) {
                // Headroom, so that batches of varying size settle quickly.
                storage_.resize(2 * (end_ + count));
            }
        }
        float* const room = storage_.data() + end_;
        end_ += count;
        return room;
    }

    // The first `count` samples; count <= size().
    [[nodiscard]] std::span<const float> front(std::size_t count) const {
        return {storage_.data() + head_, count};
    }

    void consume(std::size_t count) {
        head_ += std::min(count, size());
        if (head_ == end_) {
            head_ = 0;
            end_ = 0;
        }
    }

    // Moves what is queued to the start of the storage.
    void compact() {
        if (head_ == 0) {
            return;
        }
        std::copy(storage_.begin() + static_cast<std::ptrdiff_t>(head_),
                  storage_.begin() + static_cast<std::ptrdiff_t>(end_), storage_.begin());
        end_ -= head_;
        head_ = 0;
    }

  private:
    std::vector<float> storage_;
    std::size_t head_ = 0;
    std::size_t end_ = 0;
};

}  // namespace lk
