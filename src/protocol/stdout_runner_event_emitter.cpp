#include "protocol/stdout_runner_event_emitter.hpp"

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

namespace lk {

namespace {

std::mutex& stdout_mutex() {
    static std::mutex mutex;
    return mutex;
}

// The descriptor events are written to: standard output, or the private
// duplicate of it made by reserve_standard_output_for_events(). Set once at
// start-up before any other thread exists.
int event_output_fd = STDOUT_FILENO;

// Writes the envelope and its line feed with as few system calls as possible;
// the caller holds the standard output lock.
Status write_line_locked(std::string_view envelope) {
    static constexpr char kNewline = '\n';
    iovec parts[2] = {{const_cast<char*>(envelope.data()), envelope.size()},
                      {const_cast<char*>(&kNewline), 1}};
    int first = 0;
    while (first < 2) {
        const ssize_t written = ::writev(event_output_fd, parts + first, 2 - first);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fail(Error::from_errno(errno));
        }
        auto remaining = static_cast<std::size_t>(written);
        while (first < 2 && remaining >= parts[first].iov_len) {
            remaining -= parts[first].iov_len;
            ++first;
        }
        if (first < 2) {
            parts[first].iov_base = static_cast<char*>(parts[first].iov_base) + remaining;
            parts[first].iov_len -= remaining;
        }
    }
    return {};
}

}  // namespace

void reserve_standard_output_for_events() {
    const int duplicate = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (duplicate < 0) {
        return;  // no usable standard output: writes will fail and end the runner
    }
    if (::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        ::close(duplicate);
        return;
    }
    event_output_fd = duplicate;
}

RunnerEventEmitterHandle StdoutRunnerEventEmitter::create() {
    return std::make_shared<StdoutRunnerEventEmitter>();
}

std::string serialize_event_envelope(std::string_view name, const OrderedJson& payload) {
    std::string line;
    line.reserve(128);
    line.append(R"({"name":)");
    line.append(OrderedJson(name).dump(-1, ' ', false, OrderedJson::error_handler_t::replace));
    line.append(R"(,"payload":)");
    line.append(payload.dump(-1, ' ', false, OrderedJson::error_handler_t::replace));
    line.push_back('}');
    return line;
}

Status StdoutRunnerEventEmitter::emit_event(std::string_view name, const OrderedJson& payload) {
    const std::string line = serialize_event_envelope(name, payload);
    return emit_serialized_event(line);
}

Status StdoutRunnerEventEmitter::emit_serialized_event(std::string_view envelope) {
    const std::lock_guard lock(stdout_mutex());
    return write_line_locked(envelope);
}

}  // namespace lk
