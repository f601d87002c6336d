#include "video/raw_frame_stream_worker.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <string_view>
#include <utility>

#include "common/diagnostics.hpp"
#include "video/pixel_format.hpp"
#include "video/raw_frame_message.hpp"
#include "video/rgba_conversion.hpp"

namespace lk {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kIdlePollInterval = std::chrono::milliseconds(16);
constexpr auto kHandshakeTimeout = std::chrono::seconds(2);
constexpr std::size_t kReadBufferSize = 8192;
// A token line longer than this cannot match; the client is refused rather
// than buffered without bound.
constexpr std::size_t kLongestTokenLine = 8192;

bool is_loopback_peer(const sockaddr_storage& peer) {
    if (peer.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(peer);
        return (ntohl(v4.sin_addr.s_addr) >> 24) == 127;
    }
    if (peer.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(peer);
        return IN6_IS_ADDR_LOOPBACK(&v6.sin6_addr);
    }
    return false;
}

template <class Duration>
Status set_timeout(int fd, int option, Duration duration) {
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(duration).count();
    timeval value{};
    value.tv_sec = static_cast<time_t>(micros / 1'000'000);
    value.tv_usec = static_cast<suseconds_t>(micros % 1'000'000);
    if (::setsockopt(fd, SOL_SOCKET, option, &value, sizeof value) != 0) {
        return fail(Error::from_errno(errno));
    }
    return {};
}

Status set_no_delay(int fd) {
    const int on = 1;
    if (::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0) {
        return fail(Error::from_errno(errno));
    }
    return {};
}

// Reads up to the first line feed (or the end of the stream), all within the
// handshake's deadline. Bytes after the line feed are discarded: the client
// sends nothing else.
Result<std::string> read_token_line(int fd) {
    const Clock::time_point deadline = Clock::now() + kHandshakeTimeout;
    std::array<char, kReadBufferSize> buffer{};
    std::string line;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return fail(Error::from_errno(EAGAIN));
        }
        pollfd waiting{.fd = fd, .events = POLLIN, .revents = 0};
        const int ready = ::poll(&waiting, 1, static_cast<int>(left.count()));
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fail(Error::from_errno(errno));
        }
        if (ready == 0) {
            return fail(Error::from_errno(EAGAIN));
        }
        const ssize_t got = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fail(Error::from_errno(errno));
        }
        if (got == 0) {
            return line;
        }
        const std::string_view chunk(buffer.data(), static_cast<std::size_t>(got));
        const std::size_t newline = chunk.find('\n');
        line.append(chunk.substr(0, newline));
        if (newline != std::string_view::npos) {
            return line;
        }
        if (line.size() > kLongestTokenLine) {
            return fail("authentication token mismatch");
        }
    }
}

// Writes both parts completely; retries after signals, fails on a timeout, a
// closed connection or a write that makes no progress.
Status write_all(int fd, std::span<const std::uint8_t> first,
                 std::span<const std::uint8_t> second) {
    std::array<iovec, 2> parts{
        iovec{const_cast<std::uint8_t*>(first.data()), first.size()},
        iovec{const_cast<std::uint8_t*>(second.data()), second.size()},
    };
    std::size_t index = 0;
    while (index < parts.size()) {
        if (parts[index].iov_len == 0) {
            ++index;
            continue;
        }
        msghdr message{};
        message.msg_iov = &parts[index];
        message.msg_iovlen = parts.size() - index;
        const ssize_t sent = ::sendmsg(fd, &message, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fail(Error::from_errno(errno));
        }
        if (sent == 0) {
            return fail("failed to write whole buffer");
        }
        auto left = static_cast<std::size_t>(sent);
        while (left > 0 && index < parts.size()) {
            const std::size_t taken = std::min(left, parts[index].iov_len);
            parts[index].iov_base = static_cast<std::uint8_t*>(parts[index].iov_base) + taken;
            parts[index].iov_len -= taken;
            left -= taken;
            if (parts[index].iov_len == 0) {
                ++index;
            }
        }
    }
    return {};
}

void close_connection(UniqueFd& fd) {
    if (fd) {
        ::shutdown(fd.get(), SHUT_RDWR);
        fd.reset();
    }
}

}  // namespace

RawFrameStreamWorker::RawFrameStreamWorker(UniqueFd listener, std::string token,
                                           std::shared_ptr<VideoWorkerQueue> queue, bool debug_logs,
                                           std::chrono::milliseconds write_timeout)
    : listener_(std::move(listener)),
      token_(std::move(token)),
      queue_(std::move(queue)),
      debug_logs_(debug_logs),
      write_timeout_(write_timeout),
      summary_(debug_logs, "rawFrameWorker", "Convert") {}

void RawFrameStreamWorker::poll_listener() {
    sockaddr_storage peer{};
    socklen_t peer_length = sizeof peer;
    UniqueFd connection(
        ::accept4(listener_.get(), reinterpret_cast<sockaddr*>(&peer), &peer_length, SOCK_CLOEXEC));
    if (!connection) {
        const int error = errno;
        if (error != EAGAIN && error != EWOULDBLOCK && debug_logs_) {
            log_line(kVideoTag, "Raw frame stream accept failed: {}",
                     Error::from_errno(error).display());
        }
        return;
    }
    if (!is_loopback_peer(peer)) {
        close_connection(connection);
        return;
    }
    if (auto accepted = authenticate(connection.get()); !accepted) {
        close_connection(connection);
        if (debug_logs_) {
            log_line(kVideoTag, "Rejected raw frame stream client: {}", accepted.error().display());
        }
        return;
    }
    client_ = std::move(connection);
    if (debug_logs_) {
        write_diagnostic_line(kVideoTag, "Raw frame stream client connected.");
    }
}

Status RawFrameStreamWorker::authenticate(int fd) const {
    if (auto set = set_timeout(fd, SO_RCVTIMEO, kHandshakeTimeout); !set) {
        return set;
    }
    if (auto set = set_timeout(fd, SO_SNDTIMEO, write_timeout_); !set) {
        return set;
    }
    if (auto set = set_no_delay(fd); !set) {
        return set;
    }
    auto line = read_token_line(fd);
    if (!line) {
        return fail(std::move(line.error()));
    }
    std::string_view presented = *line;
    while (!presented.empty() && (presented.back() == '\r' || presented.back() == '\n')) {
        presented.remove_suffix(1);
    }
    if (presented != token_) {
        ::shutdown(fd, SHUT_RDWR);
        return fail("authentication token mismatch");
    }
    return set_timeout(fd, SO_RCVTIMEO, std::chrono::seconds(0));
}

Result<VideoWorkerTimings> RawFrameStreamWorker::send_frame(const QueuedVideoFrame& queued) {
    const Clock::time_point taken_at = Clock::now();
    auto format = PixelFormat::from_label(queued.frame.pixel_format);
    if (!format) {
        return fail(std::move(format.error()));
    }
    auto rgba = convert_frame_to_tightly_packed_rgba_with_format(queued.frame, *format);
    const Clock::time_point converted_at = Clock::now();
    if (!rgba) {
        return fail(std::move(rgba.error()));
    }
    if (auto built = build_raw_frame_message_prefix(prefix_,
                                                    RawFrameMessageFields{
                                                        .frame_index = queued.frame_index,
                                                        .width = queued.frame.width,
                                                        .height = queued.frame.height,
                                                        .session_id = queued.session_id,
                                                        .payload_length = rgba->size(),
                                                    });
        !built) {
        return fail(std::move(built.error()));
    }
    const Clock::time_point write_started_at = Clock::now();
    if (auto written = write_all(client_.get(), prefix_, rgba->bytes()); !written) {
        return fail(std::move(written.error()));
    }
    const Clock::time_point written_at = Clock::now();
    return VideoWorkerTimings{
        .queued_ms = milliseconds_between(queued.queued_at, taken_at),
        .work_ms = milliseconds_between(taken_at, converted_at),
        .emit_ms = milliseconds_between(write_started_at, written_at),
    };
}

void RawFrameStreamWorker::run() {
    for (;;) {
        if (!client_) {
            poll_listener();
        }
        bool stop_requested = false;
        std::optional<QueuedVideoFrame> queued =
            queue_->take_next_frame_within(kIdlePollInterval, stop_requested);
        if (!queued) {
            if (stop_requested) {
                break;
            }
            continue;
        }
        if (client_) {
            const auto timings = send_frame(*queued);
            if (!timings) {
                if (debug_logs_) {
                    log_line(kVideoTag, "Raw frame stream client disconnected: {}",
                             timings.error().display());
                }
                close_connection(client_);
            } else if (auto text = summary_.record(*timings, Clock::now())) {
                write_diagnostic_line(kVideoTag, *text);
            }
        }
        queued.reset();  // release the pixels before the runtime is told the worker is idle
        queue_->finish_in_flight();
    }
    close_connection(client_);
    listener_.reset();
}

}  // namespace lk
