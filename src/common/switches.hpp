#pragma once

namespace lk {

// Process-wide switches. Each reads its variable once, on its first query from
// any thread, and keeps the answer for the life of the process.

// LUMENKITE_RUNNER_DEBUG_LOGS: "1", "yes", "YES", "true", "TRUE".
bool runner_debug_logs_enabled();

// LUMENKITE_INPUT_TRACE: "1", "on", "yes", "true". The core object and the
// input callback keep independent copies; these are the two queries.
bool core_input_trace_enabled();
bool callback_input_trace_enabled();

// LUMENKITE_DOLPHIN_CORE_HASH_STRICT: "1", "on", "yes", "true".
bool dolphin_core_hash_strict_enabled();

// LUMENKITE_RUNNER_CORE_LOGS: "1", "true", "TRUE", "yes", "YES".
bool runner_core_logs_enabled();

// LUMENKITE_USE_LIBRETRO_CORES: "1", "yes", "YES", "true", "TRUE". Read anew
// on each call; the registry asks once when it is built.
bool use_libretro_cores_requested();

// LUMENKITE_DUMP_CORE_OPTIONS: "1", "on", "ON", "yes", "YES", "true", "TRUE".
// Read anew on each call.
bool dump_core_options_requested();

}  // namespace lk
