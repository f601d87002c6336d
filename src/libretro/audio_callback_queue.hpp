#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "audio/audio_sample_batch.hpp"

namespace lk {

// The audio the core delivered during frames, waiting for the runtime to
// drain it. Bounded: when the runtime falls behind, the oldest audio is
// dropped and counted. Lives in the callback state and is used only under
// that record's lock; it has no lock of its own.
class AudioCallbackQueue {
  public:
    // Two seconds at 48 kHz.
    static constexpr std::uint64_t kMaxQueuedFrames = 96'000;

    explicit AudioCallbackQueue(std::uint64_t max_queued_frames = kMaxQueuedFrames)
        : max_queued_frames_(max_queued_frames) {}

    // Appends a batch, making room by dropping whole batches from the front.
    // A batch larger than the bound keeps only its newest frames. A batch whose
    // sample count disagrees with its frame count is first cut to the whole
    // stereo frames both agree on. Returns the frames this push dropped.
    std::uint64_t push(AudioSampleBatch batch);

    // Counts frames dropped before they reached the queue (saturating).
    void add_dropped_frames(std::uint64_t frames);

    // Every queued batch, oldest first; the queue is then empty. The dropped
    // count is kept.
    std::vector<AudioSampleBatch> drain();

    // Empties the queue and zeroes both counts.
    void clear();

    [[nodiscard]] std::uint64_t queued_frames() const { return queued_frames_; }
    [[nodiscard]] std::uint64_t dropped_frames() const { return dropped_frames_; }
    [[nodiscard]] std::uint64_t max_queued_frames() const { return max_queued_frames_; }
    [[nodiscard]] std::size_t batch_count() const { return batches_.size(); }

  private:
    std::deque<AudioSampleBatch> batches_;
    std::uint64_t queued_frames_ = 0;
    std::uint64_t max_queued_frames_;
    std::uint64_t dropped_frames_ = 0;
};

}  // namespace lk
