#pragma once

// The shell's side of the raw frame stream, for tests and measurements:
// connect to the announced port, send the token line, read frame messages.
// The message is parsed here from its documented layout, independently of
// the runner's own writer.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace lk::test {

struct RawFrameMessage {
    std::string magic;
    std::uint16_t version = 0;
    std::uint16_t header_length = 0;
    std::uint64_t frame_index = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t stride = 0;
    std::string session_id;
    std::string pixel_format;
    std::vector<std::uint8_t> pixels;
};

class RawFrameStreamClient {
  public:
    using Clock = std::chrono::steady_clock;

    // A connection to 127.0.0.1:port, or nothing when it is refused. A
    // `receive_buffer` size fixes the socket's receive buffer (no autotuning),
    // so that a client that stops reading stalls the writer quickly.
    static std::optional<RawFrameStreamClient> connect(std::uint16_t port, int receive_buffer = 0) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            return std::nullopt;
        }
        if (receive_buffer > 0) {
            ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            return std::nullopt;
        }
        return RawFrameStreamClient(fd);
    }

    RawFrameStreamClient(RawFrameStreamClient&& other) noexcept
        : fd_(std::exchange(other.fd_, -1)) {}
    RawFrameStreamClient& operator=(RawFrameStreamClient&&) = delete;
    ~RawFrameStreamClient() { close(); }

    void close() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

    bool send_text(const std::string& text) {
        std::size_t sent = 0;
        while (sent < text.size()) {
            const ssize_t n = ::send(fd_, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) {
                return false;
            }
            sent += static_cast<std::size_t>(n);
        }
        return true;
    }

    // Reads exactly `size` bytes; false on end of stream, error or timeout.
    bool read_exact(void* out, std::size_t size, std::chrono::milliseconds timeout) {
        const auto deadline = Clock::now() + timeout;
        auto* at = static_cast<std::uint8_t*>(out);
        while (size > 0) {
            if (!wait_readable(deadline)) {
                return false;
            }
            const ssize_t n = ::recv(fd_, at, size, 0);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return false;
            }
            at += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }

    // The next whole message, or nothing on end of stream, error or timeout.
    std::optional<RawFrameMessage> read_message(
        std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        std::uint8_t header[36];
        if (!read_exact(header, sizeof header, timeout)) {
            return std::nullopt;
        }
        const auto be = [&](std::size_t offset, std::size_t size) {
            std::uint64_t value = 0;
            for (std::size_t i = 0; i < size; ++i) {
                value = (value << 8) | header[offset + i];
            }
            return value;
        };
        RawFrameMessage message;
        message.magic.assign(reinterpret_cast<const char*>(header), 4);
        message.version = static_cast<std::uint16_t>(be(4, 2));
        message.header_length = static_cast<std::uint16_t>(be(6, 2));
        message.frame_index = be(8, 8);
        message.width = static_cast<std::uint32_t>(be(16, 4));
        message.height = static_cast<std::uint32_t>(be(20, 4));
        message.stride = static_cast<std::uint32_t>(be(24, 4));
        message.session_id.resize(be(28, 2));
        message.pixel_format.resize(be(30, 2));
        message.pixels.resize(be(32, 4));
        if (!read_exact(message.session_id.data(), message.session_id.size(), timeout) ||
            !read_exact(message.pixel_format.data(), message.pixel_format.size(), timeout) ||
            !read_exact(message.pixels.data(), message.pixels.size(), timeout)) {
            return std::nullopt;
        }
        return message;
    }

    // Whether the runner closed the connection within `timeout` (anything it
    // sent before is read and discarded).
    bool closed_by_peer(std::chrono::milliseconds timeout) {
        const auto deadline = Clock::now() + timeout;
        std::vector<std::uint8_t> sink(1 << 16);
        for (;;) {
            if (!wait_readable(deadline)) {
                return false;
            }
            const ssize_t n = ::recv(fd_, sink.data(), sink.size(), 0);
            if (n == 0 || (n < 0 && errno != EINTR)) {
                return true;
            }
        }
    }

    // Whether nothing at all (no data, no end of stream) arrives for `quiet`.
    bool stays_silent(std::chrono::milliseconds quiet) {
        return !wait_readable(Clock::now() + quiet);
    }

  private:
    explicit RawFrameStreamClient(int fd) : fd_(fd) {}

    bool wait_readable(Clock::time_point deadline) {
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() < 0) {
                return false;
            }
            pollfd waiting{.fd = fd_, .events = POLLIN, .revents = 0};
            const int ready = ::poll(&waiting, 1, static_cast<int>(left.count()));
            if (ready > 0) {
                return true;
            }
            if (ready == 0) {
                return false;
            }
            if (errno != EINTR) {
                return false;
            }
        }
    }

    int fd_ = -1;
};

}  // namespace lk::test
