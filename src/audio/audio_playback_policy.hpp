#pragma once

#include <cstdint>

#include "protocol/shared_payloads.hpp"

namespace lk {

// How much audio the playback buffer primes, keeps and may hold, in frames at
// the device's output rate. Standard favours smooth playback; Netplay keeps
// latency low so that audio follows the re-simulated game closely.
struct AudioPlaybackPolicy {
    std::uint64_t ring_frames = 0;              // capacity
    std::uint64_t fade_frames = 0;              // fade-out after and fade-in after an underrun
    std::uint64_t ceiling_frames = 0;           // while playing, more than this triggers a trim
    std::uint64_t trim_target_frames = 0;       // what a trim cuts the buffer down to
    std::uint64_t prefill_frames = 0;           // needed before playback starts
    std::uint64_t recovery_prefill_frames = 0;  // needed before playback restarts after an underrun
    bool fade_enabled = true;
    bool netplay = false;
    bool reprime_after_underrun = true;

    static AudioPlaybackPolicy for_output(AudioPlaybackMode mode, std::uint32_t output_rate);

    friend bool operator==(const AudioPlaybackPolicy&, const AudioPlaybackPolicy&) = default;
};

}  // namespace lk
