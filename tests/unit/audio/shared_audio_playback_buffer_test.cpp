#include "audio/shared_audio_playback_buffer.hpp"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "audio/audio_output_pipeline.hpp"

namespace lk {
namespace {

using Outcome = PlaybackReadReport::Outcome;

std::vector<std::int16_t> constant_frames(std::size_t frames, std::int16_t value) {
    return std::vector<std::int16_t>(2 * frames, value);
}

// Reads `frames` frames into a vector.
struct Capture {
    std::vector<StereoFrame> frames;
    PlaybackReadReport read(SharedAudioPlaybackBuffer& buffer, std::size_t count) {
        frames.assign(count, StereoFrame{-1, -1});
        return buffer.try_read(count, [&](std::size_t i, StereoFrame f) { frames[i] = f; });
    }
};

void fill(SharedAudioPlaybackBuffer& buffer, std::size_t frames, std::int16_t value) {
    auto appended = buffer.append_within(constant_frames(frames, value));
    ASSERT_TRUE(appended.has_value());
    ASSERT_FALSE(appended->contended);
}

TEST(SharedAudioPlaybackBuffer, PrimesThenPlaysAndRecoversAfterAnUnderrun) {
    struct Case {
        AudioPlaybackMode mode;
        std::uint64_t prefill, recovery;
    };
    for (const Case& c : {Case{AudioPlaybackMode::standard, 7680, 3840},
                          Case{AudioPlaybackMode::netplay, 7680, 5760}}) {
        SCOPED_TRACE(c.recovery);
        SharedAudioPlaybackBuffer buffer;
        ASSERT_TRUE(buffer.reset(AudioPlaybackPolicy::for_output(c.mode, 48000)));
        Capture capture;

        fill(buffer, c.prefill - 1, 2880);
        PlaybackReadReport report = capture.read(buffer, 480);
        EXPECT_EQ(report.outcome, Outcome::priming);
        EXPECT_EQ(report.read_frames, 0u);
        EXPECT_EQ(report.underrun_frames, 0u);
        EXPECT_EQ(capture.frames[0], (StereoFrame{}));
        EXPECT_EQ(capture.frames[479], (StereoFrame{}));

        fill(buffer, 1, 2880);
        report = capture.read(buffer, 480);
        EXPECT_EQ(report.outcome, Outcome::played);
        EXPECT_TRUE(report.started);
        EXPECT_EQ(report.read_frames, 480u);
        EXPECT_EQ(report.buffered_frames, c.prefill - 480);
        EXPECT_EQ(capture.frames[0], (StereoFrame{2880, 2880}));
        EXPECT_FALSE(capture.read(buffer, 480).started);

        // Run dry inside one read: counted as underrun, back to priming.
        report = capture.read(buffer, static_cast<std::size_t>(c.prefill));
        EXPECT_EQ(report.read_frames, c.prefill - 960);
        EXPECT_EQ(report.underrun_frames, 960u);
        EXPECT_EQ(report.underrun_count, 1u);
        auto snapshot = buffer.snapshot();
        ASSERT_TRUE(snapshot);
        EXPECT_FALSE(snapshot->playing);
        EXPECT_EQ(snapshot->prefill_target, c.recovery);

        fill(buffer, c.recovery - 1, 2880);
        EXPECT_EQ(capture.read(buffer, 64).outcome, Outcome::priming);
        fill(buffer, 1, 2880);
        report = capture.read(buffer, 300);
        EXPECT_EQ(report.outcome, Outcome::played);
        EXPECT_TRUE(report.started);
        // The resumed audio fades in over 288 frames, the first at 1/288.
        EXPECT_EQ(capture.frames[0], (StereoFrame{10, 10}));
        EXPECT_EQ(capture.frames[1], (StereoFrame{20, 20}));
        EXPECT_EQ(capture.frames[287], (StereoFrame{2880, 2880}));
        EXPECT_EQ(capture.frames[299], (StereoFrame{2880, 2880}));
    }
}

TEST(SharedAudioPlaybackBuffer, PrimingAfterAnUnderrunFinishesTheFadeOut) {
    SharedAudioPlaybackBuffer buffer;
    AudioPlaybackPolicy policy =
        AudioPlaybackPolicy::for_output(AudioPlaybackMode::standard, 48000);
    ASSERT_TRUE(buffer.reset(policy));
    fill(buffer, 7680, 2880);
    Capture capture;
    // 7690 requested: the last 10 frames are the first steps of the fade-out.
    capture.read(buffer, 7690);
    EXPECT_EQ(capture.frames[7689], (StereoFrame{2790, 2790}));  // 2880 x 279 / 288
    // The next read primes; it plays the rest of the ramp instead of jumping to 0.
    const PlaybackReadReport report = capture.read(buffer, 480);
    EXPECT_EQ(report.outcome, Outcome::priming);
    EXPECT_EQ(capture.frames[0], (StereoFrame{2780, 2780}));
    EXPECT_EQ(capture.frames[277], (StereoFrame{10, 10}));
    EXPECT_EQ(capture.frames[278], (StereoFrame{}));
    EXPECT_EQ(capture.frames[479], (StereoFrame{}));
}

TEST(SharedAudioPlaybackBuffer, DeviceReadPlaysSilenceWhileTheLockIsHeld) {
    SharedAudioPlaybackBuffer buffer;
    fill(buffer, 8000, 1234);
    std::atomic<bool> holding{false};
    std::atomic<bool> release{false};
    std::thread holder([&] {
        buffer.try_read(1, [&](std::size_t, StereoFrame) {
            holding = true;
            while (!release) {
                std::this_thread::yield();
            }
        });
    });
    while (!holding) {
        std::this_thread::yield();
    }
    Capture capture;
    const PlaybackReadReport report = capture.read(buffer, 256);
    EXPECT_EQ(report.outcome, Outcome::busy);
    EXPECT_EQ(report.underrun_frames, 256u);
    EXPECT_EQ(report.read_frames, 0u);
    EXPECT_EQ(capture.frames[0], (StereoFrame{}));
    EXPECT_EQ(capture.frames[255], (StereoFrame{}));

    // The producer gives up after its bounded wait and drops its samples.
    const auto started = std::chrono::steady_clock::now();
    auto appended = buffer.append_within(constant_frames(100, 1));
    const auto waited = std::chrono::steady_clock::now() - started;
    ASSERT_TRUE(appended);
    EXPECT_TRUE(appended->contended);
    EXPECT_EQ(appended->append.stored_frames, 0u);
    EXPECT_GE(waited, std::chrono::microseconds(2000));

    release = true;
    holder.join();
    auto snapshot = buffer.snapshot();
    ASSERT_TRUE(snapshot);
    EXPECT_EQ(snapshot->buffered_frames, 7999u);  // the contended batch was not stored
}

// Producer and device threads hammer the buffer while the producer mutes,
// unmutes and reconfigures (clear, pipeline reset, policy reset). Every read
// accounts for all of its frames and nothing crashes or races.
TEST(SharedAudioPlaybackBuffer, SurvivesMuteStormsAndReconfigurationWhilePlaying) {
    SharedAudioPlaybackBuffer buffer;
    std::atomic<bool> done{false};
    std::atomic<std::uint64_t> reads{0};
    std::atomic<bool> consistent{true};
    std::thread device([&] {
        std::vector<StereoFrame> area(512);
        while (!done) {
            const PlaybackReadReport report =
                buffer.try_read(area.size(), [&](std::size_t i, StereoFrame f) { area[i] = f; });
            const bool accounted =
                report.outcome == Outcome::priming
                    ? report.read_frames == 0 && report.underrun_frames == 0
                    : report.read_frames + report.underrun_frames == report.requested_frames;
            if (!accounted) {
                consistent = false;
            }
            ++reads;
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    });

    auto pipeline = AudioOutputPipeline::create(32768, 32768, 48000);
    ASSERT_TRUE(pipeline);
    const std::vector<std::int16_t> batch(2 * 549, 3000);
    for (int round = 0; round < 400; ++round) {
        const auto mode = round % 2 == 0 ? AudioPlaybackMode::standard : AudioPlaybackMode::netplay;
        if (round % 50 == 0) {
            ASSERT_TRUE(buffer.reset(
                AudioPlaybackPolicy::for_output(mode, round % 100 == 0 ? 48000 : 44100)));
            auto rebuilt = AudioOutputPipeline::create(32768, round % 100 == 0 ? 65536 : 16384,
                                                       round % 100 == 0 ? 48000 : 44100);
            ASSERT_TRUE(rebuilt);
            *pipeline = std::move(*rebuilt);
        }
        if (round % 3 == 0) {  // mute toggles clear the buffer and reset the pipeline
            ASSERT_TRUE(pipeline->reset());
            ASSERT_TRUE(buffer.clear());
        }
        for (int i = 0; i < 20; ++i) {
            auto converted = pipeline->process(batch);
            ASSERT_TRUE(converted);
            auto appended = buffer.append_within(*converted);
            ASSERT_TRUE(appended);
            EXPECT_LE(appended->buffered_frames, appended->capacity_frames);
        }
    }
    done = true;
    device.join();
    EXPECT_TRUE(consistent);
    EXPECT_GT(reads.load(), 0u);
}

}  // namespace
}  // namespace lk
