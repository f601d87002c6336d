// Audio path costs, ours side by side with libsoxr (high quality) doing the
// same conversion, and the playback buffer's device read against memcpy.
// Every resampling benchmark converts one second of core audio per
// iteration in batches of one emulated frame (rate / 60 frames), so the time
// per iteration is the CPU cost per second of audio; "realtime" is how many
// seconds of audio one second of CPU converts (100 / realtime = % of a core).
#include <soxr.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <numbers>
#include <vector>

#include <benchmark/benchmark.h>

#include "audio/audio_output_pipeline.hpp"
#include "audio/cubic_resampler.hpp"
#include "audio/shared_audio_playback_buffer.hpp"
#include "audio/sinc_resampler.hpp"

namespace lk::bench {
namespace {

constexpr std::uint32_t kOutputRate = 48000;

std::uint32_t input_rate_of(const benchmark::State& state) {
    return static_cast<std::uint32_t>(state.range(0));
}

// One second of a stereo test signal (two tones and a little noise-like
// detail) as interleaved 16-bit samples.
std::vector<std::int16_t> one_second(std::uint32_t rate) {
    std::vector<std::int16_t> samples(2 * std::size_t{rate});
    std::uint32_t seed = 12345;
    for (std::size_t i = 0; i < rate; ++i) {
        const double t = static_cast<double>(i) / rate;
        seed = seed * 1664525u + 1013904223u;
        const double noise = static_cast<double>(seed >> 20) / 4096.0 - 0.5;
        samples[2 * i] = static_cast<std::int16_t>(
            12000.0 * std::sin(2.0 * std::numbers::pi * 440.0 * t) + 500.0 * noise);
        samples[2 * i + 1] = static_cast<std::int16_t>(
            9000.0 * std::sin(2.0 * std::numbers::pi * 3000.0 * t) - 500.0 * noise);
    }
    return samples;
}

std::size_t batch_frames(std::uint32_t rate) {
    return rate / 60;
}

void finish(benchmark::State& state) {
    state.counters["realtime"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// ---- the whole pipeline (int16 stereo in, int16 stereo out) ---------------

void BM_Pipeline(benchmark::State& state) {
    const std::uint32_t rate = input_rate_of(state);
    auto pipeline = AudioOutputPipeline::create(rate, rate, kOutputRate);
    if (!pipeline) {
        state.SkipWithError(pipeline.error().message().c_str());
        return;
    }
    const auto audio = one_second(rate);
    const std::size_t batch = batch_frames(rate);
    for (auto _ : state) {
        for (std::size_t at = 0; at < rate; at += batch) {
            const std::size_t frames = std::min<std::size_t>(batch, rate - at);
            auto out = pipeline->process(std::span(audio).subspan(2 * at, 2 * frames));
            benchmark::DoNotOptimize(out->data());
        }
    }
    state.SetLabel(pipeline->resampler_kind() == ResamplerKind::sinc ? "sinc" : "cubic");
    finish(state);
}

// The pipeline at the mgba rate pair plus the playback buffer: appends and
// the device's reads of 480 frames into F32, the whole audio path.
void BM_WholeAudioPath(benchmark::State& state) {
    const std::uint32_t rate = input_rate_of(state);
    auto pipeline = AudioOutputPipeline::create(rate, rate, kOutputRate);
    SharedAudioPlaybackBuffer buffer;
    const auto audio = one_second(rate);
    const std::size_t batch = batch_frames(rate);
    std::vector<float> device(2 * 480);
    for (auto _ : state) {
        for (std::size_t at = 0; at < rate; at += batch) {
            const std::size_t frames = std::min<std::size_t>(batch, rate - at);
            auto out = pipeline->process(std::span(audio).subspan(2 * at, 2 * frames));
            auto appended = buffer.append_within(*out);
            benchmark::DoNotOptimize(appended);
        }
        for (int read = 0; read < 100; ++read) {  // 48000 frames
            buffer.try_read(480, [&](std::size_t i, StereoFrame frame) {
                device[2 * i] = static_cast<float>(frame.left * 800 / 1000) / 32768.0f;
                device[2 * i + 1] = static_cast<float>(frame.right * 800 / 1000) / 32768.0f;
            });
            benchmark::DoNotOptimize(device.data());
        }
    }
    finish(state);
}

// ---- resamplers alone (planar float), ours and libsoxr ----------------------

template <ResamplerKind Kind>
void BM_Resampler(benchmark::State& state) {
    const std::uint32_t rate = input_rate_of(state);
    auto resampler = Kind == ResamplerKind::sinc ? SincResampler::create(rate, kOutputRate)
                                                 : CubicResampler::create(rate, kOutputRate);
    const auto audio = one_second(rate);
    std::vector<float> left(rate);
    std::vector<float> right(rate);
    for (std::size_t i = 0; i < rate; ++i) {
        left[i] = audio[2 * i] / 32768.0f;
        right[i] = audio[2 * i + 1] / 32768.0f;
    }
    std::vector<float> out_left(Resampler::kChunkFrames);
    std::vector<float> out_right(Resampler::kChunkFrames);
    std::size_t at = 0;
    for (auto _ : state) {
        // One second of output: kOutputRate / 512 chunks (93.75: alternate 93 and 94).
        std::size_t produced = 0;
        while (produced < kOutputRate) {
            const std::size_t needed = (*resampler)->input_frames_next();
            if (at + needed > rate) {
                at = 0;
            }
            auto step =
                (*resampler)
                    ->process_chunk(std::span(left).subspan(at, needed),
                                    std::span(right).subspan(at, needed), out_left, out_right);
            benchmark::DoNotOptimize(out_left.data());
            at += needed;
            produced += Resampler::kChunkFrames;
        }
    }
    finish(state);
}

// libsoxr, high quality, streaming int16 interleaved stereo in emulated-frame
// batches: the same job as BM_Pipeline.
void BM_SoxrInt16(benchmark::State& state) {
    const std::uint32_t rate = input_rate_of(state);
    const soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_error_t error = nullptr;
    soxr_t soxr = soxr_create(rate, kOutputRate, 2, &error, &io, &quality, nullptr);
    if (error != nullptr) {
        state.SkipWithError(error);
        return;
    }
    const auto audio = one_second(rate);
    const std::size_t batch = batch_frames(rate);
    std::vector<std::int16_t> out(2 * 4096);
    for (auto _ : state) {
        for (std::size_t at = 0; at < rate; at += batch) {
            const std::size_t frames = std::min<std::size_t>(batch, rate - at);
            std::size_t done_in = 0;
            std::size_t done_out = 0;
            soxr_process(soxr, audio.data() + 2 * at, frames, &done_in, out.data(), 4096,
                         &done_out);
            benchmark::DoNotOptimize(out.data());
        }
    }
    soxr_delete(soxr);
    finish(state);
}

// libsoxr, high quality, planar float: the same job as BM_Resampler.
void BM_SoxrFloat(benchmark::State& state) {
    const std::uint32_t rate = input_rate_of(state);
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_S, SOXR_FLOAT32_S);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_error_t error = nullptr;
    soxr_t soxr = soxr_create(rate, kOutputRate, 2, &error, &io, &quality, nullptr);
    if (error != nullptr) {
        state.SkipWithError(error);
        return;
    }
    const auto audio = one_second(rate);
    std::vector<float> left(rate);
    std::vector<float> right(rate);
    for (std::size_t i = 0; i < rate; ++i) {
        left[i] = audio[2 * i] / 32768.0f;
        right[i] = audio[2 * i + 1] / 32768.0f;
    }
    const std::size_t batch = batch_frames(rate);
    std::vector<float> out_left(4096);
    std::vector<float> out_right(4096);
    for (auto _ : state) {
        for (std::size_t at = 0; at < rate; at += batch) {
            const std::size_t frames = std::min<std::size_t>(batch, rate - at);
            const float* in[2] = {left.data() + at, right.data() + at};
            float* out[2] = {out_left.data(), out_right.data()};
            std::size_t done_in = 0;
            std::size_t done_out = 0;
            soxr_process(soxr, in, frames, &done_in, out, 4096, &done_out);
            benchmark::DoNotOptimize(out_left.data());
        }
    }
    soxr_delete(soxr);
    finish(state);
}

// ---- playback buffer ---------------------------------------------------------

constexpr std::size_t kDeviceFrames = 480;

// The device read: try-lock, fades, and conversion of 480 frames to F32.
void BM_PlaybackBufferRead(benchmark::State& state) {
    SharedAudioPlaybackBuffer buffer;
    constexpr int kReadsPerRefill = 64;
    const std::vector<std::int16_t> refill(2 * kReadsPerRefill * kDeviceFrames, 1000);
    std::vector<float> device(2 * kDeviceFrames);
    int reads = 0;
    for (auto _ : state) {
        if (reads++ % kReadsPerRefill == 0) {
            state.PauseTiming();
            benchmark::DoNotOptimize(buffer.append_within(refill));
            state.ResumeTiming();
        }
        buffer.try_read(kDeviceFrames, [&](std::size_t i, StereoFrame frame) {
            device[2 * i] = static_cast<float>(frame.left * 800 / 1000) / 32768.0f;
            device[2 * i + 1] = static_cast<float>(frame.right * 800 / 1000) / 32768.0f;
        });
        benchmark::DoNotOptimize(device.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kDeviceFrames));
}

// The physical limit for the same bytes: copying 480 stereo int16 frames.
void BM_MemcpyDeviceBlock(benchmark::State& state) {
    const std::vector<std::int16_t> source(2 * kDeviceFrames, 1000);
    std::vector<std::int16_t> target(2 * kDeviceFrames);
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), source.size() * sizeof(std::int16_t));
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kDeviceFrames));
}

// The producer side: appending one emulated frame's worth (800 frames at 48 kHz).
void BM_PlaybackBufferAppend(benchmark::State& state) {
    SharedAudioPlaybackBuffer buffer;
    const std::vector<std::int16_t> batch(2 * 800, 1000);
    for (auto _ : state) {
        benchmark::DoNotOptimize(buffer.append_within(batch));
    }
    state.SetItemsProcessed(state.iterations() * 800);
}

BENCHMARK(BM_Pipeline)->Arg(32768)->Arg(44100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SoxrInt16)->Arg(32768)->Arg(44100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Resampler<ResamplerKind::cubic>)
    ->Arg(32768)
    ->Arg(44100)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Resampler<ResamplerKind::sinc>)->Arg(32768)->Arg(44100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SoxrFloat)->Arg(32768)->Arg(44100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholeAudioPath)->Arg(32768)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlaybackBufferRead);
BENCHMARK(BM_PlaybackBufferAppend);
BENCHMARK(BM_MemcpyDeviceBlock);

}  // namespace
}  // namespace lk::bench

BENCHMARK_MAIN();
