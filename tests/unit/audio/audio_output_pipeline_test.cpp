#include "audio/audio_output_pipeline.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "audio/audio_sample_rate.hpp"
#include "tone_analysis.hpp"

namespace lk {
namespace {

std::vector<std::int16_t> constant_frames(std::size_t frames, std::int16_t left,
                                          std::int16_t right) {
    std::vector<std::int16_t> samples(2 * frames);
    for (std::size_t i = 0; i < frames; ++i) {
        samples[2 * i] = left;
        samples[2 * i + 1] = right;
    }
    return samples;
}

AudioOutputPipeline make(std::uint32_t source, std::uint32_t input, std::uint32_t output) {
    auto pipeline = AudioOutputPipeline::create(source, input, output);
    EXPECT_TRUE(pipeline) << pipeline.error().message();
    return std::move(*pipeline);
}

TEST(AudioOutputPipeline, ChoosesResamplerByInputRateAndSmoothingBySourceRate) {
    struct Case {
        std::uint32_t source, input, output;
        ResamplerKind kind;
        bool smoothing;
    };
    const Case cases[] = {
        {48000, 48000, 48000, ResamplerKind::none, false},
        {32000, 32000, 48000, ResamplerKind::cubic, true},
        {32768, 32768, 48000, ResamplerKind::cubic, true},
        {44100, 22050, 48000, ResamplerKind::cubic, false},  // speed 0.5
        {32000, 64000, 48000, ResamplerKind::sinc, true},    // speed 2.0
        {44100, 44100, 48000, ResamplerKind::sinc, false},
        {48000, 48000, 44100, ResamplerKind::sinc, false},
        {39999, 39999, 48000, ResamplerKind::cubic, false},
        {40000, 40000, 48000, ResamplerKind::sinc, false},
        {34000, 34000, 48000, ResamplerKind::cubic, true},
        {34001, 34001, 48000, ResamplerKind::cubic, false},
        {32000, 48000, 48000, ResamplerKind::none, true},  // speed 1.5
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.source << " " << c.input << " " << c.output);
        const AudioOutputPipeline pipeline = make(c.source, c.input, c.output);
        EXPECT_EQ(pipeline.resampler_kind(), c.kind);
        EXPECT_EQ(pipeline.low_rate_smoothing(), c.smoothing);
        EXPECT_EQ(pipeline.output_chunk_frames(), c.kind == ResamplerKind::none ? 0u : 512u);
        EXPECT_EQ(pipeline.source_rate(), c.source);
        EXPECT_EQ(pipeline.input_rate(), c.input);
        EXPECT_EQ(pipeline.output_rate(), c.output);
    }
}

TEST(AudioOutputPipeline, RejectsZeroAndUnsupportedRatesWithoutCrashing) {
    for (const auto& rates : {std::array<std::uint32_t, 3>{0, 48000, 48000},
                              std::array<std::uint32_t, 3>{48000, 0, 48000},
                              std::array<std::uint32_t, 3>{48000, 48000, 0}}) {
        const auto pipeline = AudioOutputPipeline::create(rates[0], rates[1], rates[2]);
        ASSERT_FALSE(pipeline);
        EXPECT_EQ(pipeline.error().message(), "Audio sample rates must be positive.");
    }
    const auto huge = AudioOutputPipeline::create(48000, 4294967295u, 48000);
    ASSERT_FALSE(huge);
    EXPECT_EQ(huge.error().message(),
              "Resampling from 4294967295 Hz to 48000 Hz is outside the supported ratio range "
              "of 1/256 to 256.");
    EXPECT_FALSE(AudioOutputPipeline::create(1, 1, 48000));
    // Extreme but supported ratios and an extreme equal pair still work.
    EXPECT_FALSE(AudioOutputPipeline::create(48000, 187, 48000));  // just above 256
    for (const auto& rates :
         {std::array<std::uint32_t, 3>{48000, 188, 48000},
          std::array<std::uint32_t, 3>{48000, 12288000, 48000},
          std::array<std::uint32_t, 3>{4294967295u, 4294967295u, 4294967295u}}) {
        auto pipeline = make(rates[0], rates[1], rates[2]);
        EXPECT_TRUE(pipeline.process(constant_frames(2000, 100, -100)));
    }
}

TEST(AudioOutputPipeline, SampleRatesFromHzRoundAndRejectBadValues) {
    EXPECT_EQ(audio_sample_rate_from_hz(32768.0), 32768u);
    EXPECT_EQ(audio_sample_rate_from_hz(44100.4), 44100u);
    EXPECT_EQ(audio_sample_rate_from_hz(32000.0 * 2.0), 64000u);
    EXPECT_EQ(audio_sample_rate_from_hz(0.5), 1u);
    EXPECT_EQ(audio_sample_rate_from_hz(4294967295.0), 4294967295u);
    for (const double bad :
         {0.0, 0.4, -1.0, -48000.0, std::numeric_limits<double>::quiet_NaN(),
          std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()}) {
        const auto rate = audio_sample_rate_from_hz(bad);
        ASSERT_FALSE(rate) << bad;
        EXPECT_EQ(rate.error().message(), "Audio sample rate must be positive.");
    }
    for (const double huge : {4294967295.5, 1e12, std::numeric_limits<double>::max()}) {
        const auto rate = audio_sample_rate_from_hz(huge);
        ASSERT_FALSE(rate) << huge;
        EXPECT_EQ(rate.error().message(), "Audio sample rate exceeds u32.");
    }
}

TEST(AudioOutputPipeline, PassThroughScalesBy32768InAnd32767Out) {
    AudioOutputPipeline pipeline = make(48000, 48000, 48000);
    std::vector<std::int16_t> every_value;
    for (int v = -32768; v <= 32767; ++v) {
        every_value.push_back(static_cast<std::int16_t>(v));
        every_value.push_back(static_cast<std::int16_t>(-1 - v));
    }
    const auto out = pipeline.process(every_value);
    ASSERT_TRUE(out);
    ASSERT_EQ(out->size(), every_value.size());
    for (std::size_t i = 0; i < every_value.size(); ++i) {
        // Single-precision arithmetic throughout, halves rounded away from zero.
        const float scaled = static_cast<float>(every_value[i]) / 32768.0f * 32767.0f;
        ASSERT_EQ((*out)[i], static_cast<std::int16_t>(std::round(scaled))) << every_value[i];
        ASSERT_LE(std::abs((*out)[i] - every_value[i]), 1);
    }
    EXPECT_EQ((*out)[0], -32767);  // full-scale negative
    EXPECT_EQ((*out)[1], 32766);   // 32767 in gives 32766 out
    EXPECT_EQ(pipeline.process(std::vector<std::int16_t>{16384, 16384, -16384})->size(), 2u);
}

TEST(AudioOutputPipeline, HoldsInputUntilAChunkIsDueAndEmitsWholeChunks) {
    AudioOutputPipeline pipeline = make(44100, 44100, 48000);
    // The first chunk needs floor(511 x 44100 / 48000) + 33 frames.
    const std::size_t first = 511 * 44100 / 48000 + 33;
    auto out = pipeline.process(constant_frames(first - 1, 1000, -1000));
    ASSERT_TRUE(out);
    EXPECT_TRUE(out->empty());
    EXPECT_EQ(pipeline.queued_input_frames(), first - 1);
    out = pipeline.process(constant_frames(1, 1000, -1000));
    ASSERT_TRUE(out);
    EXPECT_EQ(out->size(), 2u * 512);
    EXPECT_EQ(pipeline.queued_input_frames(), 0u);

    // Over a long run the output tracks the rate ratio, in whole chunks.
    std::uint64_t input_frames = first;
    std::uint64_t output_frames = 512;
    for (int i = 0; i < 200; ++i) {
        const std::size_t batch = 700 + static_cast<std::size_t>(i % 7) * 31;
        out = pipeline.process(constant_frames(batch, 1000, -1000));
        ASSERT_TRUE(out);
        EXPECT_EQ(out->size() % (2 * 512), 0u);
        input_frames += batch;
        output_frames += out->size() / 2;
        // Less than one chunk's request waits: at most ceil(512 x 44100 / 48000) - 1.
        EXPECT_LE(pipeline.queued_input_frames(), 470u);
    }
    const double expected = static_cast<double>(input_frames) * 48000.0 / 44100.0;
    EXPECT_NEAR(static_cast<double>(output_frames), expected, 512.0 + 40.0);
    // A settled constant comes out at its level: 1000 / 32768 x 32767, rounded.
    EXPECT_NEAR((*out)[out->size() - 2], 1000, 1);
    EXPECT_NEAR((*out)[out->size() - 1], -1000, 1);
}

TEST(AudioOutputPipeline, SmoothingSettlesFullScaleAtTheSoftLimitAndCarriesState) {
    // Source 32000 Hz at speed 1.5: no resampling, smoothing on.
    AudioOutputPipeline pipeline = make(32000, 48000, 48000);
    auto out = pipeline.process(constant_frames(200, 32767, -32768));
    ASSERT_TRUE(out);
    // The first frame is the low-pass step 0.4 x input, scaled by 0.75, below the knee.
    const double first = std::round(0.75 * 0.4 * (32767.0 / 32768.0) * 32767.0);
    EXPECT_NEAR((*out)[0], first, 1.0);
    const double settled = (0.6714 + (0.75 - 0.6714) * 0.25) * 32767.0;  // about 0.691
    EXPECT_NEAR((*out)[398], settled, 2.0);
    EXPECT_NEAR((*out)[399], -settled, 2.0);

    // The filter state carries across calls and is dropped by reset.
    out = pipeline.process(constant_frames(1, 0, 0));
    ASSERT_TRUE(out);
    EXPECT_NEAR((*out)[0], 0.6 * 0.75 * 32767.0, 2.0);
    ASSERT_TRUE(pipeline.reset());
    out = pipeline.process(constant_frames(1, 0, 0));
    ASSERT_TRUE(out);
    EXPECT_EQ((*out)[0], 0);
}

TEST(AudioOutputPipeline, ResetDropsQueuedInputAndKeepsTheRates) {
    AudioOutputPipeline pipeline = make(32768, 65536, 48000);
    ASSERT_TRUE(pipeline.process(constant_frames(100, 5000, 5000)));
    EXPECT_EQ(pipeline.queued_input_frames(), 100u);
    ASSERT_TRUE(pipeline.reset());
    EXPECT_EQ(pipeline.queued_input_frames(), 0u);
    EXPECT_EQ(pipeline.input_rate(), 65536u);
    EXPECT_EQ(pipeline.resampler_kind(), ResamplerKind::sinc);
    EXPECT_TRUE(pipeline.low_rate_smoothing());
}

TEST(AudioOutputPipeline, PlaybackSpeedRaisesThePitchThroughTheInputRate) {
    struct Case {
        std::uint32_t source, input;
        double speed;
    };
    for (const Case c :
         {Case{32000, 64000, 2.0}, Case{44100, 22050, 0.5}, Case{32768, 32768, 1.0}}) {
        SCOPED_TRACE(c.speed);
        AudioOutputPipeline pipeline = make(c.source, c.input, 48000);
        // One second of a 1 kHz tone as the core produces it, in 549-frame batches.
        const auto tone = test::sine(1000.0, c.source, c.source, 16000.0);
        std::vector<float> output;
        for (std::size_t at = 0; at < tone.size(); at += 549) {
            std::vector<std::int16_t> batch;
            for (std::size_t i = at; i < std::min(tone.size(), at + 549); ++i) {
                batch.push_back(static_cast<std::int16_t>(std::lround(tone[i])));
                batch.push_back(0);
            }
            const auto out = pipeline.process(batch);
            ASSERT_TRUE(out);
            for (std::size_t i = 0; i < out->size(); i += 2) {
                output.push_back(static_cast<float>((*out)[i]) / 32767.0f);
                ASSERT_EQ((*out)[i + 1], 0);  // channels stay apart
            }
        }
        // The core's second lasts 1 / speed seconds at the device.
        const double expected_frames = 48000.0 / c.speed;
        EXPECT_NEAR(static_cast<double>(output.size()), expected_frames, 512.0 + 40.0);
        const std::size_t count = static_cast<std::size_t>(expected_frames) / 2;
        EXPECT_NEAR(test::measure_frequency(output, 1000.0 * c.speed, 48000.0, 2000, count),
                    1000.0 * c.speed, 0.01);
    }
}

TEST(AudioOutputPipeline, ConvertsAHugeBatchInOneCall) {
    AudioOutputPipeline pipeline = make(32768, 32768, 48000);
    std::vector<std::int16_t> batch(2 * 200000);
    for (std::size_t i = 0; i < batch.size(); ++i) {
        batch[i] = static_cast<std::int16_t>((i * 7919) % 65536 - 32768);
    }
    const auto out = pipeline.process(AudioSampleBatch{batch, 200000});
    ASSERT_TRUE(out);
    const std::size_t chunks = out->size() / (2 * 512);
    EXPECT_EQ(out->size(), chunks * 2 * 512);
    EXPECT_NEAR(static_cast<double>(out->size() / 2), 200000.0 * 48000.0 / 32768.0, 512.0);
    EXPECT_LT(pipeline.queued_input_frames(), 512u * 32768 / 48000 + 4);
}

}  // namespace
}  // namespace lk
