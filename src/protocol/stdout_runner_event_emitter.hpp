#pragma once

#include "protocol/runner_event_emitter.hpp"

namespace lk {

// The emitter over the process's standard output. It holds no data; every
// instance writes to the same stream under the same process-wide lock.
class StdoutRunnerEventEmitter final : public RunnerEventEmitter {
  public:
    static RunnerEventEmitterHandle create();

    Status emit_event(std::string_view name, const OrderedJson& payload) override;
    Status emit_serialized_event(std::string_view envelope) override;
};

// Moves the event stream to a private duplicate of standard output and points
// descriptor 1 at standard error, so that text a core library prints with
// printf can never corrupt the event stream. Call once at start-up, before any
// thread starts.
void reserve_standard_output_for_events();

// Serializes an event envelope compactly, keys `name` then `payload`.
std::string serialize_event_envelope(std::string_view name, const OrderedJson& payload);

}  // namespace lk
