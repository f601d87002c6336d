#include "audio/audio_playback_buffer.hpp"

#include <algorithm>
#include <limits>
#include <new>

#include "common/saturating.hpp"

namespace lk {
namespace {

// Ring storage reserved up front on reset, so that the device callback never
// waits for the producer to grow the ring. Larger (absurd) capacities grow on
// demand instead.
constexpr std::uint64_t kPreallocatedFramesLimit = std::uint64_t{1} << 18;

std::int16_t scale_sample(std::int16_t sample, std::uint64_t numerator, std::uint64_t length) {
    const auto product = std::int64_t{sample} * static_cast<std::int64_t>(numerator);
    const std::int64_t value = product / static_cast<std::int64_t>(length);  // toward zero
    return static_cast<std::int16_t>(std::clamp<std::int64_t>(value, -32768, 32767));
}

}  // namespace

AudioPlaybackBuffer::AudioPlaybackBuffer()
    : AudioPlaybackBuffer(AudioPlaybackPolicy::for_output(AudioPlaybackMode::standard, 48000)) {}

AudioPlaybackBuffer::AudioPlaybackBuffer(const AudioPlaybackPolicy& policy) {
    reset(policy);
}

void AudioPlaybackBuffer::reset(const AudioPlaybackPolicy& policy) {
    policy_ = policy;
    clear();
    dropped_total_ = 0;
    underrun_count_ = 0;
    try {
        frames_.reserve(
            static_cast<std::size_t>(std::min(policy_.ring_frames, kPreallocatedFramesLimit)));
    } catch (const std::bad_alloc&) {
        // Not fatal: the ring grows when audio arrives.
    }
}

void AudioPlaybackBuffer::clear() {
    frames_.clear();
    return_to_priming();
    prefill_target_ = policy_.prefill_frames;
    fade_length_ = std::max<std::uint64_t>(1, policy_.fade_frames);
    fade_out_remaining_ = 0;
    fade_in_remaining_ = 0;
    last_frame_ = StereoFrame{};
    fading_out_ = false;
}

void AudioPlaybackBuffer::return_to_priming() {
    playing_ = false;
}

PlaybackAppendResult AudioPlaybackBuffer::append(std::span<const std::int16_t> interleaved) {
    const std::uint64_t new_frames = interleaved.size() / 2;
    if (new_frames == 0) {
        return {};
    }
    const std::uint64_t ring = policy_.ring_frames;
    std::uint64_t trimmed = 0;
    if (playing_ && buffered_frames() > policy_.ceiling_frames) {
        trimmed = buffered_frames() - std::min(buffered_frames(), policy_.trim_target_frames);
        frames_.drop_front(static_cast<std::size_t>(trimmed));
    }
    std::uint64_t overflowed = 0;
    const std::uint64_t total = buffered_frames() + std::min(new_frames, ring);
    if (total > ring) {
        overflowed = total - ring;
        frames_.drop_front(static_cast<std::size_t>(overflowed));
    }
    const std::uint64_t skipped = new_frames > ring ? new_frames - ring : 0;
    const std::uint64_t stored = new_frames - skipped;
    frames_.push_back(interleaved.data() + 2 * skipped, static_cast<std::size_t>(stored));

    const std::uint64_t dropped = saturating_add(saturating_add(trimmed, overflowed), skipped);
    dropped_total_ = saturating_add(dropped_total_, dropped);
    return {dropped, stored};
}

StereoFrame AudioPlaybackBuffer::scaled(StereoFrame frame, std::uint64_t numerator) const {
    return {scale_sample(frame.left, numerator, fade_length_),
            scale_sample(frame.right, numerator, fade_length_)};
}

PoppedFrame AudioPlaybackBuffer::pop_output_frame() {
    if (frames_.empty()) {
        if (!policy_.fade_enabled) {
            return {StereoFrame{}, false};
        }
        if (!fading_out_) {
            fading_out_ = true;
            fade_in_remaining_ = 0;
            fade_out_remaining_ = fade_length_;
        }
        return {next_fade_out_frame(), false};
    }

    StereoFrame frame = frames_.pop_front();
    if (!policy_.fade_enabled) {
        return {frame, true};
    }
    if (fading_out_) {
        fading_out_ = false;
        fade_in_remaining_ = fade_length_;
    }
    if (fade_in_remaining_ > 0) {
        const std::uint64_t remaining = fade_in_remaining_;
        const std::uint64_t step =
            remaining <= fade_length_ ? fade_length_ - remaining + 1 : std::uint64_t{1};
        frame = scaled(frame, std::min(step, fade_length_));
        --fade_in_remaining_;
    }
    last_frame_ = frame;
    fade_out_remaining_ = fade_length_;
    return {frame, true};
}

std::size_t AudioPlaybackBuffer::pop_output_frames(std::span<StereoFrame> out) {
    std::size_t at = 0;
    std::size_t from_queue = 0;
    while (at < out.size()) {
        const bool plain = !policy_.fade_enabled || (!fading_out_ && fade_in_remaining_ == 0);
        if (plain && !frames_.empty()) {
            const std::size_t run = std::min(out.size() - at, frames_.size());
            frames_.pop_front(out.data() + at, run);
            if (policy_.fade_enabled) {
                last_frame_ = out[at + run - 1];
                fade_out_remaining_ = fade_length_;
            }
            at += run;
            from_queue += run;
            continue;
        }
        const PoppedFrame popped = pop_output_frame();
        out[at++] = popped.frame;
        from_queue += popped.from_queue ? 1 : 0;
    }
    return from_queue;
}

StereoFrame AudioPlaybackBuffer::next_fade_out_frame() {
    if (fade_out_remaining_ == 0) {
        last_frame_ = StereoFrame{};
        return StereoFrame{};
    }
    const StereoFrame frame = scaled(last_frame_, std::min(fade_length_, fade_out_remaining_));
    if (--fade_out_remaining_ == 0) {
        last_frame_ = StereoFrame{};
    }
    return frame;
}

StereoFrame AudioPlaybackBuffer::fade_tail_frame() {
    if (!policy_.fade_enabled || !fading_out_) {
        return StereoFrame{};
    }
    return next_fade_out_frame();
}

void AudioPlaybackBuffer::note_underrun() {
    underrun_count_ = saturating_add(underrun_count_, 1);
    if (policy_.reprime_after_underrun) {
        return_to_priming();
        prefill_target_ = policy_.recovery_prefill_frames;
    }
}

}  // namespace lk
