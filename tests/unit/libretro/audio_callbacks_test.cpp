// The audio callbacks and their bounded queue: copies, counters, the bound of
// 96,000 frames with its drop rules, and suppression.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <numeric>
#include <vector>

#include "callback_bridge_test_support.hpp"
#include "libretro/audio_callback_queue.hpp"
#include "libretro/audio_callbacks.hpp"
#include "libretro/callback_runtime_state.hpp"

namespace lk {
namespace {

using callback_bridge::audio_sample_batch_callback;
using callback_bridge::audio_sample_callback;
using callback_bridge::drain_audio_batches;

// Interleaved stereo where sample i holds i (wrapping at 16 bits).
std::vector<std::int16_t> counting_samples(std::size_t frames, int start = 0) {
    std::vector<std::int16_t> samples(frames * 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<std::int16_t>(static_cast<int>(i) + start);
    }
    return samples;
}

AudioSampleBatch batch_of(std::uint64_t frames) {
    return AudioSampleBatch{std::vector<std::int16_t>(frames * 2, 1), frames};
}

std::uint64_t frames_in(const std::vector<AudioSampleBatch>& batches) {
    return std::accumulate(
        batches.begin(), batches.end(), std::uint64_t{0},
        [](std::uint64_t sum, const AudioSampleBatch& b) { return sum + b.frames; });
}

TEST(AudioCallbackQueue, AnOversizedBatchKeepsItsNewestFrames) {
    AudioCallbackQueue queue;
    AudioSampleBatch big{counting_samples(100'000), 100'000};
    const std::int16_t first_kept = big.samples[4'000 * 2];
    EXPECT_EQ(queue.push(std::move(big)), 4'000u);
    EXPECT_EQ(queue.queued_frames(), 96'000u);
    EXPECT_EQ(queue.dropped_frames(), 4'000u);
    const auto drained = queue.drain();
    ASSERT_EQ(drained.size(), 1u);
    EXPECT_EQ(drained[0].frames, 96'000u);
    ASSERT_EQ(drained[0].samples.size(), 192'000u);
    EXPECT_EQ(drained[0].samples.front(), first_kept);
}

TEST(AudioCallbackQueue, OverflowDropsWholeOldestBatchesOnly) {
    AudioCallbackQueue queue;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(queue.push(batch_of(30'000)), 0u);
    }
    EXPECT_EQ(queue.push(batch_of(6'000)), 0u) << "exactly at the bound is fine";
    EXPECT_EQ(queue.queued_frames(), 96'000u);
    EXPECT_EQ(queue.push(batch_of(4'000)), 30'000u) << "one whole batch covers the excess";
    EXPECT_EQ(queue.queued_frames(), 70'000u);
    EXPECT_EQ(queue.batch_count(), 4u);

    // An excess larger than one batch removes as many as needed, oldest first.
    EXPECT_EQ(queue.push(batch_of(80'000)), 60'000u);
    EXPECT_EQ(queue.queued_frames(), 90'000u);
    EXPECT_EQ(queue.dropped_frames(), 90'000u);

    const auto drained = queue.drain();
    EXPECT_EQ(frames_in(drained), 90'000u);
    EXPECT_EQ(drained.back().frames, 80'000u);
    EXPECT_EQ(queue.queued_frames(), 0u);
    EXPECT_EQ(queue.dropped_frames(), 90'000u) << "draining keeps the dropped count";
    queue.clear();
    EXPECT_EQ(queue.dropped_frames(), 0u);
}

TEST(AudioCallbackQueue, SampleCountsThatDisagreeWithFramesAreCutToWholeFrames) {
    AudioCallbackQueue queue;
    queue.push(AudioSampleBatch{{1, 2, 3}, 2});           // odd count: one whole frame
    queue.push(AudioSampleBatch{{1, 2, 3, 4, 5, 6}, 1});  // more samples than frames
    queue.push(AudioSampleBatch{{}, 5});                  // frames without samples
    EXPECT_EQ(queue.queued_frames(), 2u);
    const auto drained = queue.drain();
    ASSERT_EQ(drained.size(), 3u);
    EXPECT_EQ(drained[0].samples, (std::vector<std::int16_t>{1, 2}));
    EXPECT_EQ(drained[0].frames, 1u);
    EXPECT_EQ(drained[1].samples, (std::vector<std::int16_t>{1, 2}));
    EXPECT_EQ(drained[2].frames, 0u);
    for (const auto& batch : drained) {
        EXPECT_EQ(batch.samples.size(), batch.frames * 2);
    }
}

TEST(AudioCallbackQueue, DroppedCountSaturates) {
    AudioCallbackQueue queue;
    queue.add_dropped_frames(std::numeric_limits<std::uint64_t>::max() - 1);
    queue.push(batch_of(100'000));
    EXPECT_EQ(queue.dropped_frames(), std::numeric_limits<std::uint64_t>::max());
}

class AudioCallbacks : public test::CallbackBridgeTest {};

TEST_F(AudioCallbacks, SingleSamplesAndBatchesAreQueuedInOrder) {
    audio_sample_callback(1, -1);
    const auto samples = counting_samples(3, 10);
    EXPECT_EQ(audio_sample_batch_callback(samples.data(), 3), 3u);
    audio_sample_callback(2, -2);

    const auto drained = drain_audio_batches();
    ASSERT_EQ(drained.size(), 3u);
    EXPECT_EQ(drained[0].samples, (std::vector<std::int16_t>{1, -1}));
    EXPECT_EQ(drained[0].frames, 1u);
    EXPECT_EQ(drained[1].samples, samples);
    EXPECT_EQ(drained[1].frames, 3u);
    EXPECT_EQ(drained[2].samples, (std::vector<std::int16_t>{2, -2}));
    EXPECT_TRUE(drain_audio_batches().empty());

    CallbackStateLock state;
    EXPECT_EQ(state->sample_callback_frames, 2u);
    EXPECT_EQ(state->batch_callback_frames, 3u);
    EXPECT_TRUE(state->sample_callback_logged);
    EXPECT_TRUE(state->batch_callback_logged);
}

TEST_F(AudioCallbacks, EmptyAndNullBatchesAreQueuedEmptyButCounted) {
    EXPECT_EQ(audio_sample_batch_callback(nullptr, 512), 512u);
    const std::int16_t one[2] = {5, 6};
    EXPECT_EQ(audio_sample_batch_callback(one, 0), 0u);
    // A count whose samples could not exist in memory is not read.
    const std::size_t absurd = std::numeric_limits<std::size_t>::max() / 2 + 1;
    EXPECT_EQ(audio_sample_batch_callback(one, absurd), absurd);

    const auto drained = drain_audio_batches();
    ASSERT_EQ(drained.size(), 3u);
    for (const auto& batch : drained) {
        EXPECT_EQ(batch.frames, 0u);
        EXPECT_TRUE(batch.samples.empty());
    }
    CallbackStateLock state;
    EXPECT_EQ(state->batch_callback_frames, 512u + absurd);
}

TEST_F(AudioCallbacks, AHugeBatchKeepsItsNewestFramesAndCountsTheRest) {
    const auto samples = counting_samples(100'000);
    EXPECT_EQ(audio_sample_batch_callback(samples.data(), 100'000), 100'000u);
    {
        CallbackStateLock state;
        EXPECT_EQ(state->audio_queue.dropped_frames(), 4'000u);
        EXPECT_EQ(state->audio_queue.queued_frames(), 96'000u);
    }
    const auto drained = drain_audio_batches();
    ASSERT_EQ(drained.size(), 1u);
    EXPECT_EQ(drained[0].frames, 96'000u);
    EXPECT_EQ(drained[0].samples.front(), samples[4'000 * 2]);
    EXPECT_EQ(drained[0].samples.back(), samples.back());

    callback_bridge::reset();
    CallbackStateLock state;
    EXPECT_EQ(state->audio_queue.dropped_frames(), 0u);
    EXPECT_EQ(state->batch_callback_frames, 0u);
    EXPECT_FALSE(state->batch_callback_logged);
}

TEST_F(AudioCallbacks, SuppressedAudioIsDiscardedButTheCountIsReturned) {
    callback_bridge::set_av_output_suppressed(true);
    const auto samples = counting_samples(64);
    EXPECT_EQ(audio_sample_batch_callback(samples.data(), 64), 64u);
    audio_sample_callback(1, 1);
    EXPECT_TRUE(drain_audio_batches().empty());
    CallbackStateLock state;
    EXPECT_EQ(state->sample_callback_frames, 0u);
    EXPECT_EQ(state->batch_callback_frames, 0u);
}

}  // namespace
}  // namespace lk
