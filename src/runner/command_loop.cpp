#include "runner/command_loop.hpp"

#include <fmt/format.h>

#include "common/utf8.hpp"
#include "protocol/event_output.hpp"
#include "protocol/runner_command_envelope.hpp"
#include "runner/command_table.hpp"

namespace lk {

namespace {

constexpr std::string_view kRuntimeLostTexts[] = {
    "Libretro runtime command channel closed.",
    "Libretro runtime reply channel closed.",
    "No libretro runtime is active.",
};

bool replies_on_success(std::string_view type) {
    return type != "setInputState" && type != "submitNetplayInputFrame";
}

}  // namespace

bool is_libretro_runtime_lost_error(const Error& error) {
    for (std::string_view text : kRuntimeLostTexts) {
        if (error.display().find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

bool is_blank_line(std::string_view line) {
    return trim_white_space(line).empty();
}

CommandLoop::CommandLoop(CoreRegistry registry, ControllerMetadataProvider& controllers,
                         RunnerEventEmitterHandle emitter)
    : registry_(std::move(registry)), controllers_(controllers), emitter_(std::move(emitter)) {}

Status CommandLoop::emit(std::string_view name, const OrderedJson& payload) {
    auto written = emitter_->emit_event(name, payload);
    if (!written && !stdout_failure_) {
        stdout_failure_ = written.error();
    }
    return written;
}

Status CommandLoop::emit_error_event(std::string_view code, std::string_view message) {
    return emit_payload(event_name::kError,
                        RunnerErrorEventPayload{std::string(code), std::string(message)});
}

Status CommandLoop::validate_session_id(const std::optional<std::string>& requested) const {
    if (!active_session_) {
        return fail(kNoRomSession);
    }
    if (requested && *requested != active_session_->session_id) {
        return fail(kSessionNotActive);
    }
    return {};
}

Result<EmulatorCore*> CommandLoop::resolve_active_core() const {
    const auto& s = *active_session_;
    if (EmulatorCore* core = registry_.find(s.core_id, s.platform_id)) {
        return core;
    }
    return fail(fmt::format("Core {} does not support platform {}.", s.core_id, s.platform_id));
}

Result<EmulatorCore*> CommandLoop::session_core(const std::optional<std::string>& requested) const {
    if (auto valid = validate_session_id(requested); !valid) {
        return fail(std::move(valid.error()));
    }
    return resolve_active_core();
}

CloseOutcome CommandLoop::close_active_session() {
    CloseOutcome outcome;
    if (!active_session_) {
        outcome.write = emit_payload(event_name::kRomClosed, RomClosedEventPayload{});
        return outcome;
    }
    const EmulatorSessionSnapshot snapshot = *active_session_;
    if (auto core = resolve_active_core()) {
        outcome.close = (*core)->close_rom(snapshot);
    } else {
        outcome.close = fail(std::move(core.error()));
    }
    active_session_.reset();
    outcome.write =
        emit_payload(event_name::kRomClosed, RomClosedEventPayload{snapshot.session_id});
    return outcome;
}

Status CommandLoop::clear_active_session_after_runtime_loss() {
    return close_active_session().write;
}

Status CommandLoop::handle_line(std::string_view line) {
    stdout_failure_.reset();
    if (is_blank_line(line)) {
        return {};
    }
    auto envelope = decode_command_envelope(line);
    if (!envelope) {
        (void)emit_error_event(error_code::kInvalidCommand,
                               "Failed to decode command: " + envelope.error().display());
    } else {
        const CommandContext context{envelope->type, envelope->request_id};
        Result<HandlerReply> reply = dispatch_command(*this, context, envelope->payload);
        if (!reply) {
            const std::string& message = reply.error().display();
            (void)emit_error_event(error_code::kCommandFailed, message);
            if (replies_on_success(context.type)) {
                (void)emit_payload(
                    event_name::kCommandFailed,
                    RunnerCommandFailedEventPayload{context.type, message, context.request_id});
            }
        } else if (!reply->handed_off && replies_on_success(context.type)) {
            (void)emit_payload(event_name::kCommandSucceeded,
                               RunnerCommandSucceededEventPayload{context.type, context.request_id,
                                                                  std::move(reply->result)});
        }
    }
    if (stdout_failure_) {
        return fail(*std::move(stdout_failure_));
    }
    return {};
}

}  // namespace lk
