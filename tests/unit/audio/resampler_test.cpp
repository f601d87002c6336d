#include "audio/resampler.hpp"

#include <cmath>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "audio/cubic_resampler.hpp"
#include "audio/sinc_resampler.hpp"

namespace lk {
namespace {

std::unique_ptr<Resampler> make(bool sinc, std::uint32_t in, std::uint32_t out) {
    auto resampler = sinc ? SincResampler::create(in, out) : CubicResampler::create(in, out);
    EXPECT_TRUE(resampler) << resampler.error().message();
    return std::move(*resampler);
}

// Feeds a constant and returns the last chunk's left output.
std::vector<float> run_constant(Resampler& resampler, float value, int chunks,
                                std::uint64_t* consumed = nullptr) {
    std::vector<float> left(Resampler::kChunkFrames);
    std::vector<float> right(Resampler::kChunkFrames);
    std::uint64_t total = 0;
    for (int c = 0; c < chunks; ++c) {
        const std::vector<float> input(resampler.input_frames_next(), value);
        EXPECT_TRUE(resampler.process_chunk(input, input, left, right));
        total += input.size();
    }
    if (consumed != nullptr) {
        *consumed = total;
    }
    return left;
}

TEST(Resampler, ConsumesExactlyTheRatioWithoutDriftAndKeepsUnityGain) {
    struct Case {
        bool sinc;
        std::uint32_t in, out;
        std::uint64_t after;  // taps after the output position
    };
    const Case cases[] = {
        {false, 32768, 48000, 2},    {false, 22050, 48000, 2},    {false, 188, 48000, 2},
        {true, 44100, 48000, 32},    {true, 48000, 44100, 32},    {true, 64000, 48000, 32},
        {true, 12288000, 48000, 32}, {true, 48000, 12288000, 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << (c.sinc ? "sinc " : "cubic ") << c.in << " -> " << c.out);
        auto resampler = make(c.sinc, c.in, c.out);
        const int chunks = c.in > 1000000 ? 3 : 300;
        std::uint64_t consumed = 0;
        const std::vector<float> last = run_constant(*resampler, 0.5f, chunks, &consumed);
        // Output frame k sits at k x in / out; the last one needs `after` more frames.
        const std::uint64_t last_frame =
            std::uint64_t{Resampler::kChunkFrames} * static_cast<std::uint64_t>(chunks) - 1;
        EXPECT_EQ(consumed, last_frame * c.in / c.out + c.after + 1);
        EXPECT_LE(resampler->input_frames_next(), resampler->input_frames_max());
        for (const float sample : last) {
            ASSERT_NEAR(sample, 0.5f, 2e-6f);
        }
    }
}

TEST(Resampler, RejectsAChunkOfTheWrongSizeAndStaysUsable) {
    auto resampler = make(true, 44100, 48000);
    const std::size_t needed = resampler->input_frames_next();
    std::vector<float> out(Resampler::kChunkFrames);
    const std::vector<float> short_input(needed - 1, 0.25f);
    const Status status = resampler->process_chunk(short_input, short_input, out, out);
    ASSERT_FALSE(status);
    EXPECT_EQ(status.error().message(), "Resampler expected " + std::to_string(needed) +
                                            " input frames per channel but got " +
                                            std::to_string(needed - 1) + " and " +
                                            std::to_string(needed - 1) + ".");
    EXPECT_EQ(resampler->input_frames_next(), needed);
    const std::vector<float> input(needed, 0.25f);
    EXPECT_TRUE(resampler->process_chunk(input, input, out, out));
    std::vector<float> tiny(4);
    EXPECT_FALSE(resampler->process_chunk(std::vector<float>(resampler->input_frames_next()),
                                          std::vector<float>(resampler->input_frames_next()), tiny,
                                          out));
}

TEST(Resampler, RejectsZeroRatesAndRatiosBeyond256) {
    for (const bool sinc : {false, true}) {
        const auto create = [&](std::uint32_t in, std::uint32_t out) {
            return sinc ? SincResampler::create(in, out) : CubicResampler::create(in, out);
        };
        auto zero = create(0, 48000);
        ASSERT_FALSE(zero);
        EXPECT_EQ(zero.error().message(), "Resampler sample rates must be positive.");
        EXPECT_FALSE(create(48000, 0));
        EXPECT_FALSE(create(48000, 48000 * 256 + 1));
        EXPECT_FALSE(create(48000 * 256 + 1, 48000));
        EXPECT_TRUE(create(48000, 48000 * 256));
        EXPECT_TRUE(create(4294967295u, 4294967295u / 256 + 1));
    }
}

TEST(Resampler, SincAvx2KernelMatchesThePortableOne) {
    if (!SincResampler::has_avx2_kernel()) {
        GTEST_SKIP() << "no AVX2 on this processor";
    }
    for (const auto& [in, out] : {std::pair{44100u, 48000u}, std::pair{64000u, 48000u}}) {
        auto portable = SincResampler::create(in, out, SincResampler::Kernel::portable);
        auto fast = SincResampler::create(in, out, SincResampler::Kernel::best);
        ASSERT_TRUE(portable && fast);
        std::uint32_t seed = 1;
        std::vector<float> a(Resampler::kChunkFrames), b(Resampler::kChunkFrames);
        std::vector<float> c(Resampler::kChunkFrames), d(Resampler::kChunkFrames);
        for (int chunk = 0; chunk < 20; ++chunk) {
            std::vector<float> left((*portable)->input_frames_next());
            std::vector<float> right(left.size());
            for (std::size_t i = 0; i < left.size(); ++i) {
                seed = seed * 1664525u + 1013904223u;
                left[i] = static_cast<float>(seed >> 8) / 16777216.0f - 0.5f;
                right[i] = -left[i] * 0.5f;
            }
            ASSERT_TRUE((*portable)->process_chunk(left, right, a, b));
            ASSERT_TRUE((*fast)->process_chunk(left, right, c, d));
            for (std::size_t i = 0; i < a.size(); ++i) {
                ASSERT_NEAR(a[i], c[i], 2e-6f);
                ASSERT_NEAR(b[i], d[i], 2e-6f);
            }
        }
    }
}

}  // namespace
}  // namespace lk
