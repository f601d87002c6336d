// The bridge's diagnostics with their switches on: the core log pass-through,
// the input trace with its rate limit, and the audio and AV debug lines. The
// switches are read once per process, so this executable turns them on before
// any test runs.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "callback_bridge_test_support.hpp"
#include "libretro/abi.hpp"
#include "libretro/audio_callbacks.hpp"
#include "libretro/environment_callback.hpp"
#include "libretro/input_callbacks.hpp"
#include "libretro/retro_log_bridge.hpp"

namespace lk {
namespace {

const bool kSwitchesOn = [] {
    ::setenv("LUMENKITE_RUNNER_CORE_LOGS", "1", 1);
    ::setenv("LUMENKITE_INPUT_TRACE", "on", 1);
    ::setenv("LUMENKITE_RUNNER_DEBUG_LOGS", "TRUE", 1);
    return true;
}();

using ::testing::HasSubstr;
namespace bridge = callback_bridge;

class CallbackDiagnostics : public test::CallbackBridgeTest {};

std::string format_text(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string format_text(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = format_core_log_text(format, args);
    va_end(args);
    return text;
}

TEST_F(CallbackDiagnostics, CoreLogTextIsFormattedPrintfStyle) {
    ASSERT_TRUE(kSwitchesOn);
    EXPECT_EQ(format_text("[core] %s=%d %5.2f%% 0x%04x%c", "frames", -7, 3.14159, 0xbeefu, '\n'),
              "[core] frames=-7  3.14% 0xbeef\n");
    EXPECT_EQ(format_text("%s", ""), "");
    const std::string long_text(20'000, 'x');
    EXPECT_EQ(format_text("<%s>", long_text.c_str()), "<" + long_text + ">");
    EXPECT_EQ(format_text(nullptr), "");
}

TEST_F(CallbackDiagnostics, CoreLogsPassThroughExactlyAsComposed) {
    retro::LogCallback log{nullptr};
    ASSERT_TRUE(bridge::environment_callback(retro::env::kGetLogInterface, &log));
    ASSERT_NE(log.log, nullptr);
    ::testing::internal::CaptureStderr();
    log.log(retro::LogLevel::kError, "mgba: loaded %zu bytes", std::size_t{1024});
    log.log(retro::LogLevel::kDebug, " and %s\n", "more");
    log.log(retro::LogLevel::kInfo, nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "mgba: loaded 1024 bytes and more\n")
        << "no tag, no level, no added newline";
}

TEST_F(CallbackDiagnostics, LeftStickReadsAreTracedAtMostEvery250Ms) {
    MappedInputState input;
    input.joypad_masks[1] = 0x0108;
    input.left_sticks[1] = AnalogStick{-5, 6};
    input.right_sticks[1] = AnalogStick{7, -8};
    bridge::set_input_state_by_port(input);

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(bridge::input_state_callback(1, retro::device::kAnalog, retro::analog::kIndexLeft,
                                           retro::analog::kX),
              -5);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "[lumenkite-input-trace] stage=libretro-callback port=1 left=(-5,6) right=(7,-8) "
              "joypadBits=0x0108\n"
              "[lumenkite-input-trace-json] {\"joypadBits\":264,\"left\":{\"x\":-5,\"y\":6},"
              "\"port\":1,\"right\":{\"x\":7,\"y\":-8},\"stage\":\"libretro-callback\"}\n");

    ::testing::internal::CaptureStderr();
    bridge::input_state_callback(0, retro::device::kAnalog, retro::analog::kIndexLeft,
                                 retro::analog::kX);  // within 250 ms, any port
    bridge::input_state_callback(1, retro::device::kAnalog, retro::analog::kIndexLeft,
                                 retro::analog::kY);  // not left X
    bridge::input_state_callback(1, retro::device::kJoypad, 0, retro::joypad::kMask);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");

    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::testing::internal::CaptureStderr();
    bridge::input_state_callback(2, retro::device::kAnalog, retro::analog::kIndexLeft,
                                 retro::analog::kX);
    EXPECT_THAT(::testing::internal::GetCapturedStderr(),
                HasSubstr("[lumenkite-input-trace] stage=libretro-callback port=2 left=(0,0) "
                          "right=(0,0) joypadBits=0x0000\n"));
}

TEST_F(CallbackDiagnostics, AudioCallbacksReportTheirUseProgressAndOverflow) {
    ::testing::internal::CaptureStderr();
    bridge::audio_sample_callback(1, 1);
    bridge::audio_sample_callback(1, 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "[lumenkite-runner] Libretro audio callback in use: sample\n"
              "[lumenkite-runner] Libretro audio callbacks: sampleFrames=1 batchFrames=0 "
              "totalFrames=1\n");

    const std::vector<std::int16_t> samples(2 * 44'098, 0);
    ::testing::internal::CaptureStderr();
    bridge::audio_sample_batch_callback(samples.data(), 44'098);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "[lumenkite-runner] Libretro audio callback in use: batch firstFrames=44098\n"
              "[lumenkite-runner] Libretro audio callbacks: sampleFrames=2 batchFrames=44098 "
              "totalFrames=44100\n");

    // The queue holds 44,100 frames; 60,000 more drop the two oldest batches
    // of one frame and the 44,098-frame batch.
    const std::vector<std::int16_t> more(2 * 60'000, 0);
    ::testing::internal::CaptureStderr();
    bridge::audio_sample_batch_callback(more.data(), 60'000);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "[lumenkite-runner] Libretro audio callback overflow: droppedFrames=44100 "
              "totalDroppedFrames=44100 queuedBatches=1\n");
}

TEST_F(CallbackDiagnostics, AvUpdatesAreLoggedWithFixedDecimals) {
    retro::SystemAvInfo info{{240, 160, 256, 224, 1.5f}, {59.7275, 32768.0}};
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(bridge::environment_callback(retro::env::kSetSystemAvInfo, &info));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "[lumenkite-runner] Libretro AV update: fps=59.727500 sampleRate=32768.00 "
              "base=240x160 max=256x224\n");
}

}  // namespace
}  // namespace lk
