#include "audio/audio_playback_policy.hpp"

#include <gtest/gtest.h>

namespace lk {
namespace {

struct PolicyRow {
    AudioPlaybackMode mode;
    std::uint32_t rate;
    std::uint64_t ring, ceiling, prefill, recovery, fade;
};

TEST(AudioPlaybackPolicy, MatchesTheTableForBothModesAndCommonRates) {
    const PolicyRow rows[] = {
        {AudioPlaybackMode::standard, 48000, 65536, 38400, 7680, 3840, 288},
        {AudioPlaybackMode::standard, 44100, 65536, 35280, 7056, 3528, 264},
        {AudioPlaybackMode::netplay, 48000, 24576, 11520, 7680, 5760, 288},
        {AudioPlaybackMode::netplay, 44100, 22579, 10584, 7056, 5292, 264},
        // Low rates hit the floors: base 4096, rings 65536 / 16384, recovery 2048.
        {AudioPlaybackMode::standard, 8000, 65536, 20480, 4096, 2048, 48},
        {AudioPlaybackMode::netplay, 8000, 16384, 6144, 4096, 2048, 48},
        // Zero is a degenerate rate, not a crash: floors and a one-frame fade.
        {AudioPlaybackMode::standard, 0, 65536, 20480, 4096, 2048, 1},
        {AudioPlaybackMode::netplay, 0, 16384, 6144, 4096, 2048, 1},
    };
    for (const PolicyRow& row : rows) {
        SCOPED_TRACE(testing::Message() << "rate " << row.rate << " netplay "
                                        << (row.mode == AudioPlaybackMode::netplay));
        const auto policy = AudioPlaybackPolicy::for_output(row.mode, row.rate);
        EXPECT_EQ(policy.ring_frames, row.ring);
        EXPECT_EQ(policy.ceiling_frames, row.ceiling);
        EXPECT_EQ(policy.trim_target_frames, row.prefill);
        EXPECT_EQ(policy.prefill_frames, row.prefill);
        EXPECT_EQ(policy.recovery_prefill_frames, row.recovery);
        EXPECT_EQ(policy.fade_frames, row.fade);
        EXPECT_TRUE(policy.fade_enabled);
        EXPECT_TRUE(policy.reprime_after_underrun);
        EXPECT_EQ(policy.netplay, row.mode == AudioPlaybackMode::netplay);
    }
}

TEST(AudioPlaybackPolicy, ProductsSaturateInThirtyTwoBits) {
    // 8388607 x 512 still fits in 32 bits; one more hertz saturates.
    EXPECT_EQ(AudioPlaybackPolicy::for_output(AudioPlaybackMode::netplay, 8388607).ring_frames,
              8388607ull * 512 / 1000);
    EXPECT_EQ(AudioPlaybackPolicy::for_output(AudioPlaybackMode::netplay, 8388608).ring_frames,
              4294967ull);

    const auto standard = AudioPlaybackPolicy::for_output(AudioPlaybackMode::standard, 4294967295u);
    EXPECT_EQ(standard.prefill_frames, 4294967u);  // every product saturated
    EXPECT_EQ(standard.ring_frames, 2 * 4294967ull);
    EXPECT_EQ(standard.ceiling_frames, 2 * 4294967ull);  // 5 x base capped by the ring
    EXPECT_EQ(standard.recovery_prefill_frames, 4294967u);
    EXPECT_EQ(standard.fade_frames, 4294967u);

    const auto netplay = AudioPlaybackPolicy::for_output(AudioPlaybackMode::netplay, 4294967295u);
    EXPECT_EQ(netplay.ring_frames, 4294967u);
    EXPECT_EQ(netplay.prefill_frames, 4294967u);
    EXPECT_EQ(netplay.ceiling_frames, 4294967u);
    EXPECT_EQ(netplay.recovery_prefill_frames, 4294967u);
}

}  // namespace
}  // namespace lk
