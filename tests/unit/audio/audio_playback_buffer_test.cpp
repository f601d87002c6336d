#include "audio/audio_playback_buffer.hpp"

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

namespace lk {
namespace {

// Frames whose left sample is their index (mod 32768) and right the negation.
std::vector<std::int16_t> counting_frames(std::size_t frames, std::size_t first = 0) {
    std::vector<std::int16_t> samples(2 * frames);
    for (std::size_t i = 0; i < frames; ++i) {
        const auto value = static_cast<std::int16_t>((first + i) % 32768);
        samples[2 * i] = value;
        samples[2 * i + 1] = static_cast<std::int16_t>(-value);
    }
    return samples;
}

std::vector<std::int16_t> constant_frames(std::size_t frames, std::int16_t left,
                                          std::int16_t right) {
    std::vector<std::int16_t> samples(2 * frames);
    for (std::size_t i = 0; i < frames; ++i) {
        samples[2 * i] = left;
        samples[2 * i + 1] = right;
    }
    return samples;
}

AudioPlaybackPolicy standard_48k() {
    return AudioPlaybackPolicy::for_output(AudioPlaybackMode::standard, 48000);
}

// A tiny policy whose fades are four frames long.
AudioPlaybackPolicy small_fade_policy() {
    AudioPlaybackPolicy policy;
    policy.ring_frames = 64;
    policy.fade_frames = 4;
    policy.ceiling_frames = 48;
    policy.trim_target_frames = 8;
    policy.prefill_frames = 8;
    policy.recovery_prefill_frames = 4;
    return policy;
}

TEST(AudioPlaybackBuffer, StartsPrimingWithTheStandardPolicyFor48kHz) {
    AudioPlaybackBuffer buffer;
    EXPECT_EQ(buffer.policy(), standard_48k());
    EXPECT_FALSE(buffer.playing());
    EXPECT_EQ(buffer.current_prefill_target(), 7680u);
    EXPECT_EQ(buffer.buffered_frames(), 0u);
    EXPECT_EQ(buffer.fade_length(), 288u);
}

TEST(AudioPlaybackBuffer, TrimsToTheTargetWhilePlayingAboveTheCeilingOnly) {
    AudioPlaybackBuffer buffer(standard_48k());
    const auto bulk = counting_frames(40000);
    EXPECT_EQ(buffer.append(bulk), (PlaybackAppendResult{0, 40000}));
    // Priming: above the ceiling but never trimmed.
    EXPECT_EQ(buffer.append(counting_frames(100, 40000)), (PlaybackAppendResult{0, 100}));
    EXPECT_EQ(buffer.buffered_frames(), 40100u);

    buffer.set_playing(true);
    EXPECT_EQ(buffer.append(counting_frames(100, 40100)), (PlaybackAppendResult{32420, 100}));
    EXPECT_EQ(buffer.buffered_frames(), 7780u);
    EXPECT_EQ(buffer.dropped_total(), 32420u);
    // The oldest frames went: the front is frame 40100 - 7680.
    EXPECT_EQ(buffer.pop_output_frame().frame.left, static_cast<std::int16_t>(32420 % 32768));
}

TEST(AudioPlaybackBuffer, OverflowDropsTheOldestAndOversizeBatchesKeepTheirTail) {
    {
        AudioPlaybackBuffer buffer(standard_48k());
        buffer.append(counting_frames(60000));
        EXPECT_EQ(buffer.append(counting_frames(10000, 60000)),
                  (PlaybackAppendResult{4464, 10000}));
        EXPECT_EQ(buffer.buffered_frames(), 65536u);
        EXPECT_EQ(buffer.pop_output_frame().frame.left, 4464);
    }
    {
        AudioPlaybackBuffer buffer(standard_48k());
        EXPECT_EQ(buffer.append(counting_frames(70000)), (PlaybackAppendResult{4464, 65536}));
        EXPECT_EQ(buffer.buffered_frames(), 65536u);
        EXPECT_EQ(buffer.pop_output_frame().frame.left, 4464);
    }
    {
        // Oversize batch onto a full buffer: everything old goes, plus the batch's front.
        AudioPlaybackBuffer buffer(standard_48k());
        buffer.append(counting_frames(1000, 20000));
        const std::vector<std::int16_t> huge = counting_frames(200000);
        EXPECT_EQ(buffer.append(huge), (PlaybackAppendResult{1000 + 200000 - 65536, 65536}));
        EXPECT_EQ(buffer.dropped_total(), 1000u + 200000u - 65536u);
        EXPECT_EQ(buffer.pop_output_frame().frame.left,
                  static_cast<std::int16_t>((200000 - 65536) % 32768));
    }
}

TEST(AudioPlaybackBuffer, IgnoresEmptyAppendsAndATrailingOddSample) {
    AudioPlaybackBuffer buffer(small_fade_policy());
    EXPECT_EQ(buffer.append({}), (PlaybackAppendResult{0, 0}));
    const std::vector<std::int16_t> one_sample = {7};
    EXPECT_EQ(buffer.append(one_sample), (PlaybackAppendResult{0, 0}));
    EXPECT_EQ(buffer.buffered_frames(), 0u);
    const std::vector<std::int16_t> odd = {1, 2, 3, 4, 5};
    EXPECT_EQ(buffer.append(odd), (PlaybackAppendResult{0, 2}));
    EXPECT_EQ(buffer.pop_output_frame().frame, (StereoFrame{1, 2}));
    EXPECT_EQ(buffer.pop_output_frame().frame, (StereoFrame{3, 4}));
    EXPECT_FALSE(buffer.pop_output_frame().from_queue);
}

TEST(AudioPlaybackBuffer, FadesOutLinearlyOnUnderrunAndFadesBackIn) {
    AudioPlaybackBuffer buffer(small_fade_policy());
    buffer.append(constant_frames(2, 1000, -1000));
    // The very first playback starts unscaled.
    for (int i = 0; i < 2; ++i) {
        const PoppedFrame popped = buffer.pop_output_frame();
        EXPECT_TRUE(popped.from_queue);
        EXPECT_EQ(popped.frame, (StereoFrame{1000, -1000}));
    }
    // Dry: the last frame ramps down over the four-frame fade, then silence.
    const StereoFrame fade_out[] = {{1000, -1000}, {750, -750}, {500, -500},
                                    {250, -250},   {0, 0},      {0, 0}};
    for (const StereoFrame& expected : fade_out) {
        const PoppedFrame popped = buffer.pop_output_frame();
        EXPECT_FALSE(popped.from_queue);
        EXPECT_EQ(popped.frame, expected);
    }
    // Resumed audio ramps up by k/4, truncating toward zero.
    buffer.append(constant_frames(6, 1001, -999));
    const StereoFrame fade_in[] = {{250, -249},  {500, -499},  {750, -749},
                                   {1001, -999}, {1001, -999}, {1001, -999}};
    for (const StereoFrame& expected : fade_in) {
        const PoppedFrame popped = buffer.pop_output_frame();
        EXPECT_TRUE(popped.from_queue);
        EXPECT_EQ(popped.frame, expected);
    }
}

TEST(AudioPlaybackBuffer, FadeScalingIsExactAtFullScale) {
    AudioPlaybackBuffer buffer(small_fade_policy());
    buffer.append(constant_frames(1, -32768, 32767));
    EXPECT_EQ(buffer.pop_output_frame().frame, (StereoFrame{-32768, 32767}));
    EXPECT_EQ(buffer.pop_output_frame().frame, (StereoFrame{-32768, 32767}));
    EXPECT_EQ(buffer.pop_output_frame().frame, (StereoFrame{-24576, 24575}));
    // A fade-out cut short by new audio turns straight into a fade-in.
    buffer.append(constant_frames(1, -32768, 32767));
    EXPECT_EQ(buffer.pop_output_frame().frame, (StereoFrame{-8192, 8191}));
}

TEST(AudioPlaybackBuffer, FadeTailContinuesAStartedFadeOutWithoutTouchingTheQueue) {
    AudioPlaybackBuffer buffer(small_fade_policy());
    EXPECT_EQ(buffer.fade_tail_frame(), (StereoFrame{}));  // nothing played yet
    buffer.append(constant_frames(1, 400, -400));
    buffer.pop_output_frame();
    EXPECT_EQ(buffer.pop_output_frame().frame, (StereoFrame{400, -400}));  // fade-out starts
    buffer.append(constant_frames(3, 9, 9));
    EXPECT_EQ(buffer.fade_tail_frame(), (StereoFrame{300, -300}));
    EXPECT_EQ(buffer.fade_tail_frame(), (StereoFrame{200, -200}));
    EXPECT_EQ(buffer.fade_tail_frame(), (StereoFrame{100, -100}));
    EXPECT_EQ(buffer.fade_tail_frame(), (StereoFrame{}));
    EXPECT_EQ(buffer.fade_tail_frame(), (StereoFrame{}));
    EXPECT_EQ(buffer.buffered_frames(), 3u);
}

TEST(AudioPlaybackBuffer, ClearKeepsPolicyAndCountersResetZeroesThem) {
    AudioPlaybackBuffer buffer(small_fade_policy());
    buffer.append(counting_frames(100));  // 36 dropped by overflow
    buffer.set_playing(true);
    buffer.pop_output_frame();
    buffer.note_underrun();
    EXPECT_FALSE(buffer.playing());
    EXPECT_EQ(buffer.current_prefill_target(), 4u);

    buffer.clear();
    EXPECT_EQ(buffer.buffered_frames(), 0u);
    EXPECT_EQ(buffer.current_prefill_target(), 8u);
    EXPECT_EQ(buffer.dropped_total(), 36u);
    EXPECT_EQ(buffer.underrun_count(), 1u);
    EXPECT_EQ(buffer.policy(), small_fade_policy());
    // No fade state survives a clear: an empty pop is plain silence.
    EXPECT_EQ(buffer.pop_output_frame().frame, (StereoFrame{}));

    const auto netplay = AudioPlaybackPolicy::for_output(AudioPlaybackMode::netplay, 44100);
    buffer.reset(netplay);
    EXPECT_EQ(buffer.policy(), netplay);
    EXPECT_EQ(buffer.dropped_total(), 0u);
    EXPECT_EQ(buffer.underrun_count(), 0u);
    EXPECT_EQ(buffer.current_prefill_target(), 7056u);
    EXPECT_EQ(buffer.fade_length(), 264u);
}

TEST(AudioPlaybackBuffer, BulkPopsMatchSinglePopsThroughUnderrunsAndFades) {
    for (const bool fades : {true, false}) {
        for (const std::size_t block : {1u, 3u, 7u, 64u}) {
            SCOPED_TRACE(testing::Message() << "fades " << fades << " block " << block);
            AudioPlaybackPolicy policy = small_fade_policy();
            policy.fade_enabled = fades;
            AudioPlaybackBuffer single(policy);
            AudioPlaybackBuffer bulk(policy);
            std::size_t first = 100;
            // Appends of varying size between reads, so that reads run dry,
            // fade out, resume mid-block and fade in again.
            for (const std::size_t frames : {10u, 2u, 0u, 9u, 30u, 1u, 0u, 0u, 5u, 12u}) {
                const auto samples = counting_frames(frames, first);
                first += frames;
                single.append(samples);
                bulk.append(samples);
                std::vector<StereoFrame> expected;
                std::size_t expected_from_queue = 0;
                for (std::size_t i = 0; i < block; ++i) {
                    const PoppedFrame popped = single.pop_output_frame();
                    expected.push_back(popped.frame);
                    expected_from_queue += popped.from_queue ? 1 : 0;
                }
                std::vector<StereoFrame> actual(block);
                EXPECT_EQ(bulk.pop_output_frames(actual), expected_from_queue);
                EXPECT_EQ(actual, expected);
                EXPECT_EQ(bulk.buffered_frames(), single.buffered_frames());
            }
        }
    }
}

TEST(AudioPlaybackBuffer, WithoutFadesUnderrunsAreSilentAndFramesUnscaled) {
    AudioPlaybackPolicy policy = small_fade_policy();
    policy.fade_enabled = false;
    policy.reprime_after_underrun = false;
    AudioPlaybackBuffer buffer(policy);
    buffer.append(constant_frames(1, 500, 500));
    buffer.pop_output_frame();
    EXPECT_EQ(buffer.pop_output_frame().frame, (StereoFrame{}));
    buffer.append(constant_frames(1, 500, 500));
    EXPECT_EQ(buffer.pop_output_frame().frame, (StereoFrame{500, 500}));
    buffer.set_playing(true);
    buffer.note_underrun();
    EXPECT_TRUE(buffer.playing());
    EXPECT_EQ(buffer.current_prefill_target(), 8u);
}

}  // namespace
}  // namespace lk
