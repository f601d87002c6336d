// The callback state shared by a thread in the core's place and a thread in
// the runtime's place: every operation takes the one lock, so nothing is lost
// or torn (run under ThreadSanitizer as well).

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <set>
#include <thread>
#include <vector>

#include "callback_bridge_test_support.hpp"
#include "libretro/abi.hpp"
#include "libretro/audio_callbacks.hpp"
#include "libretro/environment_callback.hpp"
#include "libretro/input_callbacks.hpp"
#include "libretro/video_callback.hpp"

namespace lk {
namespace {

namespace bridge = callback_bridge;

class CallbackBridgeConcurrency : public test::CallbackBridgeTest {};

TEST_F(CallbackBridgeConcurrency, CallbacksAndRuntimeOperationsInterleaveSafely) {
    constexpr int kRounds = 2000;
    constexpr std::size_t kFramesPerBatch = 64;
    std::atomic<bool> core_done{false};
    std::uint64_t frames_seen = 0;
    std::uint64_t audio_drained = 0;
    std::set<std::int16_t> masks_read;

    std::thread core([&] {
        const std::vector<std::int16_t> samples(kFramesPerBatch * 2, 3);
        std::vector<std::uint8_t> pixels(16 * 4, 0x11);
        for (int i = 0; i < kRounds; ++i) {
            pixels[0] = static_cast<std::uint8_t>(i);
            bridge::video_refresh_callback(pixels.data(), 4, 4, 16);
            bridge::audio_sample_batch_callback(samples.data(), kFramesPerBatch);
            bridge::audio_sample_callback(1, 2);
            bridge::input_poll_callback();
            masks_read.insert(
                bridge::input_state_callback(0, retro::device::kJoypad, 0, retro::joypad::kMask));
            bool update = true;
            bridge::environment_callback(retro::env::kGetVariableUpdate, &update);
        }
        core_done = true;
    });

    int round = 0;
    while (!core_done) {
        MappedInputState input;
        input.joypad_masks[0] = static_cast<std::uint16_t>(1u << (round++ % 12));
        bridge::set_input_state_by_port(input);
        if (bridge::clone_current_frame()) {
            ++frames_seen;
        }
        for (const auto& batch : bridge::drain_audio_batches()) {
            audio_drained += batch.frames;
        }
        (void)bridge::take_current_frame();
        (void)bridge::serialization_quirks();
    }
    core.join();
    for (const auto& batch : bridge::drain_audio_batches()) {
        audio_drained += batch.frames;
    }

    CallbackStateLock state;
    const std::uint64_t produced = kRounds * (kFramesPerBatch + 1);
    EXPECT_EQ(audio_drained + state->audio_queue.dropped_frames(), produced)
        << "every frame was either drained or counted as dropped";
    EXPECT_EQ(state->batch_callback_frames, kRounds * kFramesPerBatch);
    EXPECT_EQ(state->sample_callback_frames, static_cast<std::uint64_t>(kRounds));
    for (const std::int16_t mask : masks_read) {
        EXPECT_TRUE(mask == 0 || (mask > 0 && (mask & (mask - 1)) == 0 && mask < (1 << 12)))
            << "a mask the runtime stored: " << mask;
    }
}

}  // namespace
}  // namespace lk
