// Plays a tone through the desktop audio sink on the real ALSA host, or
// analyses a captured s16le stereo recording.
//
//   audio_device_probe play <seconds> <volume 0..1> <muted 0|1> [device name]
//       (LK_PROBE_SPEED sets the playback speed: the tone is fed that much
//        faster and comes out that much higher; LK_PROBE_UNMUTE_AFTER=<s>
//        unmutes a muted sink that many seconds into the tone)
//   audio_device_probe analyze <file.raw> <min Hz> <max Hz> <min peak> <max peak>
//
// `play` waits until the device consumes audio steadily (a PulseAudio stream
// can take a moment to start) before it plays 440 Hz at half of full scale.
// `analyze` looks at the second that starts 0.5 s after the tone's onset
// (or at the whole recording when it holds no tone), estimates the frequency of the left channel
// from its zero crossings and its peak level from the RMS (peak = RMS * sqrt 2,
// as a fraction of full scale), prints both and exits 0 when both are in range.
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "audio/alsa_audio_output_host.hpp"
#include "audio/desktop_audio_sink.hpp"

namespace {

constexpr double kRate = 48000.0;
constexpr double kToneHz = 440.0;
constexpr std::size_t kBatchFrames = 800;  // one 60 Hz frame of audio

int play(double seconds, float volume, bool muted, const char* device) {
    auto sink =
        std::make_unique<lk::DesktopAudioSink>(std::make_shared<lk::AlsaAudioOutputHost>(), true);
    lk::AudioSinkSettings settings;
    if (device != nullptr) {
        settings.output_device = device;
    }
    settings.volume = volume;
    settings.muted = muted;
    if (auto set = sink->set_settings(settings); !set) {
        std::fprintf(stderr, "set_settings: %s\n", set.error().message().c_str());
        return 1;
    }
    const char* speed_text = std::getenv("LK_PROBE_SPEED");
    const double speed = speed_text != nullptr ? std::atof(speed_text) : 1.0;
    lk::AudioStreamDescriptor descriptor;
    descriptor.sample_rate = kRate;
    descriptor.source_sample_rate = kRate;
    descriptor.playback_speed = speed;
    if (auto configured = sink->configure(descriptor, lk::AudioPlaybackMode::standard);
        !configured) {
        std::fprintf(stderr, "configure: %s\n", configured.error().message().c_str());
        return 1;
    }
    const auto warm_up_until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (sink->device_state().requested_frames.load() < static_cast<std::uint64_t>(kRate / 2)) {
        if (std::chrono::steady_clock::now() > warm_up_until) {
            std::fprintf(stderr, "the device never started consuming audio\n");
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const auto batches = static_cast<std::size_t>(seconds * kRate * speed / kBatchFrames);
    auto deadline = std::chrono::steady_clock::now();
    std::uint64_t frame = 0;
    const char* unmute_text = std::getenv("LK_PROBE_UNMUTE_AFTER");
    const auto unmute_at_batch =
        unmute_text != nullptr
            ? static_cast<std::size_t>(std::atof(unmute_text) * kRate * speed / kBatchFrames)
            : batches;
    for (std::size_t b = 0; b < batches; ++b) {
        if (b == unmute_at_batch) {
            if (auto unmuted = sink->set_muted(false); !unmuted) {
                std::fprintf(stderr, "set_muted: %s\n", unmuted.error().message().c_str());
                return 1;
            }
        }
        lk::AudioSampleBatch batch;
        batch.frames = kBatchFrames;
        batch.samples.resize(2 * kBatchFrames);
        for (std::size_t i = 0; i < kBatchFrames; ++i, ++frame) {
            const double phase =
                2.0 * std::numbers::pi * kToneHz * static_cast<double>(frame) / kRate;
            const auto value = static_cast<std::int16_t>(std::lround(16384.0 * std::sin(phase)));
            batch.samples[2 * i] = value;
            batch.samples[2 * i + 1] = value;
        }
        if (auto pushed = sink->push_samples(std::move(batch)); !pushed) {
            std::fprintf(stderr, "push_samples: %s\n", pushed.error().message().c_str());
            return 1;
        }
        deadline +=
            std::chrono::microseconds(static_cast<long>(kBatchFrames * 1e6 / (kRate * speed)));
        std::this_thread::sleep_until(deadline);
    }
    // Let the buffered audio drain before the stream is discarded.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return sink->stop() ? 0 : 1;
}

int analyze(const char* path, double min_hz, double max_hz, double min_peak, double max_peak) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::int16_t> samples;
    std::int16_t pair[2];
    while (in.read(reinterpret_cast<char*>(pair), sizeof pair)) {
        samples.push_back(pair[0]);
    }
    std::size_t onset = 0;
    while (onset < samples.size() && std::abs(samples[onset]) < 1000) {
        ++onset;
    }
    const bool tone = onset < samples.size();
    const std::size_t skip = tone ? onset + static_cast<std::size_t>(kRate / 2) : 0;
    const std::size_t end = tone ? skip + static_cast<std::size_t>(kRate) : samples.size();
    if (samples.size() < end || end - skip < static_cast<std::size_t>(kRate)) {
        std::printf("too short: %zu frames\n", samples.size());
        return 1;
    }
    double sum_sq = 0.0;
    std::size_t crossings = 0;
    std::size_t first = 0;
    std::size_t last = 0;
    for (std::size_t i = skip; i < end; ++i) {
        sum_sq += static_cast<double>(samples[i]) * samples[i];
        if (i > skip && samples[i - 1] < 0 && samples[i] >= 0) {
            if (crossings == 0) {
                first = i;
            }
            last = i;
            ++crossings;
        }
    }
    const double rms = std::sqrt(sum_sq / static_cast<double>(end - skip));
    const double peak = rms * std::numbers::sqrt2 / 32768.0;
    const double hz = crossings > 1 ? static_cast<double>(crossings - 1) * kRate /
                                          static_cast<double>(last - first)
                                    : 0.0;
    std::printf("frames=%zu frequency=%.1fHz peak=%.4f\n", samples.size(), hz, peak);
    const bool hz_ok = min_hz <= 0.0 || (hz >= min_hz && hz <= max_hz);
    return hz_ok && peak >= min_peak && peak <= max_peak ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "play" && argc >= 5) {
        return play(std::atof(argv[2]), static_cast<float>(std::atof(argv[3])),
                    std::atoi(argv[4]) != 0, argc > 5 ? argv[5] : nullptr);
    }
    if (mode == "analyze" && argc == 7) {
        return analyze(argv[2], std::atof(argv[3]), std::atof(argv[4]), std::atof(argv[5]),
                       std::atof(argv[6]));
    }
    std::fprintf(stderr, "usage: see the header of audio_device_probe.cpp\n");
    return 2;
}
