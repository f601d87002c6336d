// Steady-state audio work must not allocate: this binary counts every
// operator new while a check is armed.
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

#include <gtest/gtest.h>

#include "audio/audio_output_pipeline.hpp"
#include "audio/shared_audio_playback_buffer.hpp"

namespace {
std::atomic<bool> g_counting{false};
std::atomic<std::uint64_t> g_allocations{0};
}  // namespace

void* operator new(std::size_t size) {
    if (g_counting.load(std::memory_order_relaxed)) {
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    }
    if (void* memory = std::malloc(size == 0 ? 1 : size)) {
        return memory;
    }
    throw std::bad_alloc();
}
// The replacement pair allocates with malloc and frees with free.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}
#pragma GCC diagnostic pop

namespace lk {
namespace {

class AllocationCount {
  public:
    AllocationCount() {
        g_allocations = 0;
        g_counting = true;
    }
    ~AllocationCount() { g_counting = false; }
    std::uint64_t count() const { return g_allocations.load(); }
};

TEST(AudioPathAllocation, SteadyStateBatchesAllocateNothing) {
    struct Rates {
        std::uint32_t source, input, output;
    };
    for (const Rates rates : {Rates{32768, 32768, 48000}, Rates{44100, 44100, 48000},
                              Rates{32000, 64000, 48000}, Rates{48000, 48000, 48000}}) {
        SCOPED_TRACE(rates.input);
        auto pipeline = AudioOutputPipeline::create(rates.source, rates.input, rates.output);
        ASSERT_TRUE(pipeline);
        SharedAudioPlaybackBuffer buffer;
        // Batches of varying size around one emulated frame's worth.
        std::vector<std::vector<std::int16_t>> batches;
        for (std::size_t frames : {549u, 548u, 550u, 735u, 1100u}) {
            batches.emplace_back(2 * frames, std::int16_t{1200});
        }
        std::vector<StereoFrame> device(480);
        const auto run = [&](int rounds) {
            for (int i = 0; i < rounds; ++i) {
                auto converted = pipeline->process(batches[static_cast<std::size_t>(i) % 5]);
                ASSERT_TRUE(converted);
                auto appended = buffer.append_within(*converted);
                ASSERT_TRUE(appended);
                buffer.try_read(device.size(),
                                [&](std::size_t at, StereoFrame frame) { device[at] = frame; });
            }
        };
        run(50);  // warm up to the working size
        AllocationCount allocations;
        run(500);
        EXPECT_EQ(allocations.count(), 0u);
    }
}

}  // namespace
}  // namespace lk
