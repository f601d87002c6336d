// Per-frame cost of delivering 640x480 frames through the two real video
// sinks, side by side: PNG frame events (fast PNG, Base64, JSON line written
// to a null device as standard output would be) against the raw frame stream
// (RGBA conversion and a loopback TCP write to a client that reads every
// message). Each iteration pushes one frame and waits until it has been
// delivered, so the time is the latency of one frame; the counter
// runner_cpu_us is the CPU the runner's side spent per frame (the whole
// process minus the reading client's thread). bench/video/raw_vs_png.sh runs
// both and prints the ratios.

#include <fcntl.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <benchmark/benchmark.h>

#include "emulator_frame.hpp"
#include "raw_frame_stream_client.hpp"
#include "video/png_frame_event_video_sink.hpp"
#include "video/raw_frame_stream_video_sink.hpp"

namespace lk::bench {
namespace {

constexpr double kUncapped = 1e9;

double process_cpu_seconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double thread_cpu_seconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Counts delivered frames; the benchmark waits on it.
class Delivered {
  public:
    void add() {
        const std::lock_guard lock(mutex_);
        ++count_;
        changed_.notify_all();
    }
    std::uint64_t count() {
        const std::lock_guard lock(mutex_);
        return count_;
    }
    void wait_for(std::uint64_t count) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return count_ >= count; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t count_ = 0;  // guarded by mutex_
};

// Writes each event line to /dev/null, as the runner writes standard output.
class NullDeviceEmitter final : public RunnerEventEmitter {
  public:
    NullDeviceEmitter() : fd_(::open("/dev/null", O_WRONLY | O_CLOEXEC)) {}
    ~NullDeviceEmitter() override { ::close(fd_); }

    Status emit_event(std::string_view, const OrderedJson& payload) override {
        announcement = payload;
        return {};
    }
    Status emit_serialized_event(std::string_view envelope) override {
        const std::lock_guard lock(mutex_);
        line_.assign(envelope);
        line_ += '\n';
        benchmark::DoNotOptimize(::write(fd_, line_.data(), line_.size()));
        delivered.add();
        return {};
    }

    OrderedJson announcement;
    Delivered delivered;

  private:
    std::mutex mutex_;
    std::string line_;  // guarded by mutex_
    int fd_;
};

PixelFormat format_of(const benchmark::State& state) {
    return *PixelFormat::from_label(state.range(0) == 0 ? "xrgb8888" : "rgb565");
}

void report(benchmark::State& state, double runner_cpu_seconds, std::uint64_t frames) {
    state.counters["runner_cpu_us"] =
        benchmark::Counter(runner_cpu_seconds * 1e6 / static_cast<double>(frames));
    state.SetLabel(std::string(format_of(state).label()));
}

void BM_PngFrameEventSink640x480(benchmark::State& state) {
    const VideoFrame frame = emulator_frame(format_of(state), 640, 480);
    auto emitter = std::make_shared<NullDeviceEmitter>();
    PngFrameEventVideoSink sink(emitter, "5f0c6a1e-2d4b-4c1a-9b8e-7d6f5e4c3b2a", kUncapped);
    std::uint64_t frames = 0;
    const double cpu_before = process_cpu_seconds();
    for (auto _ : state) {
        static_cast<void>(sink.push_frame(frame));
        emitter->delivered.wait_for(++frames);
    }
    const double cpu = process_cpu_seconds() - cpu_before;
    static_cast<void>(sink.stop());
    report(state, cpu, frames);
}

void BM_RawFrameStreamSink640x480(benchmark::State& state) {
    const VideoFrame frame = emulator_frame(format_of(state), 640, 480);
    auto emitter = std::make_shared<NullDeviceEmitter>();
    auto created =
        RawFrameStreamVideoSink::create(emitter, "5f0c6a1e-2d4b-4c1a-9b8e-7d6f5e4c3b2a", kUncapped);
    if (!created) {
        state.SkipWithError(created.error().message().c_str());
        return;
    }
    RawFrameStreamVideoSink& sink = **created;
    auto client =
        test::RawFrameStreamClient::connect(emitter->announcement.at("port").get<std::uint16_t>());
    if (!client ||
        !client->send_text(emitter->announcement.at("token").get<std::string>() + "\n")) {
        state.SkipWithError("could not connect to the stream");
        return;
    }
    Delivered delivered;
    std::atomic<bool> reading{true};
    std::atomic<double> reader_cpu{0.0};  // the reader thread's CPU seconds so far
    std::thread reader([&] {
        while (reading.load() && client->read_message(std::chrono::seconds(5))) {
            reader_cpu.store(thread_cpu_seconds());
            delivered.add();
        }
    });
    // Until the worker has accepted the client, pushed frames are dropped.
    while (delivered.count() == 0) {
        if (sink.wants_frame()) {
            static_cast<void>(sink.push_frame(frame));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    while (!sink.wants_frame()) {
        std::this_thread::yield();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::uint64_t frames = delivered.count();
    const std::uint64_t first_measured = frames;

    const double cpu_before = process_cpu_seconds();
    const double reader_before = reader_cpu.load();
    for (auto _ : state) {
        while (!sink.wants_frame()) {
            std::this_thread::yield();  // the worker is finishing the previous frame
        }
        static_cast<void>(sink.push_frame(frame));
        delivered.wait_for(++frames);
    }
    const double reader_after = reader_cpu.load();
    const double cpu = process_cpu_seconds() - cpu_before;
    reading.store(false);
    static_cast<void>(sink.stop());
    reader.join();
    report(state, cpu - (reader_after - reader_before), frames - first_measured);
}

BENCHMARK(BM_PngFrameEventSink640x480)
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RawFrameStreamSink640x480)
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace lk::bench

BENCHMARK_MAIN();
