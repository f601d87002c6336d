#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>

#include "audio/audio_playback_buffer.hpp"
#include "common/error.hpp"

namespace lk {

inline constexpr const char* kPlaybackBufferPoisonedMessage =
    "Desktop audio playback buffer mutex poisoned.";

// What one device read did.
struct PlaybackReadReport {
    enum class Outcome {
        busy,     // the lock was held (or poisoned): silence, counted as underrun
        priming,  // not enough audio buffered yet: silence (or the end of a fade-out)
        played,   // frames were taken from the buffer
    };
    Outcome outcome = Outcome::busy;
    std::uint64_t requested_frames = 0;
    std::uint64_t read_frames = 0;      // frames that came from the queue
    std::uint64_t underrun_frames = 0;  // requested - read for played and busy reads
    bool started = false;               // playback started with this read
    // Buffer state after the read; zero for busy reads.
    std::uint64_t underrun_count = 0;
    std::uint64_t buffered_frames = 0;
    std::uint64_t capacity_frames = 0;
};

// The producer's view after an append with a bounded wait.
struct BoundedAppendOutcome {
    bool contended = false;  // no lock within the wait: the samples were dropped
    PlaybackAppendResult append;
    std::uint64_t dropped_total = 0;
    std::uint64_t buffered_frames = 0;
    std::uint64_t capacity_frames = 0;
};

struct PlaybackBufferSnapshot {
    std::uint64_t buffered_frames = 0;
    std::uint64_t capacity_frames = 0;
    std::uint64_t dropped_total = 0;
    std::uint64_t underrun_count = 0;
    std::uint64_t prefill_target = 0;
    bool playing = false;
};

// The playback buffer shared between the runtime thread (producer) and the
// audio device thread (consumer). The device side only ever tries the lock and
// plays silence when it is busy; the producer waits for it a bounded time and
// drops its audio otherwise. A locked operation that ends abnormally poisons
// the buffer: later operations report kPlaybackBufferPoisonedMessage and the
// device plays silence.
class SharedAudioPlaybackBuffer {
  public:
    static constexpr std::chrono::microseconds kDefaultMaxWait{2000};
    static constexpr std::chrono::microseconds kRetryInterval{50};

    SharedAudioPlaybackBuffer() = default;
    SharedAudioPlaybackBuffer(const SharedAudioPlaybackBuffer&) = delete;
    SharedAudioPlaybackBuffer& operator=(const SharedAudioPlaybackBuffer&) = delete;

    // Producer side; these wait for the lock.
    Status reset(const AudioPlaybackPolicy& policy);
    Status clear();
    Result<PlaybackBufferSnapshot> snapshot();

    // Producer side: tries the lock, retrying every kRetryInterval for at most
    // `max_wait` from the first attempt; on timeout the samples are dropped
    // and the outcome says `contended`.
    Result<BoundedAppendOutcome> append_within(
        std::span<const std::int16_t> interleaved,
        std::chrono::microseconds max_wait = kDefaultMaxWait);

    // Device side, never blocks. Calls `write(index, StereoFrame)` once for
    // each of `frames` output frames, in order; silence is StereoFrame{}.
    // `write` runs under the lock for priming and played reads, so it must
    // not block or allocate.
    template <class FrameWriter>
    PlaybackReadReport try_read(std::size_t frames, FrameWriter&& write);

  private:
    static constexpr std::size_t kReadBlockFrames = 256;

    std::mutex mutex_;
    AudioPlaybackBuffer buffer_;  // guarded by mutex_
    bool poisoned_ = false;       // guarded by mutex_
};

template <class FrameWriter>
PlaybackReadReport SharedAudioPlaybackBuffer::try_read(std::size_t frames, FrameWriter&& write) {
    PlaybackReadReport report;
    report.requested_frames = frames;
    std::unique_lock lock(mutex_, std::try_to_lock);
    if (!lock.owns_lock() || poisoned_) {
        if (lock.owns_lock()) {
            lock.unlock();
        }
        for (std::size_t i = 0; i < frames; ++i) {
            write(i, StereoFrame{});
        }
        report.underrun_frames = frames;
        return report;
    }
    try {
        if (!buffer_.playing() && buffer_.buffered_frames() < buffer_.current_prefill_target()) {
            report.outcome = PlaybackReadReport::Outcome::priming;
            for (std::size_t i = 0; i < frames; ++i) {
                write(i, buffer_.fade_tail_frame());
            }
        } else {
            report.outcome = PlaybackReadReport::Outcome::played;
            report.started = !buffer_.playing();
            buffer_.set_playing(true);
            StereoFrame block[kReadBlockFrames];
            for (std::size_t at = 0; at < frames; at += kReadBlockFrames) {
                const std::size_t count = std::min(kReadBlockFrames, frames - at);
                report.read_frames += buffer_.pop_output_frames(std::span(block, count));
                for (std::size_t i = 0; i < count; ++i) {
                    write(at + i, block[i]);
                }
            }
            report.underrun_frames = report.requested_frames - report.read_frames;
            if (report.underrun_frames > 0) {
                buffer_.note_underrun();
            }
        }
    } catch (...) {
        poisoned_ = true;
        throw;
    }
    report.underrun_count = buffer_.underrun_count();
    report.buffered_frames = buffer_.buffered_frames();
    report.capacity_frames = buffer_.policy().ring_frames;
    return report;
}

}  // namespace lk
