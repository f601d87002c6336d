#include "protocol/async_command_result.hpp"

#include <thread>

#include "common/panic_report.hpp"
#include "protocol/event_output.hpp"

namespace lk::async_command_result {

void reply_when_ready(const std::string& command_name, const std::string& request_id,
                      PendingClipResult& pending, RunnerEventEmitter& emitter) {
    std::optional<ClipResult> delivered = pending.recv();
    std::string message;
    if (!delivered) {
        message = kReplyChannelClosed;
    } else if (!delivered->has_value()) {
        message = delivered->error().display();
    } else {
        // Write errors cannot be reported from here; they are dropped.
        (void)emit_command_succeeded_event(emitter, command_name, request_id,
                                           OrderedJson(delivered->value()));
        return;
    }
    (void)emit_error_event(emitter, error_code::kCommandFailed, message);
    (void)emit_command_failed_event(emitter, command_name, request_id, message);
}

void spawn(std::string command_name, std::string request_id, PendingClipResult pending,
           RunnerEventEmitterHandle emitter) {
    std::thread([name = std::move(command_name), id = std::move(request_id),
                 result = std::move(pending), out = std::move(emitter)]() mutable {
        try {
            reply_when_ready(name, id, result, *out);
        } catch (...) {
            report_panic("reply thread", describe_exception(std::current_exception()));
        }
    }).detach();
}

}  // namespace lk::async_command_result
