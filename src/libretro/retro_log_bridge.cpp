#include "libretro/retro_log_bridge.hpp"

#include <cstdio>

#include "common/diagnostics.hpp"
#include "common/switches.hpp"

namespace lk {

namespace {
const retro::LogCallback kLogCallback{&lumenkite_retro_log};
}  // namespace

const retro::LogCallback* lumenkite_retro_log_interface() {
    return &kLogCallback;
}

std::string format_core_log_text(const char* format, va_list args) {
    if (format == nullptr) {
        return {};
    }
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length <= 0) {
        return {};
    }
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

void lumenkite_retro_log(retro::LogLevel /*level*/, const char* format, ...) {
    if (format == nullptr || !runner_core_logs_enabled()) {
        return;
    }
    std::string text;
    va_list args;
    va_start(args, format);
    try {
        text = format_core_log_text(format, args);
    } catch (...) {
        // Never let a failure escape into the core; the line is lost.
    }
    va_end(args);
    if (!text.empty()) {
        try {
            write_stderr_text(text);
        } catch (...) {
        }
    }
}

}  // namespace lk
