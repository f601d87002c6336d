#pragma once

#include <cstdint>
#include <span>

#include "audio/audio_playback_policy.hpp"
#include "audio/stereo_frame_ring.hpp"

namespace lk {

struct PlaybackAppendResult {
    std::uint64_t dropped_frames = 0;  // trimmed + overflowed + skipped
    std::uint64_t stored_frames = 0;

    friend bool operator==(const PlaybackAppendResult&, const PlaybackAppendResult&) = default;
};

struct PoppedFrame {
    StereoFrame frame;
    bool from_queue = false;
};

// The bounded queue of output frames between the producer (the runtime
// thread) and the audio device, with a priming threshold, a latency ceiling,
// a hard capacity and linear fades around underruns. Not synchronised itself:
// SharedAudioPlaybackBuffer puts it behind a mutex.
class AudioPlaybackBuffer {
  public:
    // Starts with the Standard policy for 48000 Hz.
    AudioPlaybackBuffer();
    explicit AudioPlaybackBuffer(const AudioPlaybackPolicy& policy);

    // Adopts a policy, empties the buffer and zeroes the counters.
    void reset(const AudioPlaybackPolicy& policy);
    // Empties the buffer and returns to priming; keeps policy and counters.
    void clear();

    // Producer side: adds interleaved left/right samples (a trailing odd
    // sample is ignored) after applying the trim, overflow and oversize rules.
    PlaybackAppendResult append(std::span<const std::int16_t> interleaved);

    // Device side: one frame, with the fade handling around underruns.
    PoppedFrame pop_output_frame();
    // Device side: fills `out` exactly as out.size() calls of
    // pop_output_frame() would, copying runs that need no fade in bulk.
    // Returns how many frames came from the queue.
    std::size_t pop_output_frames(std::span<StereoFrame> out);
    // Device side, while priming: the rest of a fade-out that an underrun
    // started, without touching the queue; silence once it has ended.
    StereoFrame fade_tail_frame();

    // Device side: a callback ran short. Counts it and, when the policy asks
    // for it, returns to priming with the recovery prefill as target.
    void note_underrun();

    [[nodiscard]] std::uint64_t buffered_frames() const { return frames_.size(); }
    [[nodiscard]] bool playing() const { return playing_; }
    void set_playing(bool playing) { playing_ = playing; }
    [[nodiscard]] std::uint64_t current_prefill_target() const { return prefill_target_; }
    [[nodiscard]] std::uint64_t dropped_total() const { return dropped_total_; }
    [[nodiscard]] std::uint64_t underrun_count() const { return underrun_count_; }
    [[nodiscard]] const AudioPlaybackPolicy& policy() const { return policy_; }
    [[nodiscard]] std::uint64_t fade_length() const { return fade_length_; }

  private:
    StereoFrame scaled(StereoFrame frame, std::uint64_t numerator) const;
    StereoFrame next_fade_out_frame();
    void return_to_priming();

    AudioPlaybackPolicy policy_;
    StereoFrameRing frames_;
    std::uint64_t fade_length_ = 1;
    std::uint64_t fade_out_remaining_ = 0;
    std::uint64_t fade_in_remaining_ = 0;
    StereoFrame last_frame_;
    bool fading_out_ = false;
    std::uint64_t prefill_target_ = 0;
    std::uint64_t dropped_total_ = 0;
    std::uint64_t underrun_count_ = 0;
    bool playing_ = false;
};

}  // namespace lk
