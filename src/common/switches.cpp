#include "common/switches.hpp"

#include "common/environment.hpp"

namespace lk {

namespace {
constexpr const char* kDebugLogs = "LUMENKITE_RUNNER_DEBUG_LOGS";
constexpr const char* kInputTrace = "LUMENKITE_INPUT_TRACE";
constexpr const char* kDolphinStrict = "LUMENKITE_DOLPHIN_CORE_HASH_STRICT";
constexpr const char* kCoreLogs = "LUMENKITE_RUNNER_CORE_LOGS";
constexpr const char* kUseLibretro = "LUMENKITE_USE_LIBRETRO_CORES";
constexpr const char* kDumpOptions = "LUMENKITE_DUMP_CORE_OPTIONS";

bool input_trace_from_env() {
    return env_switch_is_on(kInputTrace, {"1", "on", "yes", "true"});
}
}  // namespace

// Function-local statics give the once-only, thread-safe initialisation.
bool runner_debug_logs_enabled() {
    static const bool on = env_switch_is_on(kDebugLogs, {"1", "yes", "YES", "true", "TRUE"});
    return on;
}

bool core_input_trace_enabled() {
    static const bool on = input_trace_from_env();
    return on;
}

bool callback_input_trace_enabled() {
    static const bool on = input_trace_from_env();
    return on;
}

bool dolphin_core_hash_strict_enabled() {
    static const bool on = env_switch_is_on(kDolphinStrict, {"1", "on", "yes", "true"});
    return on;
}

bool runner_core_logs_enabled() {
    static const bool on = env_switch_is_on(kCoreLogs, {"1", "true", "TRUE", "yes", "YES"});
    return on;
}

bool use_libretro_cores_requested() {
    return env_switch_is_on(kUseLibretro, {"1", "yes", "YES", "true", "TRUE"});
}

bool dump_core_options_requested() {
    return env_switch_is_on(kDumpOptions, {"1", "on", "ON", "yes", "YES", "true", "TRUE"});
}

}  // namespace lk
