#include "audio/audio_output_format.hpp"

#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

namespace lk {
namespace {

using F = AudioSampleFormat;

TEST(ResolveOutputConfig, RanksFormatsAndChoosesTheRate) {
    struct Case {
        const char* name;
        AudioOutputConfig default_config;
        std::vector<AudioOutputConfigRange> ranges;
        AudioOutputConfig expected;
    };
    const std::vector<Case> cases = {
        {"F32 beats I16 at 48000",
         {2, 44100, F::i16},
         {{2, 8000, 96000, F::i16}, {2, 8000, 96000, F::f32}},
         {2, 48000, F::f32}},
        {"ranking order U16 over F64 over I24",
         {2, 44100, F::i16},
         {{2, 48000, 48000, F::i24}, {2, 48000, 48000, F::f64}, {2, 48000, 48000, F::u16}},
         {2, 48000, F::u16}},
        {"on a tie the first listed range wins",
         {2, 44100, F::i16},
         {{6, 8000, 48000, F::f32}, {2, 8000, 48000, F::f32}},
         {6, 48000, F::f32}},
        {"DSD spanning 48000 loses to anything else",
         {2, 44100, F::i16},
         {{2, 8000, 96000, F::dsd_u32}, {2, 8000, 96000, F::u64}},
         {2, 48000, F::u64}},
        {"no range spans 48000: the stereo default is used as it is",
         {2, 44100, F::i16},
         {{2, 44100, 44100, F::f32}},
         {2, 44100, F::i16}},
        {"mono default: best range, 48000 clamped down to its maximum",
         {1, 44100, F::i16},
         {{1, 8000, 44100, F::u8}, {1, 8000, 44100, F::i16}},
         {1, 44100, F::i16}},
        {"DSD default: best range, 48000 clamped up to its minimum",
         {2, 88200, F::dsd_u8},
         {{2, 88200, 192000, F::i32}},
         {2, 88200, F::i32}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto resolved = resolve_output_config(c.default_config, c.ranges);
        ASSERT_TRUE(resolved.has_value()) << resolved.error().message();
        EXPECT_EQ(*resolved, c.expected);
    }
}

TEST(ResolveOutputConfig, FailsWithoutAnyUsableRange) {
    const auto resolved = resolve_output_config({1, 48000, F::i16}, {});
    ASSERT_FALSE(resolved.has_value());
    EXPECT_EQ(resolved.error().message(),
              "No supported desktop audio output formats are available.");
}

template <class T>
std::array<T, 2> written(F format, std::int32_t left, std::int32_t right) {
    std::array<T, 2> area{};
    write_output_frame(format, area.data(), 0, 2, left, right);
    return area;
}

template <class T>
T silence_of(F format) {
    T value{};
    std::memset(&value, 0x5a, sizeof(T));
    write_output_silence(format, &value, 1);
    return value;
}

TEST(WriteOutputFrame, ConvertsToEveryFormatExactly) {
    // Left is the most negative 16-bit value, right the most positive; the
    // unsigned and narrow formats clamp first, so out-of-range input too.
    EXPECT_EQ((written<std::int16_t>(F::i16, -32768, 32767)),
              (std::array<std::int16_t, 2>{-32768, 32767}));
    EXPECT_EQ((written<std::int8_t>(F::i8, -32768, 32767)),
              (std::array<std::int8_t, 2>{-128, 127}));
    EXPECT_EQ((written<std::int8_t>(F::i8, -1, 255)), (std::array<std::int8_t, 2>{-1, 0}));
    EXPECT_EQ((written<std::int32_t>(F::i24, -32768, 32767)),
              (std::array<std::int32_t, 2>{-8388608, 8388352}));
    EXPECT_EQ((written<std::int32_t>(F::i32, -32768, 32767)),
              (std::array<std::int32_t, 2>{-2147483648, 2147418112}));
    EXPECT_EQ((written<std::int64_t>(F::i64, -40000, 32767)),
              (std::array<std::int64_t, 2>{std::numeric_limits<std::int64_t>::min(), std::int64_t{32767} << 48}));
    EXPECT_EQ((written<std::uint8_t>(F::u8, -32768, 32767)), (std::array<std::uint8_t, 2>{0, 255}));
    EXPECT_EQ((written<std::uint8_t>(F::u8, 0, 40000)), (std::array<std::uint8_t, 2>{128, 255}));
    EXPECT_EQ((written<std::uint16_t>(F::u16, -32768, 1)),
              (std::array<std::uint16_t, 2>{0, 32769}));
    EXPECT_EQ((written<std::uint32_t>(F::u24, -32768, 32767)),
              (std::array<std::uint32_t, 2>{0, 16776960}));
    EXPECT_EQ((written<std::uint32_t>(F::u32, -32768, 32767)),
              (std::array<std::uint32_t, 2>{0, 4294901760u}));
    EXPECT_EQ((written<std::uint64_t>(F::u64, -32768, 32767)),
              (std::array<std::uint64_t, 2>{0, std::uint64_t{65535} << 48}));
    EXPECT_EQ((written<float>(F::f32, -32768, 16384)), (std::array<float, 2>{-1.0f, 0.5f}));
    EXPECT_EQ((written<double>(F::f64, -16384, 1)), (std::array<double, 2>{-0.5, 1.0 / 32768.0}));
}

TEST(WriteOutputFrame, WritesEachFormatsSilence) {
    EXPECT_EQ(silence_of<std::int16_t>(F::i16), 0);
    EXPECT_EQ(silence_of<std::int8_t>(F::i8), 0);
    EXPECT_EQ(silence_of<std::int32_t>(F::i24), 0);
    EXPECT_EQ(silence_of<std::int32_t>(F::i32), 0);
    EXPECT_EQ(silence_of<std::int64_t>(F::i64), 0);
    EXPECT_EQ(silence_of<std::uint8_t>(F::u8), 128);
    EXPECT_EQ(silence_of<std::uint16_t>(F::u16), 32768);
    EXPECT_EQ(silence_of<std::uint32_t>(F::u24), 8388608u);
    EXPECT_EQ(silence_of<std::uint32_t>(F::u32), 2147483648u);
    EXPECT_EQ(silence_of<std::uint64_t>(F::u64), std::uint64_t{1} << 63);
    EXPECT_EQ(silence_of<float>(F::f32), 0.0f);
    EXPECT_EQ(silence_of<double>(F::f64), 0.0);
}

TEST(WriteOutputFrame, FillsExtraChannelsWithSilenceAndMonoWithLeft) {
    std::array<std::uint8_t, 8> four{};
    four.fill(7);
    write_output_frame(F::u8, four.data(), 1, 4, 256, 512);
    EXPECT_EQ(four, (std::array<std::uint8_t, 8>{7, 7, 7, 7, 129, 130, 128, 128}));

    std::array<std::int16_t, 3> mono{9, 9, 9};
    write_output_frame(F::i16, mono.data(), 1, 1, 100, 200);
    EXPECT_EQ(mono, (std::array<std::int16_t, 3>{9, 100, 9}));
}

}  // namespace
}  // namespace lk
