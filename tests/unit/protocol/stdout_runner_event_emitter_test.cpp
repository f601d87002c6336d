#include "protocol/stdout_runner_event_emitter.hpp"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace lk {
namespace {

// Points standard output at a temporary file for the test's duration.
class CapturedStdout {
  public:
    CapturedStdout() {
        std::fflush(stdout);
        saved_ = ::dup(1);
        char path[] = "/tmp/lk-stdout-XXXXXX";
        fd_ = ::mkstemp(path);
        path_ = path;
        ::dup2(fd_, 1);
    }
    ~CapturedStdout() {
        restore();
        ::close(fd_);
        ::unlink(path_.c_str());
    }
    void restore() {
        if (saved_ >= 0) {
            ::dup2(saved_, 1);
            ::close(saved_);
            saved_ = -1;
        }
    }
    std::string text() const {
        std::string out;
        char buffer[65536];
        ssize_t got;
        ::lseek(fd_, 0, SEEK_SET);
        while ((got = ::read(fd_, buffer, sizeof buffer)) > 0) {
            out.append(buffer, static_cast<std::size_t>(got));
        }
        return out;
    }

  private:
    int saved_ = -1;
    int fd_ = -1;
    std::string path_;
};

TEST(StdoutRunnerEventEmitter, ConcurrentEventsAreWholeLines) {
    CapturedStdout captured;
    const auto emitter = StdoutRunnerEventEmitter::create();
    constexpr int kThreads = 4;
    constexpr int kEvents = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            // Large payloads make a torn write likely if lines were not locked.
            const std::string blob(70000U + static_cast<std::size_t>(t),
                                   static_cast<char>('a' + t));
            for (int i = 0; i < kEvents; ++i) {
                ASSERT_TRUE(emitter->emit_event("blob", OrderedJson{{"t", t}, {"blob", blob}}));
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    captured.restore();
    const std::string text = captured.text();
    std::size_t start = 0;
    int lines = 0;
    while (start < text.size()) {
        const auto end = text.find('\n', start);
        ASSERT_NE(end, std::string::npos);
        const auto event = OrderedJson::parse(text.substr(start, end - start));
        const int t = event["payload"]["t"];
        EXPECT_EQ(event["payload"]["blob"],
                  std::string(70000U + static_cast<std::size_t>(t), static_cast<char>('a' + t)));
        ++lines;
        start = end + 1;
    }
    EXPECT_EQ(lines, kThreads * kEvents);
}

TEST(StdoutRunnerEventEmitter, ClosedStandardOutputIsAnError) {
    std::fflush(stdout);
    const int saved = ::dup(1);
    int pipe_fds[2];
    ASSERT_EQ(::pipe(pipe_fds), 0);
    ::close(pipe_fds[0]);  // nobody reads: writes fail with EPIPE (SIGPIPE ignored)
    ::dup2(pipe_fds[1], 1);
    const auto old_handler = std::signal(SIGPIPE, SIG_IGN);
    const auto result = StdoutRunnerEventEmitter().emit_event("x", OrderedJson::object());
    std::signal(SIGPIPE, old_handler);
    ::dup2(saved, 1);
    ::close(saved);
    ::close(pipe_fds[1]);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().display(), "Broken pipe (os error 32)");
}

}  // namespace
}  // namespace lk

namespace lk {
namespace {

std::string drain(int fd) {
    std::string out;
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0) {
        out.append(buffer, static_cast<std::size_t>(got));
    }
    return out;
}

TEST(StdoutRunnerEventEmitter, TextPrintedByLibrariesCannotReachTheEventStream) {
    int out_pipe[2];
    int err_pipe[2];
    ASSERT_EQ(::pipe(out_pipe), 0);
    ASSERT_EQ(::pipe(err_pipe), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::dup2(out_pipe[1], 1);
        ::dup2(err_pipe[1], 2);
        ::close(out_pipe[0]);
        ::close(err_pipe[0]);
        reserve_standard_output_for_events();
        std::printf("core banner\n");
        std::fflush(stdout);
        const bool ok =
            StdoutRunnerEventEmitter().emit_event("pong", OrderedJson::object()).has_value();
        ::_exit(ok ? 0 : 1);
    }
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);
    const std::string out = drain(out_pipe[0]);
    const std::string err = drain(err_pipe[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(out, "{\"name\":\"pong\",\"payload\":{}}\n");
    EXPECT_EQ(err, "core banner\n");
    ::close(out_pipe[0]);
    ::close(err_pipe[0]);
}

}  // namespace
}  // namespace lk
