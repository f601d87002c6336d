#include "clip_recording/child_process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace lk {

namespace {

class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }
    void reset() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    [[nodiscard]] int get() const { return fd_; }
    int* out() { return &fd_; }

  private:
    int fd_ = -1;
};

struct Pipe {
    Fd read;
    Fd write;
};

Status make_pipe(Pipe& pipe) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return fail(Error::from_errno(errno));
    }
    *pipe.read.out() = fds[0];
    *pipe.write.out() = fds[1];
    return {};
}

class SpawnActions {
  public:
    SpawnActions() { ::posix_spawn_file_actions_init(&actions_); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    ~SpawnActions() { ::posix_spawn_file_actions_destroy(&actions_); }
    posix_spawn_file_actions_t* get() { return &actions_; }

  private:
    posix_spawn_file_actions_t actions_{};
};

// Reads both pipes until each reaches its end.
void collect_output(int out_fd, int err_fd, std::string& out, std::string& err) {
    pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
    std::string* targets[2] = {&out, &err};
    int open_count = 2;
    char buffer[8192];
    while (open_count > 0) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                targets[i]->append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                fds[i].fd = -1;
                --open_count;
            }
        }
    }
}

}  // namespace

std::map<std::string, std::string> current_process_environment() {
    std::map<std::string, std::string> environment;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const char* equals = std::strchr(*entry, '=');
        if (equals == nullptr) {
            continue;
        }
        environment.emplace(std::string(const_cast<const char*>(*entry), equals),
                            std::string(equals + 1));
    }
    return environment;
}

Result<ChildProcessOutput> run_child_process(const ChildProcessCommand& command) {
    Pipe out;
    Pipe err;
    if (auto made = make_pipe(out); !made) {
        return fail(std::move(made.error()));
    }
    if (auto made = make_pipe(err); !made) {
        return fail(std::move(made.error()));
    }
    SpawnActions actions;
    ::posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_adddup2(actions.get(), out.write.get(), STDOUT_FILENO);
    ::posix_spawn_file_actions_adddup2(actions.get(), err.write.get(), STDERR_FILENO);

    std::vector<std::string> argument_texts;
    argument_texts.reserve(command.arguments.size() + 1);
    argument_texts.push_back(command.program);
    argument_texts.insert(argument_texts.end(), command.arguments.begin(), command.arguments.end());
    std::vector<char*> argv;
    for (auto& text : argument_texts) {
        argv.push_back(text.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> environment_texts;
    for (const auto& [name, value] : command.environment) {
        environment_texts.push_back(name + "=" + value);
    }
    std::vector<char*> envp;
    for (auto& text : environment_texts) {
        envp.push_back(text.data());
    }
    envp.push_back(nullptr);

    pid_t pid = -1;
    // posix_spawnp searches PATH of the runner for a bare program name.
    const int spawned = ::posix_spawnp(&pid, command.program.c_str(), actions.get(), nullptr,
                                       argv.data(), envp.data());
    if (spawned != 0) {
        return fail(Error::from_errno(spawned));
    }
    out.write.reset();
    err.write.reset();

    ChildProcessOutput output;
    collect_output(out.read.get(), err.read.get(), output.standard_output, output.standard_error);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return fail(Error::from_errno(errno));
        }
    }
    if (WIFEXITED(status)) {
        output.exit_code = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        output.signal = WTERMSIG(status);
    }
    return output;
}

}  // namespace lk
