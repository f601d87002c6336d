// The clip recorder's cost on the runtime thread: one frame's hand-over of
// audio and video (what the runtime does after each retro_run) with and
// without a recording session, side by side. Frames are paced at the GBA's
// 59.73 Hz so the recording worker encodes and writes concurrently, as in a
// session; only the runtime thread's hand-over is timed.

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>

#include <benchmark/benchmark.h>

#include "audio/null_audio_sink.hpp"
#include "clip_recording/clip_recorder.hpp"
#include "video/null_video_sink.hpp"

namespace lk {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kFramePeriod = std::chrono::microseconds(16743);  // 59.7275 Hz
constexpr std::uint64_t kAudioFramesPerFrame = 549;              // 32768 Hz / 59.7275

// An mgba-sized RGB565 frame (240x160, pitch 512) with some structure.
VideoFrame gba_frame(std::uint32_t seed) {
    std::vector<std::uint8_t> bytes(512 * 160);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>((i / 7 + seed * 13 + (i % 512) / 32) & 0xFF);
    }
    return VideoFrame{"rgb565", PixelBuffer::from_vector(std::move(bytes)), 512, 240, 160};
}

AudioSampleBatch gba_audio(std::uint32_t seed) {
    AudioSampleBatch batch;
    batch.frames = kAudioFramesPerFrame;
    batch.samples.resize(kAudioFramesPerFrame * 2);
    for (std::size_t i = 0; i < batch.samples.size(); ++i) {
        batch.samples[i] = static_cast<std::int16_t>((i * 37 + seed) & 0x3FFF);
    }
    return batch;
}

// The runtime's per-frame output drain, with the recorder's steps when one exists.
struct RuntimeOutputs {
    NullAudioSink audio_sink;
    NullVideoSink video_sink;
    std::optional<VideoFrame> latest_frame;
    std::optional<ClipRecorder> recorder;

    void drain(AudioSampleBatch batch, VideoFrame frame) {
        if (recorder && recorder->recording_active()) {
            recorder->queue_audio_batch(batch);
        }
        (void)audio_sink.push_samples(std::move(batch));

        std::optional<VideoFrame> clip_frame;
        const auto now = Clock::now();
        if (recorder && recorder->recording_active() &&
            (!recorder->last_frame_queued_at ||
             now - *recorder->last_frame_queued_at >= recorder->frame_interval())) {
            recorder->last_frame_queued_at = now;
            clip_frame = frame;
        }
        latest_frame = frame;
        (void)video_sink.push_frame(std::move(frame));
        if (clip_frame) {
            recorder->queue_video_frame(std::move(*clip_frame));
        }
    }
};

void BM_RuntimeFrameHandOff(benchmark::State& state) {
    const bool recording = state.range(0) != 0;
    const std::filesystem::path cache =
        std::filesystem::temp_directory_path() / ("lk-clip-bench-" + std::to_string(::getpid()));
    RuntimeOutputs outputs;
    if (recording) {
        ClipRecorderConfig config;
        config.cache_directory = cache.string();
        config.gstreamer_runtime = GStreamerRuntimeConfig{"gst-launch-1.0", {}, {}, {}};
        config.high_quality = true;  // 30 clip frames per second
        config.replay_buffer_enabled = true;
        auto started = ClipRecorder::start(config, 32768, 59.7275);
        if (!started) {
            state.SkipWithError(started.error().display().c_str());
            return;
        }
        outputs.recorder.emplace(std::move(*started));
    }
    // The core's buffers of a few frames, rebuilt as the callbacks would copy them.
    std::vector<VideoFrame> frames;
    std::vector<AudioSampleBatch> audio;
    for (std::uint32_t i = 0; i < 8; ++i) {
        frames.push_back(gba_frame(i));
        audio.push_back(gba_audio(i));
    }
    std::uint32_t index = 0;
    auto next_frame_at = Clock::now();
    for (auto _ : state) {
        next_frame_at += kFramePeriod;
        VideoFrame frame = frames[index % frames.size()];
        AudioSampleBatch batch = audio[index % audio.size()];
        ++index;
        const auto started = Clock::now();
        outputs.drain(std::move(batch), std::move(frame));
        const auto elapsed = Clock::now() - started;
        state.SetIterationTime(std::chrono::duration<double>(elapsed).count());
        std::this_thread::sleep_until(next_frame_at);
    }
    outputs.recorder.reset();
    std::error_code ignored;
    std::filesystem::remove_all(cache, ignored);
}

BENCHMARK(BM_RuntimeFrameHandOff)
    ->ArgName("recording")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(600)  // 10 s of frames: several segment rotations
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace lk

BENCHMARK_MAIN();
