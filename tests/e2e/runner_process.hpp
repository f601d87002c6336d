#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace lk::e2e {

using Json = nlohmann::ordered_json;  // keeps the key order the runner wrote

// Starts the real lumenkite-runner binary with pipes on its three standard
// streams and speaks the JSON-lines protocol to it as the shell does.
class RunnerProcess {
  public:
    // `environment` is added to (and overrides) a minimal clean environment.
    explicit RunnerProcess(const std::map<std::string, std::string>& environment = {},
                           const std::string& working_directory = {});
    ~RunnerProcess();
    RunnerProcess(const RunnerProcess&) = delete;
    RunnerProcess& operator=(const RunnerProcess&) = delete;

    // Writes raw bytes to the runner's standard input.
    void write_raw(const std::string& bytes);
    // Writes one line (a newline is appended).
    void send_line(const std::string& line);
    // Writes one command envelope.
    void send(const std::string& type, const std::string& request_id, const Json& payload);

    // The next stdout line, or nothing when none arrives in time / at EOF.
    std::optional<std::string> read_line(
        std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // The next event parsed; fails the test when none arrives.
    Json next_event(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Events until and including the reply (commandSucceeded/commandFailed) for `request_id`.
    std::vector<Json> events_until_reply(
        const std::string& request_id,
        std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // True when no stdout line arrives within `quiet`.
    bool stays_quiet(std::chrono::milliseconds quiet);

    void close_stdin();
    // Closes our end of the runner's standard output, as a shell that went away.
    void close_stdout_for_test();
    // Waits for exit; returns the exit status (or 128 + signal).
    int wait_for_exit(std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // Everything the runner wrote to standard error so far (reads what is pending).
    std::string stderr_text();

    [[nodiscard]] pid_t pid() const { return pid_; }

  private:
    void drain_stderr(std::chrono::milliseconds wait);

    pid_t pid_ = -1;
    int stdin_fd_ = -1;
    int stdout_fd_ = -1;
    int stderr_fd_ = -1;
    std::string stdout_buffer_;
    std::string stderr_buffer_;
    bool stdout_eof_ = false;
    std::optional<int> exit_status_;
};

// True when `event` is the reply (commandSucceeded/commandFailed) to `request_id`.
bool is_reply_to(const Json& event, const std::string& request_id);

// Path of the built runner binary.
std::string runner_binary_path();

// A fresh temporary directory removed at destruction.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    [[nodiscard]] const std::string& path() const { return path_; }
    [[nodiscard]] std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);

}  // namespace lk::e2e
