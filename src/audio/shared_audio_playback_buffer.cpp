#include "audio/shared_audio_playback_buffer.hpp"

#include <thread>

namespace lk {

Status SharedAudioPlaybackBuffer::reset(const AudioPlaybackPolicy& policy) {
    std::lock_guard lock(mutex_);
    if (poisoned_) {
        return fail(kPlaybackBufferPoisonedMessage);
    }
    buffer_.reset(policy);
    return {};
}

Status SharedAudioPlaybackBuffer::clear() {
    std::lock_guard lock(mutex_);
    if (poisoned_) {
        return fail(kPlaybackBufferPoisonedMessage);
    }
    buffer_.clear();
    return {};
}

Result<PlaybackBufferSnapshot> SharedAudioPlaybackBuffer::snapshot() {
    std::lock_guard lock(mutex_);
    if (poisoned_) {
        return fail(kPlaybackBufferPoisonedMessage);
    }
    return PlaybackBufferSnapshot{buffer_.buffered_frames(),        buffer_.policy().ring_frames,
                                  buffer_.dropped_total(),          buffer_.underrun_count(),
                                  buffer_.current_prefill_target(), buffer_.playing()};
}

Result<BoundedAppendOutcome> SharedAudioPlaybackBuffer::append_within(
    std::span<const std::int16_t> interleaved, std::chrono::microseconds max_wait) {
    std::unique_lock lock(mutex_, std::try_to_lock);
    if (!lock.owns_lock()) {
        const auto first_attempt = std::chrono::steady_clock::now();
        while (!lock.try_lock()) {
            if (std::chrono::steady_clock::now() - first_attempt >= max_wait) {
                BoundedAppendOutcome contended;
                contended.contended = true;
                return contended;
            }
            std::this_thread::sleep_for(kRetryInterval);
        }
    }
    if (poisoned_) {
        return fail(kPlaybackBufferPoisonedMessage);
    }
    BoundedAppendOutcome outcome;
    try {
        outcome.append = buffer_.append(interleaved);
    } catch (...) {
        // Only growing the ring can throw (out of memory). An append that ends
        // abnormally poisons the buffer like any other locked operation.
        poisoned_ = true;
        return fail(kPlaybackBufferPoisonedMessage);
    }
    outcome.dropped_total = buffer_.dropped_total();
    outcome.buffered_frames = buffer_.buffered_frames();
    outcome.capacity_frames = buffer_.policy().ring_frames;
    return outcome;
}

}  // namespace lk
