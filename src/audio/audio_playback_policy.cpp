#include "audio/audio_playback_policy.hpp"

#include <algorithm>
#include <limits>

namespace lk {
namespace {

// rate x factor in unsigned 32-bit arithmetic saturating at its maximum, then
// divided by 1000: "factor milliseconds worth of frames".
std::uint64_t millis_of(std::uint32_t rate, std::uint32_t factor) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint32_t>::max();
    const std::uint64_t product = std::min<std::uint64_t>(std::uint64_t{rate} * factor, kMax);
    return product / 1000;
}

}  // namespace

AudioPlaybackPolicy AudioPlaybackPolicy::for_output(AudioPlaybackMode mode,
                                                    std::uint32_t output_rate) {
    using std::max;
    using std::min;
    AudioPlaybackPolicy policy;
    const std::uint64_t base = max<std::uint64_t>(4096, millis_of(output_rate, 160));
    if (mode == AudioPlaybackMode::netplay) {
        policy.ring_frames = max<std::uint64_t>(16384, millis_of(output_rate, 512));
        const std::uint64_t cap =
            max(max<std::uint64_t>(1, millis_of(output_rate, 240)), base + 2048);
        policy.ceiling_frames = max(min(policy.ring_frames, cap), min(base, policy.ring_frames));
        policy.recovery_prefill_frames =
            min(max<std::uint64_t>(2048, millis_of(output_rate, 120)), policy.ring_frames);
    } else {
        policy.ring_frames = max<std::uint64_t>(65536, 2 * base);
        policy.ceiling_frames =
            max(min(5 * base, policy.ring_frames), min(base, policy.ring_frames));
        policy.recovery_prefill_frames =
            min(max<std::uint64_t>(2048, millis_of(output_rate, 80)), policy.ring_frames);
    }
    policy.trim_target_frames = min(base, policy.ring_frames);
    policy.prefill_frames = policy.trim_target_frames;
    policy.fade_frames = max<std::uint64_t>(1, millis_of(output_rate, 6));
    policy.fade_enabled = true;
    policy.netplay = mode == AudioPlaybackMode::netplay;
    policy.reprime_after_underrun = true;
    return policy;
}

}  // namespace lk
