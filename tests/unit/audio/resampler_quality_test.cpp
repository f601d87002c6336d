// Measured quality of both resamplers at the rate pairs the runner meets,
// side by side with libsoxr at its high-quality setting: frequency, passband
// level, and what is not the tone (images when raising the rate, aliases when
// lowering it). Figures go to the log and to the test's XML properties.
#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "audio/audio_output_pipeline.hpp"
#include "audio/cubic_resampler.hpp"
#include "audio/sinc_resampler.hpp"
#include "tone_analysis.hpp"

namespace lk {
namespace {

using test::decibels;

enum class Engine { cubic, sinc, soxr };

const char* name_of(Engine engine) {
    switch (engine) {
        case Engine::cubic:
            return "cubic";
        case Engine::sinc:
            return "sinc";
        case Engine::soxr:
            return "soxr-hq";
    }
    return "?";
}

std::vector<float> run_ours(Resampler& resampler, const std::vector<float>& input) {
    std::vector<float> output;
    std::vector<float> left(Resampler::kChunkFrames);
    std::vector<float> right(Resampler::kChunkFrames);
    std::size_t position = 0;
    while (position + resampler.input_frames_next() <= input.size()) {
        const std::size_t needed = resampler.input_frames_next();
        const std::span<const float> chunk(input.data() + position, needed);
        const Status step = resampler.process_chunk(chunk, chunk, left, right);
        EXPECT_TRUE(step);
        EXPECT_TRUE(std::equal(left.begin(), left.end(), right.begin()));
        output.insert(output.end(), left.begin(), left.end());
        position += needed;
    }
    return output;
}

std::vector<float> run_soxr(std::uint32_t in_rate, std::uint32_t out_rate,
                            const std::vector<float>& input) {
    std::vector<float> output(input.size() * out_rate / in_rate + 1024);
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    std::size_t done_in = 0;
    std::size_t done_out = 0;
    const soxr_error_t error =
        soxr_oneshot(in_rate, out_rate, 1, input.data(), input.size(), &done_in, output.data(),
                     output.size(), &done_out, &io, &quality, nullptr);
    EXPECT_EQ(error, nullptr);
    output.resize(done_out);
    return output;
}

std::vector<float> convert(Engine engine, std::uint32_t in_rate, std::uint32_t out_rate,
                           const std::vector<float>& input) {
    if (engine == Engine::soxr) {
        return run_soxr(in_rate, out_rate, input);
    }
    auto resampler = engine == Engine::sinc ? SincResampler::create(in_rate, out_rate)
                                            : CubicResampler::create(in_rate, out_rate);
    EXPECT_TRUE(resampler);
    return run_ours(**resampler, input);
}

struct ToneResult {
    double frequency = 0.0;
    double level_db = 0.0;     // tone level relative to the input tone
    double spurious_db = 0.0;  // everything else relative to the tone
};

constexpr double kAmplitude = 0.5;

// Converts 1.3 s of a sine and analyses one second of output after 0.2 s.
ToneResult measure(Engine engine, std::uint32_t in_rate, std::uint32_t out_rate, double frequency) {
    const auto input = test::sine(frequency, in_rate, in_rate * 13 / 10, kAmplitude);
    const std::vector<float> output = convert(engine, in_rate, out_rate, input);
    const std::size_t begin = out_rate / 5;
    const std::size_t count = out_rate;
    EXPECT_GE(output.size(), begin + count);
    if (output.size() < begin + count) {
        return {};
    }
    const test::ToneFit fit = test::fit_tone(output, frequency, out_rate, begin, count);
    ToneResult result;
    result.frequency = test::measure_frequency(output, frequency, out_rate, begin, count);
    result.level_db = decibels(fit.amplitude / kAmplitude);
    result.spurious_db = decibels(fit.residual_rms / (fit.amplitude / std::sqrt(2.0)));
    return result;
}

// Output level of a tone the conversion must remove, relative to the input tone.
double rejection_db(Engine engine, std::uint32_t in_rate, std::uint32_t out_rate,
                    double frequency) {
    const auto input = test::sine(frequency, in_rate, in_rate * 13 / 10, kAmplitude);
    const std::vector<float> output = convert(engine, in_rate, out_rate, input);
    const std::size_t begin = out_rate / 5;
    EXPECT_GE(output.size(), begin + out_rate);
    if (output.size() < begin + out_rate) {
        return 0.0;
    }
    return decibels(test::rms(output, begin, out_rate) / (kAmplitude / std::sqrt(2.0)));
}

struct RatePair {
    std::uint32_t in, out;
};

constexpr RatePair kPairs[] = {{32768, 48000}, {44100, 48000}, {48000, 44100}, {64000, 48000}};

// Frequencies as fractions of the lower Nyquist frequency of the pair.
constexpr double kPassbandFractions[] = {0.01, 0.1, 0.3, 0.5, 0.7, 0.8, 0.85, 0.9};

// What each engine must achieve at a tone of `fraction` of the lower Nyquist.
void check(Engine engine, double fraction, const ToneResult& result) {
    switch (engine) {
        case Engine::sinc:
            // Flat and clean up to 0.8; above it the transition band of 64 taps
            // under a squared Blackman-Harris window (cutoff 0.95) is under way:
            // about -0.15 to -0.5 dB at 0.85 and -1.4 to -2.1 dB at 0.9.
            if (fraction <= 0.8) {
                EXPECT_NEAR(result.level_db, 0.0, 0.1);
                EXPECT_LT(result.spurious_db, -120.0);
            } else {
                EXPECT_LT(result.level_db, -0.1);
                EXPECT_GT(result.level_db, -2.5);
                EXPECT_LT(result.spurious_db, -60.0);
            }
            break;
        case Engine::cubic:
            // Cubic interpolation droops and leaves images that grow with frequency.
            if (fraction <= 0.3) {
                EXPECT_NEAR(result.level_db, 0.0, 0.1);
                EXPECT_LT(result.spurious_db, -44.0);
            }
            if (fraction <= 0.1) {
                EXPECT_LT(result.spurious_db, -80.0);
            }
            EXPECT_LT(result.level_db, 0.001);
            EXPECT_GT(result.level_db, -6.0);
            break;
        case Engine::soxr:
            // The reference; also proves the measurement itself.
            EXPECT_NEAR(result.level_db, 0.0, 0.01);
            EXPECT_LT(result.spurious_db, -120.0);
            break;
    }
}

void report(const std::string& key, double value) {
    testing::Test::RecordProperty(key, fmt::format("{:.4f}", value));
}

TEST(ResamplerQuality, PreservesFrequencyAndPassbandLevelSideBySideWithSoxr) {
    for (const RatePair pair : kPairs) {
        const double nyquist = std::min(pair.in, pair.out) / 2.0;
        for (const double fraction : kPassbandFractions) {
            const double frequency = std::round(fraction * nyquist);
            std::string line =
                fmt::format("{:>5} -> {:>5} Hz, tone {:>5} Hz ({:.2f} Nyquist):", pair.in, pair.out,
                            frequency, fraction);
            for (const Engine engine : {Engine::cubic, Engine::sinc, Engine::soxr}) {
                SCOPED_TRACE(line + " " + name_of(engine));
                const ToneResult result = measure(engine, pair.in, pair.out, frequency);
                line += fmt::format("  {} level {:+.3f} dB other {:.1f} dB freq {:+.5f} Hz",
                                    name_of(engine), result.level_db, result.spurious_db,
                                    result.frequency - frequency);
                const std::string key = fmt::format("{}_{}_{}_{}", name_of(engine), pair.in,
                                                    pair.out, static_cast<int>(frequency));
                report(key + "_level_db", result.level_db);
                report(key + "_other_db", result.spurious_db);
                EXPECT_NEAR(result.frequency, frequency, 1e-3);
                check(engine, fraction, result);
            }
            std::printf("%s\n", line.c_str());
        }
    }
}

TEST(ResamplerQuality, RejectsAliasesWhenLoweringTheRate) {
    // Tones between the output and input Nyquist frequencies must vanish.
    for (const RatePair pair : {RatePair{48000, 44100}, RatePair{64000, 48000}}) {
        for (const double frequency : {0.5 * (pair.in + pair.out) / 2.0, pair.in * 0.48}) {
            std::string line = fmt::format("{:>5} -> {:>5} Hz, tone {:>5} Hz (stopband):", pair.in,
                                           pair.out, std::round(frequency));
            for (const Engine engine : {Engine::sinc, Engine::soxr}) {
                const double rejection = rejection_db(engine, pair.in, pair.out, frequency);
                // Near the output Nyquist the sinc's transition band lets some through;
                // well beyond it, it must be gone.
                const bool far = frequency >= 1.2 * pair.out / 2.0;
                EXPECT_LT(rejection, engine == Engine::soxr || far ? -120.0 : -25.0);
                line += fmt::format("  {} {:.1f} dB", name_of(engine), rejection);
                report(fmt::format("{}_{}_{}_{}_alias_db", name_of(engine), pair.in, pair.out,
                                   static_cast<int>(frequency)),
                       rejection);
            }
            std::printf("%s\n", line.c_str());
        }
    }
}

}  // namespace
}  // namespace lk
