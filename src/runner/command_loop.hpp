#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/error.hpp"
#include "controller_metadata/controller_metadata_provider.hpp"
#include "cores/core_registry.hpp"
#include "protocol/json.hpp"
#include "protocol/runner_event_emitter.hpp"
#include "protocol/shared_payloads.hpp"

namespace lk {

inline constexpr const char* kNoRomSession = "No ROM session is active.";
inline constexpr const char* kSessionNotActive = "The requested session is not active.";

// What closing the active session reported: the romClosed write failure (which
// wins) and the core's close error.
struct CloseOutcome {
    Status write;
    Status close;
};

// The main thread's state: the registry, the controller metadata provider, the
// emitter and the one active ROM session. Everything here is owned by the main
// thread; only the emitter handle is shared with other threads.
class CommandLoop {
  public:
    CommandLoop(CoreRegistry registry, ControllerMetadataProvider& controllers,
                RunnerEventEmitterHandle emitter);

    // Handles one line of standard input. Fails only when an event could not
    // be written to standard output, which ends the process.
    Status handle_line(std::string_view line);

    // Session rules shared by the command handlers.
    Status validate_session_id(const std::optional<std::string>& requested) const;
    Result<EmulatorCore*> resolve_active_core() const;
    // validate_session_id, then resolve_active_core.
    Result<EmulatorCore*> session_core(const std::optional<std::string>& requested) const;
    CloseOutcome close_active_session();
    Status clear_active_session_after_runtime_loss();

    // Writes an event; a failure is remembered and ends the process after the
    // current command.
    Status emit(std::string_view name, const OrderedJson& payload);
    template <class Payload>
    Status emit_payload(std::string_view name, const Payload& payload) {
        return emit(name, OrderedJson(payload));
    }
    Status emit_error_event(std::string_view code, std::string_view message);

    [[nodiscard]] const std::optional<EmulatorSessionSnapshot>& active_session() const {
        return active_session_;
    }
    void set_active_session(std::optional<EmulatorSessionSnapshot> session) {
        active_session_ = std::move(session);
    }
    EmulatorSessionSnapshot& session() { return *active_session_; }

    [[nodiscard]] CoreRegistry& registry() { return registry_; }
    [[nodiscard]] ControllerMetadataProvider& controllers() { return controllers_; }
    [[nodiscard]] const RunnerEventEmitterHandle& emitter() const { return emitter_; }

  private:
    CoreRegistry registry_;
    ControllerMetadataProvider& controllers_;
    RunnerEventEmitterHandle emitter_;
    std::optional<EmulatorSessionSnapshot> active_session_;
    std::optional<Error> stdout_failure_;  // first failed event write of this command
};

// True for the texts that mean the core's runtime thread is gone.
bool is_libretro_runtime_lost_error(const Error& error);

// True when the line is empty or holds only white space.
bool is_blank_line(std::string_view line);

}  // namespace lk
