#include "libretro/audio_callback_queue.hpp"

#include <algorithm>
#include <iterator>
#include <limits>

#include "common/saturating.hpp"

namespace lk {

std::uint64_t AudioCallbackQueue::push(AudioSampleBatch batch) {
    // Only whole stereo frames that are really there count.
    const std::uint64_t present = batch.samples.size() / 2;
    if (batch.frames > present) {
        batch.frames = present;
    }
    batch.samples.resize(static_cast<std::size_t>(batch.frames) * 2);

    std::uint64_t dropped = 0;
    if (batch.frames > max_queued_frames_) {
        const std::uint64_t excess = batch.frames - max_queued_frames_;
        batch.samples.erase(batch.samples.begin(),
                            batch.samples.begin() + static_cast<std::ptrdiff_t>(excess * 2));
        batch.frames = max_queued_frames_;
        dropped += excess;
    }
    if (queued_frames_ + batch.frames > max_queued_frames_) {
        const std::uint64_t excess = queued_frames_ + batch.frames - max_queued_frames_;
        std::uint64_t removed = 0;
        while (removed < excess && !batches_.empty()) {
            const std::uint64_t frames = batches_.front().frames;
            batches_.pop_front();
            queued_frames_ -= frames;
            removed += frames;
        }
        dropped += removed;
    }
    queued_frames_ += batch.frames;
    batches_.push_back(std::move(batch));
    dropped_frames_ = saturating_add(dropped_frames_, dropped);
    return dropped;
}

void AudioCallbackQueue::add_dropped_frames(std::uint64_t frames) {
    dropped_frames_ = saturating_add(dropped_frames_, frames);
}

std::vector<AudioSampleBatch> AudioCallbackQueue::drain() {
    std::vector<AudioSampleBatch> out(std::make_move_iterator(batches_.begin()),
                                      std::make_move_iterator(batches_.end()));
    batches_.clear();
    queued_frames_ = 0;
    return out;
}

void AudioCallbackQueue::clear() {
    batches_.clear();
    queued_frames_ = 0;
    dropped_frames_ = 0;
}

}  // namespace lk
