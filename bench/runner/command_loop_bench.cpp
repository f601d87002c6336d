// The command loop's cost per line, measured through the real binary with a
// stub session, side by side with parsing the same lines with the JSON
// library alone (the ratio is the loop's own overhead).

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "protocol/command_payload_decoder.hpp"
#include "protocol/runner_command_envelope.hpp"

namespace {

constexpr int kLinesPerBatch = 20000;
constexpr int kInputPerPing = 9;  // nine input samples, then one ping

std::string input_line(int i) {
    return R"({"type":"setInputState","requestId":"in-)" + std::to_string(i) +
           R"(","payload":{"inputState":{"buttons":[{"buttonId":"a","pressed":true},{"buttonId":"b","pressed":false},{"buttonId":"up","pressed":)" +
           (i % 2 ? "true" : "false") + R"(}],"capturedAt":)" + std::to_string(1000.5 + i) +
           R"(,"analog":{"left":{"x":0.25,"y":-0.5}}},"inputSampledAtEpochMs":1700000000000.5,"rendererTickDeltaMs":16.6}})";
}

std::string ping_line(int i) {
    return R"({"type":"pingRunner","requestId":"ping-)" + std::to_string(i) +
           R"(","payload":{"issuedAt":"t"}})";
}

std::vector<std::string> batch_lines() {
    std::vector<std::string> lines;
    for (int i = 0; i < kLinesPerBatch; ++i) {
        lines.push_back(i % (kInputPerPing + 1) == kInputPerPing ? ping_line(i) : input_line(i));
    }
    return lines;
}

std::uint64_t process_cpu_ns(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string skip;
    for (int i = 0; i < 11; ++i) {
        fields >> skip;  // fields 3..13
    }
    std::uint64_t utime = 0, stime = 0;
    fields >> utime >> stime;
    return (utime + stime) * (1'000'000'000ULL / static_cast<std::uint64_t>(sysconf(_SC_CLK_TCK)));
}

class Runner {
  public:
    Runner() {
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe");
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        char binary[] = LK_RUNNER_BINARY;
        char* argv[] = {binary, nullptr};
        char* envp[] = {nullptr};
        if (posix_spawn(&pid_, binary, &actions, nullptr, argv, envp) != 0) {
            throw std::runtime_error("spawn");
        }
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        to_runner_ = in[1];
        from_runner_ = fdopen(out[0], "r");
        write_all(
            "{\"type\":\"loadRom\",\"requestId\":\"s\",\"payload\":{\"coreId\":\"mgba\","
            "\"platformId\":\"gba\",\"gameId\":\"g\",\"title\":\"t\",\"source\":{\"kind\":"
            "\"file\",\"filePath\":\"/proc/self/exe\"}}}\n");
        read_lines(2);  // romLoaded, commandSucceeded
    }
    ~Runner() {
        close(to_runner_);
        fclose(from_runner_);
        waitpid(pid_, nullptr, 0);
    }
    void write_all(const std::string& bytes) const {
        std::size_t offset = 0;
        while (offset < bytes.size()) {
            const ssize_t n = write(to_runner_, bytes.data() + offset, bytes.size() - offset);
            if (n <= 0) {
                throw std::runtime_error("write");
            }
            offset += static_cast<std::size_t>(n);
        }
    }
    void read_lines(int count) const {
        char* line = nullptr;
        std::size_t capacity = 0;
        for (int i = 0; i < count; ++i) {
            if (getline(&line, &capacity, from_runner_) < 0) {
                throw std::runtime_error("runner closed its output");
            }
        }
        free(line);
    }
    [[nodiscard]] pid_t pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    int to_runner_ = -1;
    FILE* from_runner_ = nullptr;
};

void BM_RunnerLoopThroughBinary(benchmark::State& state) {
    const auto lines = batch_lines();
    std::string stream;
    for (const auto& line : lines) {
        stream += line;
        stream += '\n';
    }
    const int pings = kLinesPerBatch / (kInputPerPing + 1);
    Runner runner;
    std::uint64_t cpu_ns = 0;
    for (auto _ : state) {
        const std::uint64_t before = process_cpu_ns(runner.pid());
        std::thread writer([&] { runner.write_all(stream); });
        runner.read_lines(2 * pings);  // pong + commandSucceeded per ping
        writer.join();
        cpu_ns += process_cpu_ns(runner.pid()) - before;
    }
    const auto handled = static_cast<double>(state.iterations()) * kLinesPerBatch;
    state.SetItemsProcessed(static_cast<std::int64_t>(handled));
    state.counters["runner_cpu_ns_per_line"] = static_cast<double>(cpu_ns) / handled;
}
BENCHMARK(BM_RunnerLoopThroughBinary)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_JsonParseOnly(benchmark::State& state) {
    const auto lines = batch_lines();
    for (auto _ : state) {
        for (const auto& line : lines) {
            benchmark::DoNotOptimize(lk::Json::parse(line));
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kLinesPerBatch);
}
BENCHMARK(BM_JsonParseOnly)->Unit(benchmark::kMillisecond);

void BM_EnvelopeAndPayloadDecode(benchmark::State& state) {
    const auto lines = batch_lines();
    for (auto _ : state) {
        for (const auto& line : lines) {
            auto envelope = lk::decode_command_envelope(line);
            if (envelope->type == "setInputState") {
                benchmark::DoNotOptimize(
                    lk::decode_command_payload<lk::SetInputStateCommandPayload>(envelope->payload));
            }
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kLinesPerBatch);
}
BENCHMARK(BM_EnvelopeAndPayloadDecode)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
