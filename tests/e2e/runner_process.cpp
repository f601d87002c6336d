#include "runner_process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

extern char** environ;

namespace lk::e2e {

namespace {

using Clock = std::chrono::steady_clock;

void set_nonblocking(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// Appends what can be read now; false at end of file.
bool read_available(int fd, std::string& buffer) {
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got > 0) {
            buffer.append(chunk, static_cast<std::size_t>(got));
            continue;
        }
        if (got == 0) {
            return false;
        }
        return errno == EAGAIN || errno == EINTR;
    }
}

}  // namespace

std::string runner_binary_path() {
    return LK_RUNNER_BINARY;
}

RunnerProcess::RunnerProcess(const std::map<std::string, std::string>& environment,
                             const std::string& working_directory) {
    int in_pipe[2], out_pipe[2], err_pipe[2];
    if (::pipe2(in_pipe, O_CLOEXEC) != 0 || ::pipe2(out_pipe, O_CLOEXEC) != 0 ||
        ::pipe2(err_pipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in_pipe[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
    if (!working_directory.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, working_directory.c_str());
    }
    // A clean environment: only what the runner needs to run here, plus the
    // test's own variables. Sanitizer settings pass through.
    std::map<std::string, std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        const auto eq = entry.find('=');
        const std::string key = entry.substr(0, eq);
        if (key == "PATH" || key == "HOME" || key == "TMPDIR" || key.ends_with("SAN_OPTIONS")) {
            env[key] = entry.substr(eq + 1);
        }
    }
    for (const auto& [key, value] : environment) {
        env[key] = value;
    }
    std::vector<std::string> env_strings;
    for (const auto& [key, value] : env) {
        env_strings.push_back(key + "=" + value);
    }
    std::vector<char*> envp;
    for (auto& s : env_strings) {
        envp.push_back(s.data());
    }
    envp.push_back(nullptr);
    std::string binary = runner_binary_path();
    char* argv[] = {binary.data(), nullptr};
    const int rc = ::posix_spawn(&pid_, binary.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(in_pipe[0]);
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);
    if (rc != 0) {
        throw std::runtime_error("posix_spawn failed: " + std::string(std::strerror(rc)));
    }
    stdin_fd_ = in_pipe[1];
    stdout_fd_ = out_pipe[0];
    stderr_fd_ = err_pipe[0];
    set_nonblocking(stdout_fd_);
    set_nonblocking(stderr_fd_);
}

RunnerProcess::~RunnerProcess() {
    close_stdin();
    if (!exit_status_ && pid_ > 0) {
        if (wait_for_exit(std::chrono::seconds(10)) < 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    for (int fd : {stdout_fd_, stderr_fd_}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void RunnerProcess::write_raw(const std::string& bytes) {
    std::size_t offset = 0;
    while (offset < bytes.size()) {
        const ssize_t written = ::write(stdin_fd_, bytes.data() + offset, bytes.size() - offset);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == EAGAIN) {
                continue;
            }
            throw std::runtime_error("write to runner failed: " +
                                     std::string(std::strerror(errno)));
        }
        offset += static_cast<std::size_t>(written);
        // Keep the runner's output pipes from filling while we write a lot.
        if (stdout_fd_ >= 0) {
            read_available(stdout_fd_, stdout_buffer_);
        }
        read_available(stderr_fd_, stderr_buffer_);
    }
}

void RunnerProcess::send_line(const std::string& line) {
    write_raw(line + "\n");
}

void RunnerProcess::send(const std::string& type, const std::string& request_id,
                         const Json& payload) {
    send_line(Json{{"type", type}, {"requestId", request_id}, {"payload", payload}}.dump());
}

std::optional<std::string> RunnerProcess::read_line(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const auto newline = stdout_buffer_.find('\n');
        if (newline != std::string::npos) {
            std::string line = stdout_buffer_.substr(0, newline);
            stdout_buffer_.erase(0, newline + 1);
            return line;
        }
        if (stdout_eof_) {
            return std::nullopt;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return std::nullopt;
        }
        pollfd fds[2] = {{stdout_fd_, POLLIN, 0}, {stderr_fd_, POLLIN, 0}};
        ::poll(fds, 2, static_cast<int>(left.count()));
        if (!read_available(stdout_fd_, stdout_buffer_)) {
            stdout_eof_ = true;
        }
        read_available(stderr_fd_, stderr_buffer_);
    }
}

Json RunnerProcess::next_event(std::chrono::milliseconds timeout) {
    auto line = read_line(timeout);
    if (!line) {
        ADD_FAILURE() << "no event from the runner; stderr:\n" << stderr_text();
        return Json();
    }
    return Json::parse(*line);
}

std::vector<Json> RunnerProcess::events_until_reply(const std::string& request_id,
                                                    std::chrono::milliseconds timeout) {
    std::vector<Json> events;
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        auto line = read_line(std::max(left, std::chrono::milliseconds(0)));
        if (!line) {
            ADD_FAILURE() << "no reply for " << request_id << "; stderr:\n" << stderr_text();
            return events;
        }
        events.push_back(Json::parse(*line));
        const Json& e = events.back();
        if (is_reply_to(e, request_id)) {
            return events;
        }
    }
}

bool is_reply_to(const Json& event, const std::string& request_id) {
    return (event["name"] == "commandSucceeded" || event["name"] == "commandFailed") &&
           event["payload"]["requestId"] == request_id;
}

bool RunnerProcess::stays_quiet(std::chrono::milliseconds quiet) {
    return !read_line(quiet).has_value();
}

void RunnerProcess::close_stdin() {
    if (stdin_fd_ >= 0) {
        ::close(stdin_fd_);
        stdin_fd_ = -1;
    }
}

void RunnerProcess::close_stdout_for_test() {
    if (stdout_fd_ >= 0) {
        ::close(stdout_fd_);
        stdout_fd_ = -1;
        stdout_eof_ = true;
    }
}

int RunnerProcess::wait_for_exit(std::chrono::milliseconds timeout) {
    if (exit_status_) {
        return *exit_status_;
    }
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        int status = 0;
        const pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            drain_stderr(std::chrono::milliseconds(0));
            return *exit_status_;
        }
        if (stdout_fd_ >= 0) {
            read_available(stdout_fd_, stdout_buffer_);
        }
        drain_stderr(std::chrono::milliseconds(0));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1;
}

void RunnerProcess::drain_stderr(std::chrono::milliseconds wait) {
    if (wait.count() > 0) {
        pollfd fd{stderr_fd_, POLLIN, 0};
        ::poll(&fd, 1, static_cast<int>(wait.count()));
    }
    read_available(stderr_fd_, stderr_buffer_);
}

std::string RunnerProcess::stderr_text() {
    drain_stderr(std::chrono::milliseconds(0));
    return stderr_buffer_;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "lk-e2e-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

}  // namespace lk::e2e
