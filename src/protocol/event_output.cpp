#include "protocol/event_output.hpp"

namespace lk {

Status emit_error_event(RunnerEventEmitter& emitter, std::string_view code,
                        std::string_view message) {
    return emit_typed_event(emitter, event_name::kError,
                            RunnerErrorEventPayload{std::string(code), std::string(message)});
}

Status emit_command_succeeded_event(RunnerEventEmitter& emitter, std::string_view command_name,
                                    std::string_view request_id, OrderedJson result) {
    return emit_typed_event(
        emitter, event_name::kCommandSucceeded,
        RunnerCommandSucceededEventPayload{std::string(command_name), std::string(request_id),
                                           std::move(result)});
}

Status emit_command_failed_event(RunnerEventEmitter& emitter, std::string_view command_name,
                                 std::string_view request_id, std::string_view message) {
    return emit_typed_event(
        emitter, event_name::kCommandFailed,
        RunnerCommandFailedEventPayload{std::string(command_name), std::string(message),
                                        std::string(request_id)});
}

}  // namespace lk
