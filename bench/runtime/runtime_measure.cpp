// Measures, with the real mgba core playing our ROM, side by side in one run:
//  1. runner overhead: CPU per emulated frame of the whole runner process with
//     null video and audio sinks, against retro_run alone in a tiny host;
//  2. frame delivery: the same with PNG frame events, CPU per delivered frame;
//  3. pacing: frame start intervals of the runtime thread over 10 s;
//  4. input latency: frames from pressing A to the first delivered frame that
//     shows it, and the wall time of the same.
// Usage: lk_runtime_measure [cores_dir]

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <numeric>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>

#include <nlohmann/json.hpp>

#include "audio/null_audio_sink.hpp"
#include "frame_image.hpp"
#include "libretro/audio_callbacks.hpp"
#include "libretro/callback_runtime_state.hpp"
#include "libretro/core_api.hpp"
#include "libretro/environment_callback.hpp"
#include "libretro/game_load_request.hpp"
#include "libretro/input_callbacks.hpp"
#include "libretro/video_callback.hpp"
#include "runtime/filesystem_artifact_store.hpp"
#include "runtime/libretro_runtime.hpp"
#include "video/video_sink.hpp"

namespace {

using namespace std::chrono;
using Clock = steady_clock;

double thread_cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double process_cpu_seconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string skip;
    for (int i = 0; i < 11; ++i) {
        fields >> skip;
    }
    double utime = 0, stime = 0;
    fields >> utime >> stime;
    return (utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// 1a. retro_run alone: our callbacks registered, frames drained, no pacing.
double retro_run_alone_cpu_per_frame(const std::string& core_path, const std::string& rom,
                                     int frames) {
    auto core = lk::CoreApi::load(core_path);
    if (!core) {
        std::fprintf(stderr, "%s\n", core.error().display().c_str());
        std::exit(1);
    }
    lk::callback_bridge::reset();
    (void)lk::callback_bridge::configure_environment("/tmp", "/tmp", core_path, rom, "native");
    core->retro_set_environment(lk::callback_bridge::environment_callback);
    core->retro_set_video_refresh(lk::callback_bridge::video_refresh_callback);
    core->retro_set_audio_sample(lk::callback_bridge::audio_sample_callback);
    core->retro_set_audio_sample_batch(lk::callback_bridge::audio_sample_batch_callback);
    core->retro_set_input_poll(lk::callback_bridge::input_poll_callback);
    core->retro_set_input_state(lk::callback_bridge::input_state_callback);
    core->retro_init();
    auto request = lk::GameLoadRequest::from_path(rom, false);
    (void)core->load_game(*request);
    const double start = thread_cpu_seconds();
    for (int i = 0; i < frames; ++i) {
        core->retro_run();
        (void)lk::callback_bridge::take_current_frame();
        (void)lk::callback_bridge::drain_audio_batches();
    }
    const double per_frame = (thread_cpu_seconds() - start) / frames;
    core->retro_unload_game();
    core->retro_deinit();
    lk::callback_bridge::reset();
    return per_frame;
}

// A runner process playing the ROM for `seconds`; returns (cpu seconds, emulated
// frames from the cadence lines, frameReady events).
struct RunnerRun {
    double cpu_seconds = 0;
    double emulated_frames = 0;
    double delivered_frames = 0;
    double wall_seconds = 0;
};

// A runner child with pipes on its standard streams, playing our ROM on mgba.
struct RunnerChild {
    pid_t pid = 0;
    int to_runner = -1;
    int from_runner = -1;
    int runner_errors = -1;
};

RunnerChild start_runner(const std::string& cores_dir, const std::string& rom,
                         std::vector<std::string> extra_env) {
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        std::exit(1);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<std::string> env{"LUMENKITE_USE_LIBRETRO_CORES=1",
                                 "LUMENKITE_CORE_BUNDLE_DIR=" + cores_dir,
                                 "LUMENKITE_AUDIO_SINK=null"};
    env.insert(env.end(), extra_env.begin(), extra_env.end());
    std::vector<char*> envp;
    for (auto& e : env) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    char binary[] = LK_RUNNER_BINARY;
    char* argv[] = {binary, nullptr};
    RunnerChild child;
    posix_spawn(&child.pid, binary, &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    child.to_runner = in[1];
    child.from_runner = out[0];
    child.runner_errors = err[0];
    const std::string load = fmt::format(
        R"({{"type":"loadRom","requestId":"l","payload":{{"coreId":"mgba","platformId":"gba","gameId":"g","title":"t","source":{{"kind":"file","filePath":"{}"}}}}}})"
        "\n",
        rom);
    (void)!write(child.to_runner, load.data(), load.size());
    return child;
}

RunnerRun run_runner(const std::string& cores_dir, const std::string& rom, const char* video_sink,
                     double seconds) {
    const RunnerChild child = start_runner(
        cores_dir, rom,
        {std::string("LUMENKITE_VIDEO_SINK=") + video_sink, "LUMENKITE_RUNNER_DEBUG_LOGS=1"});
    const pid_t pid = child.pid;
    const int out[1] = {child.from_runner};
    const int err[1] = {child.runner_errors};
    const int in[2] = {-1, child.to_runner};
    RunnerRun run;
    std::string stdout_text, stderr_text;
    std::thread out_reader([&] {
        char buffer[65536];
        ssize_t n;
        while ((n = read(out[0], buffer, sizeof buffer)) > 0) {
            for (ssize_t i = 0; i < n; ++i) {
                if (buffer[i] == '\n') {
                    ++run.delivered_frames;
                }
            }
        }
    });
    std::thread err_reader([&] {
        char buffer[4096];
        ssize_t n;
        while ((n = read(err[0], buffer, sizeof buffer)) > 0) {
            stderr_text.append(buffer, static_cast<std::size_t>(n));
        }
    });
    std::this_thread::sleep_for(milliseconds(500));  // loaded and running
    const double cpu_start = process_cpu_seconds(pid);
    const auto wall_start = Clock::now();
    const std::size_t log_start = stderr_text.size();
    const double delivered_start = run.delivered_frames;
    std::this_thread::sleep_for(duration<double>(seconds));
    run.cpu_seconds = process_cpu_seconds(pid) - cpu_start;
    run.wall_seconds = duration<double>(Clock::now() - wall_start).count();
    run.delivered_frames -= delivered_start;
    close(in[1]);
    waitpid(pid, nullptr, 0);
    out_reader.join();
    err_reader.join();
    // "Runtime cadence: frames=N frameRate=R ..." lines give the emulated rate.
    std::vector<double> rates;
    for (std::size_t at = stderr_text.find("frameRate=", log_start); at != std::string::npos;
         at = stderr_text.find("frameRate=", at + 1)) {
        rates.push_back(std::strtod(stderr_text.c_str() + at + 10, nullptr));
    }
    const double rate = rates.empty() ? 59.7275
                                      : std::accumulate(rates.begin(), rates.end(), 0.0) /
                                            static_cast<double>(rates.size());
    run.emulated_frames = rate * run.wall_seconds;
    return run;
}

// A video sink that records when each frame arrives (right after its retro_run).
class TimingVideoSink final : public lk::VideoSink {
  public:
    bool wants_frame() const override { return true; }
    lk::Status push_frame(lk::VideoFrame) override {
        const std::lock_guard lock(mutex);
        times.push_back(Clock::now());
        return {};
    }
    lk::Status stop() override { return {}; }
    std::mutex mutex;
    std::vector<Clock::time_point> times;  // guarded by mutex
};

class ForwardingSink final : public lk::VideoSink {
  public:
    explicit ForwardingSink(TimingVideoSink& target) : target_(target) {}
    bool wants_frame() const override { return true; }
    lk::Status push_frame(lk::VideoFrame frame) override {
        return target_.push_frame(std::move(frame));
    }
    lk::Status stop() override { return {}; }

  private:
    TimingVideoSink& target_;
};

void measure_pacing(const std::string& core_path, const std::string& rom, double seconds) {
    TimingVideoSink timing;
    lk::LibretroRuntimeConfig config;
    config.core_id = "mgba";
    config.platform_id = "gba";
    config.core_library_path = core_path;
    config.rom_path = rom;
    config.session_id = "pacing";
    config.core_graphics_profile = "native";
    auto handle = lk::spawn_libretro_runtime(
        config, std::make_shared<lk::FilesystemArtifactStore>(),
        std::make_unique<lk::NullAudioSink>(), nullptr, std::make_unique<ForwardingSink>(timing));
    if (!handle) {
        std::fprintf(stderr, "%s\n", handle.error().display().c_str());
        return;
    }
    std::this_thread::sleep_for(duration<double>(seconds));
    (void)handle->shutdown();
    std::vector<double> intervals_ms;
    for (std::size_t i = 1; i < timing.times.size(); ++i) {
        intervals_ms.push_back(
            duration<double, std::milli>(timing.times[i] - timing.times[i - 1]).count());
    }
    const double nominal = 1000.0 / 59.7275;
    std::vector<double> deviation;
    for (double v : intervals_ms) {
        deviation.push_back(std::fabs(v - nominal));
    }
    std::sort(deviation.begin(), deviation.end());
    const auto pct = [&](double p) {
        return deviation[static_cast<std::size_t>(p * static_cast<double>(deviation.size() - 1))];
    };
    const double span_s = duration<double>(timing.times.back() - timing.times.front()).count();
    const double rate = static_cast<double>(timing.times.size() - 1) / span_s;
    fmt::print(
        "pacing: {} frames over {:.2f} s; rate {:.4f} fps vs core 59.7275 ({:+.3f}%); "
        "|interval - {:.3f} ms| p50 {:.3f} ms, p95 {:.3f} ms, p99 {:.3f} ms, max {:.3f} ms\n",
        timing.times.size(), span_s, rate, (rate / 59.7275 - 1) * 100, nominal, pct(0.5), pct(0.95),
        pct(0.99), deviation.back());
}

// Presses and releases A through setInputState lines and counts the delivered
// frames until the picture shows it, as the shell would see it.
void measure_input_latency(const std::string& cores_dir, const std::string& rom, int presses) {
    const RunnerChild child = start_runner(cores_dir, rom, {});
    close(child.runner_errors);
    const pid_t pid = child.pid;
    const int in[2] = {-1, child.to_runner};
    FILE* events = fdopen(child.from_runner, "r");
    const auto send = [&](const std::string& line) {
        (void)!write(in[1], line.data(), line.size());
    };
    char* line = nullptr;
    std::size_t capacity = 0;
    // The next delivered frame's picture: whether it shows A held.
    const auto next_frame_shows_a = [&]() -> std::optional<bool> {
        while (getline(&line, &capacity, events) > 0) {
            const auto event = nlohmann::json::parse(line);
            if (event["name"] != "frameReady") {
                continue;
            }
            const auto image = lk::e2e::decode_data_url(event["payload"]["dataUrl"]);
            if (!image) {
                return std::nullopt;
            }
            return lk::e2e::gba_rom_shows_a_pressed(*image);
        }
        return std::nullopt;
    };
    const auto input = [](bool pressed) {
        return fmt::format(
            R"({{"type":"setInputState","requestId":"i","payload":{{"inputState":{{"buttons":[{{"buttonId":"a","pressed":{}}}],"capturedAt":0}}}}}})"
            "\n",
            pressed);
    };
    for (int i = 0; i < 30; ++i) {
        (void)next_frame_shows_a();  // let the game settle
    }
    std::vector<int> frames;
    std::vector<double> millis;
    for (int press = 0; press < presses; ++press) {
        for (const bool pressed : {true, false}) {
            const auto sent_at = Clock::now();
            send(input(pressed));
            int count = 0;
            for (;;) {
                const auto shows = next_frame_shows_a();
                if (!shows) {
                    break;
                }
                ++count;
                if (*shows == pressed) {
                    break;
                }
            }
            if (pressed) {
                frames.push_back(count);
                millis.push_back(duration<double, std::milli>(Clock::now() - sent_at).count());
            }
        }
    }
    close(in[1]);
    free(line);
    fclose(events);
    waitpid(pid, nullptr, 0);
    std::sort(frames.begin(), frames.end());
    std::sort(millis.begin(), millis.end());
    const auto p = [](const auto& v, double q) {
        return v[static_cast<std::size_t>(q * static_cast<double>(v.size() - 1))];
    };
    fmt::print(
        "input latency: {} presses; delivered frames until A shows: p50 {}, p95 {}, max {}; "
        "wall time p50 {:.1f} ms, p95 {:.1f} ms\n",
        frames.size(), p(frames, 0.5), p(frames, 0.95), frames.back(), p(millis, 0.5),
        p(millis, 0.95));
}

}  // namespace

int main(int argc, char** argv) {
    const char* env_dir = std::getenv("LK_TEST_CORES_DIR");
    const std::string cores_dir = argc > 1             ? argv[1]
                                  : env_dir != nullptr ? env_dir
                                                       : LK_TEST_CORES_DIR;
    const std::string core_path = cores_dir + "/mgba_libretro.so";
    const std::string rom = LK_TEST_ROM_PATH;

    const double alone = retro_run_alone_cpu_per_frame(core_path, rom, 3000);
    const RunnerRun null_run = run_runner(cores_dir, rom, "null", 5.0);
    const RunnerRun png_run = run_runner(cores_dir, rom, "png", 5.0);
    const double null_per_frame = null_run.cpu_seconds / null_run.emulated_frames;
    const double png_per_delivered = png_run.cpu_seconds / png_run.delivered_frames;
    fmt::print(
        "runner overhead: retro_run alone {:.3f} ms/frame; whole runner, null sinks {:.3f} "
        "ms/frame ({} emulated frames); ratio {:.3f} (runner adds {:+.1f}%)\n",
        alone * 1e3, null_per_frame * 1e3, static_cast<long>(null_run.emulated_frames),
        null_per_frame / alone, (null_per_frame / alone - 1) * 100);
    fmt::print(
        "frame delivery: PNG frame events {:.1f} frames/s, runner CPU {:.3f} ms per delivered "
        "frame; share beyond the null-sink run (encode + event) {:.1f}%\n",
        png_run.delivered_frames / png_run.wall_seconds, png_per_delivered * 1e3,
        (1 - null_per_frame / png_per_delivered) * 100);
    measure_pacing(core_path, rom, 10.0);
    measure_input_latency(cores_dir, rom, 40);
    return 0;
}
