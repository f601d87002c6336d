// What a rollback costs. With the real mgba core playing our ROM, through the
// same netplay steps the runtime thread takes:
//  - PlainFrame: one retro_run with the inputs applied (no netplay);
//  - NetplayFrame: a netplay frame whose predictions were right (serialise,
//    prepare, run, verify, prune);
//  - RollbackFrame/N: a netplay frame after which a late remote input differs
//    from its prediction N frames back, so N frames are restored and re-run.
// Compare per-iteration times side by side: RollbackFrame/N over PlainFrame is
// the cost of such a frame in plain frames. Usage: lk_netplay_bench [cores_dir]
// (default: LK_TEST_CORES_DIR or the build's test-cores directory).

#include <cstdlib>
#include <filesystem>
#include <optional>

#include <benchmark/benchmark.h>

#include "hardware_render/unsupported_hardware_render_backend.hpp"
#include "libretro/audio_callbacks.hpp"
#include "libretro/callback_runtime_state.hpp"
#include "libretro/environment_callback.hpp"
#include "libretro/game_load_request.hpp"
#include "libretro/hardware_render_negotiation.hpp"
#include "libretro/input_callbacks.hpp"
#include "libretro/video_callback.hpp"
#include "netplay/netplay_frame_driver.hpp"
#include "runtime/libretro_netplay_frame_core.hpp"

namespace lk {
namespace {

namespace fs = std::filesystem;

class NullEmitter final : public RunnerEventEmitter {
  public:
    Status emit_event(std::string_view, const OrderedJson&) override { return {}; }
    Status emit_serialized_event(std::string_view) override { return {}; }
};

// mgba with our ROM, loaded once through the runner's callback bridge.
struct LoadedMgba {
    std::optional<CoreApi> core;
    std::optional<GameLoadRequest> request;
    std::string error;

    LoadedMgba() {
        const char* configured = std::getenv("LK_TEST_CORES_DIR");
        const fs::path dir = configured != nullptr ? configured : LK_TEST_CORES_DIR;
        const fs::path library = dir / "mgba_libretro.so";
        auto loaded = CoreApi::load(library);
        if (!loaded) {
            error = loaded.error().display();
            return;
        }
        const fs::path scratch = fs::temp_directory_path() / "lk-netplay-bench";
        fs::create_directories(scratch / "system");
        fs::create_directories(scratch / "save");
        callback_bridge::reset();
        callback_bridge::configure_hardware_render_backend(
            std::make_unique<UnsupportedHardwareRenderBackend>("no hardware rendering"));
        (void)callback_bridge::configure_environment(scratch / "system", scratch / "save",
                                                     library, LK_TEST_ROM_PATH, "native");
        core.emplace(std::move(*loaded));
        core->retro_set_environment(callback_bridge::environment_callback);
        core->retro_set_video_refresh(callback_bridge::video_refresh_callback);
        core->retro_set_audio_sample(callback_bridge::audio_sample_callback);
        core->retro_set_audio_sample_batch(callback_bridge::audio_sample_batch_callback);
        core->retro_set_input_poll(callback_bridge::input_poll_callback);
        core->retro_set_input_state(callback_bridge::input_state_callback);
        core->retro_init();
        auto built = GameLoadRequest::from_path(LK_TEST_ROM_PATH, false);
        if (!built) {
            error = built.error().display();
            return;
        }
        request.emplace(std::move(*built));
        if (auto game = core->load_game(*request); !game) {
            error = game.error().display();
            return;
        }
        // Output is not drained here: keep the callback state from queueing it.
        callback_bridge::set_av_output_suppressed(true);
        for (int i = 0; i < 120; ++i) {
            core->retro_run();
        }
    }
};

LoadedMgba& mgba() {
    static LoadedMgba loaded;
    return loaded;
}

NetplayPlayerInput with_buttons(std::uint16_t buttons) {
    NetplayPlayerInput input;
    input.buttons = buttons;
    return input;
}

void PlainFrame(benchmark::State& state) {
    auto& game = mgba();
    if (!game.error.empty()) {
        state.SkipWithError(game.error.c_str());
        return;
    }
    LibretroNetplayFrameCore core(&*game.core);
    NetplayFrameInputs inputs{};
    std::uint64_t frame = 0;
    for (auto _ : state) {
        inputs[0] = with_buttons(static_cast<std::uint16_t>((frame++ / 8) % 2));
        core.apply_inputs(inputs);
        (void)core.run_frame();
    }
}

// The state copy taken before every netplay frame.
void SerializeState(benchmark::State& state) {
    auto& game = mgba();
    if (!game.error.empty()) {
        state.SkipWithError(game.error.c_str());
        return;
    }
    LibretroNetplayFrameCore core(&*game.core);
    for (auto _ : state) {
        std::vector<std::uint8_t> bytes;  // a new buffer every time
        (void)core.serialize_state(bytes);
        benchmark::DoNotOptimize(bytes.data());
    }
}

// The same into one recycled buffer, as the session does.
void SerializeStateReused(benchmark::State& state) {
    auto& game = mgba();
    if (!game.error.empty()) {
        state.SkipWithError(game.error.c_str());
        return;
    }
    LibretroNetplayFrameCore core(&*game.core);
    std::vector<std::uint8_t> bytes;
    for (auto _ : state) {
        (void)core.serialize_state(bytes);
        benchmark::DoNotOptimize(bytes.data());
    }
    state.counters["stateBytes"] = static_cast<double>(bytes.size());
}

// A two-player session whose remote inputs arrive `depth` frames late and
// differ from the prediction every frame (depth 0: always on time and right).
void run_netplay_frames(benchmark::State& state, std::uint64_t depth) {
    auto& game = mgba();
    if (!game.error.empty()) {
        state.SkipWithError(game.error.c_str());
        return;
    }
    LibretroNetplayFrameCore core(&*game.core);
    NullEmitter emitter;
    NetplayRuntimeSession session(0, 0, 2, 0);
    session.update_server_frame(UINT64_MAX - 1);
    auto deliver = [&](std::uint64_t frame) {
        const auto bytes = encode_netplay_input(
            with_buttons(depth == 0 ? 0 : static_cast<std::uint16_t>(frame % 2)));
        (void)session.receive_input_frame(1, frame, bytes);
    };
    std::uint64_t delivered = 0;
    const auto one_frame = [&]() -> bool {
        session.set_local_input(with_buttons(static_cast<std::uint16_t>((session.current_frame() / 8) % 2)));
        if (depth == 0) {
            deliver(session.current_frame());
        }
        auto prepared = prepare_netplay_frame(session, core, emitter, "bench");
        if (!prepared || !std::holds_alternative<NetplayFrameReady>(*prepared)) {
            return false;
        }
        core.apply_inputs(std::get<NetplayFrameReady>(*prepared).inputs);
        (void)core.run_frame();
        // The remote input for `depth` frames back arrives now: it differs
        // from the prediction, so those frames are re-run after this one.
        if (depth > 0 && session.current_frame() + 1 >= depth) {
            for (; delivered + depth <= session.current_frame() + 1; ++delivered) {
                deliver(delivered);
            }
        }
        return static_cast<bool>(finish_netplay_frame(session, core, emitter, "bench"));
    };
    for (std::uint64_t i = 0; i < depth + 2; ++i) {
        if (!one_frame()) {
            state.SkipWithError("netplay frame failed");
            return;
        }
    }
    for (auto _ : state) {
        if (!one_frame()) {
            state.SkipWithError("netplay frame failed");
            return;
        }
    }
    state.counters["rerunFramesPerFrame"] = static_cast<double>(depth);
}

void NetplayFrame(benchmark::State& state) {
    run_netplay_frames(state, 0);
}

void RollbackFrame(benchmark::State& state) {
    run_netplay_frames(state, static_cast<std::uint64_t>(state.range(0)));
}

BENCHMARK(PlainFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(SerializeState)->Unit(benchmark::kMicrosecond);
BENCHMARK(SerializeStateReused)->Unit(benchmark::kMicrosecond);
BENCHMARK(NetplayFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(RollbackFrame)->Arg(1)->Arg(4)->Arg(8)->Arg(16)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace lk

BENCHMARK_MAIN();
