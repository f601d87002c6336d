#include "runner/stdin_line_reader.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace lk {

namespace {
constexpr std::size_t kReadChunk = 256 * 1024;
}

StdinLineReader::StdinLineReader(int fd) : fd_(fd) {}

Result<std::optional<std::string>> StdinLineReader::next_line() {
    for (;;) {
        const char* begin = buffer_.data() + start_;
        const std::size_t available = buffer_.size() - start_;
        if (const void* newline = std::memchr(begin + scanned_, '\n', available - scanned_)) {
            const auto length = static_cast<std::size_t>(static_cast<const char*>(newline) - begin);
            std::string line(begin, length);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            start_ += length + 1;
            scanned_ = 0;
            return line;
        }
        scanned_ = available;
        if (end_of_input_) {
            if (available == 0) {
                return std::optional<std::string>();
            }
            std::string line(begin, available);
            if (line.back() == '\r') {
                line.pop_back();
            }
            start_ = buffer_.size();
            scanned_ = 0;
            return line;
        }
        // Drop consumed bytes before growing the buffer.
        if (start_ > 0) {
            buffer_.erase(0, start_);
            start_ = 0;
        }
        const std::size_t old_size = buffer_.size();
        buffer_.resize(old_size + kReadChunk);
        ssize_t got;
        do {
            got = ::read(fd_, buffer_.data() + old_size, kReadChunk);
        } while (got < 0 && errno == EINTR);
        if (got < 0) {
            const int saved = errno;
            buffer_.resize(old_size);
            return fail(Error::from_errno(saved));
        }
        buffer_.resize(old_size + static_cast<std::size_t>(got));
        if (got == 0) {
            end_of_input_ = true;
        }
    }
}

}  // namespace lk
