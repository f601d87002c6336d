#include "common/diagnostics.hpp"

#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <string>

namespace lk {

namespace {
std::mutex& stderr_mutex() {
    static std::mutex mutex;
    return mutex;
}

void write_all_to_stderr(std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(STDERR_FILENO, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
}
}  // namespace

void write_stderr_text(std::string_view text) {
    const std::lock_guard lock(stderr_mutex());
    write_all_to_stderr(text);
}

void write_diagnostic_line(std::string_view tag, std::string_view text) {
    std::string line;
    line.reserve(tag.size() + text.size() + 2);
    line.append(tag);
    line.push_back(' ');
    line.append(text);
    line.push_back('\n');
    write_stderr_text(line);
}

}  // namespace lk
