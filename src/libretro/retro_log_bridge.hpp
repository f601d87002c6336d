#pragma once

// The log interface handed to cores (GET_LOG_INTERFACE). With core logs on
// (LUMENKITE_RUNNER_CORE_LOGS), a core's message is formatted printf-style and
// written to standard error exactly as the core composed it: no tag, no level,
// no added newline. With core logs off it is dropped.

#include <cstdarg>
#include <string>

#include "libretro/abi.hpp"

namespace lk {

// The one static log callback structure; its `log` member is
// lumenkite_retro_log.
const retro::LogCallback* lumenkite_retro_log_interface();

// C-callable: the core's printf-style log function. The level is ignored.
void lumenkite_retro_log(retro::LogLevel level, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// The text a printf-style format and its arguments compose; empty for a null
// format.
std::string format_core_log_text(const char* format, va_list args)
    __attribute__((format(printf, 1, 0)));

}  // namespace lk
