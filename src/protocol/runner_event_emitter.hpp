#pragma once

#include <memory>
#include <string_view>

#include "common/error.hpp"
#include "protocol/json.hpp"

namespace lk {

// Writes one event line. Thread-safe: any thread holding a handle may call it
// at any time, and every line is written whole.
class RunnerEventEmitter {
  public:
    virtual ~RunnerEventEmitter() = default;

    // Serializes {"name":<name>,"payload":<payload>} and writes it as one line.
    virtual Status emit_event(std::string_view name, const OrderedJson& payload) = 0;

    // Writes an event envelope that the caller already serialized (frame events
    // are built by hand, without a DOM, for speed). `envelope` has no newline.
    virtual Status emit_serialized_event(std::string_view envelope) = 0;
};

using RunnerEventEmitterHandle = std::shared_ptr<RunnerEventEmitter>;

}  // namespace lk
