#include "runner/command_loop.hpp"

#include <fmt/format.h>

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

// Decodes one UTF-8 sequence at `i` (input is valid UTF-8) and advances.
char32_t next_code_point(std::string_view text, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t value = static_cast<char32_t>(length == 1 ? lead : lead & (0x7Fu >> length));
    for (std::size_t k = 1; k < length && i + k < text.size(); ++k) {
        value = (value << 6) | static_cast<char32_t>(static_cast<unsigned char>(text[i + k]) & 0x3Fu);
    }
    i += length;
    return value;
}

bool is_white_space(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
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
    for (std::size_t i = 0; i < line.size();) {
        if (!is_white_space(next_code_point(line, i))) {
            return false;
        }
    }
    return true;
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
                (void)emit_payload(event_name::kCommandFailed,
                                   RunnerCommandFailedEventPayload{context.type, message,
                                                                   context.request_id});
            }
        } else if (!reply->handed_off && replies_on_success(context.type)) {
            (void)emit_payload(event_name::kCommandSucceeded,
                               RunnerCommandSucceededEventPayload{
                                   context.type, context.request_id, std::move(reply->result)});
        }
    }
    if (stdout_failure_) {
        return fail(*std::move(stdout_failure_));
    }
    return {};
}

}  // namespace lk
