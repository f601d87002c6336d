#pragma once

#include <string_view>
#include <utility>

#include <fmt/format.h>

#include "common/switches.hpp"

namespace lk {

// Tags of the runner's diagnostic lines on standard error.
inline constexpr std::string_view kRunnerTag = "[lumenkite-runner]";
inline constexpr std::string_view kVideoTag = "[lumenkite-video]";
inline constexpr std::string_view kInputTag = "[lumenkite-input]";
inline constexpr std::string_view kInputTraceTag = "[lumenkite-input-trace]";
inline constexpr std::string_view kInputTraceJsonTag = "[lumenkite-input-trace-json]";
inline constexpr std::string_view kCoreOptionsTag = "[lumenkite-core-options]";

// Writes "<tag> <text>\n" to standard error as one write under the stderr lock.
// A failed write is dropped: nothing depends on diagnostics.
void write_diagnostic_line(std::string_view tag, std::string_view text);

// Writes raw text (already line-terminated) under the stderr lock.
void write_stderr_text(std::string_view text);

template <class... Args>
void log_line(std::string_view tag, fmt::format_string<Args...> format, Args&&... args) {
    write_diagnostic_line(tag, fmt::format(format, std::forward<Args>(args)...));
}

// A "[lumenkite-runner]" line written only when debug logs are on.
template <class... Args>
void runner_debug(fmt::format_string<Args...> format, Args&&... args) {
    if (runner_debug_logs_enabled()) {
        write_diagnostic_line(kRunnerTag, fmt::format(format, std::forward<Args>(args)...));
    }
}

// A "[lumenkite-runner]" line written always.
template <class... Args>
void runner_log(fmt::format_string<Args...> format, Args&&... args) {
    write_diagnostic_line(kRunnerTag, fmt::format(format, std::forward<Args>(args)...));
}

// A "[lumenkite-video]" line written only when debug logs are on.
template <class... Args>
void video_debug(fmt::format_string<Args...> format, Args&&... args) {
    if (runner_debug_logs_enabled()) {
        write_diagnostic_line(kVideoTag, fmt::format(format, std::forward<Args>(args)...));
    }
}

}  // namespace lk
