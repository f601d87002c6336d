#pragma once

#include "input/mapped_input_state.hpp"
#include "protocol/shared_payloads.hpp"

namespace lk {

// Writes the "runner-map" input trace pair for a Dolphin GameCube session, at
// most once per 250 ms of wall-clock time. The caller checks the trace switch.
void trace_runner_map(const EmulatorInputState& input, const MappedInputState& mapped);

}  // namespace lk
