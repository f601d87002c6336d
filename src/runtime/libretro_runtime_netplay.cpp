// The runtime's side of rollback netplay: the netplay commands and the frame
// loop's steps before a frame (scheduled pause, preparation, stall events).

#include <fmt/format.h>

#include "common/diagnostics.hpp"
#include "libretro/callback_runtime_state.hpp"
#include "netplay/netplay_frame_driver.hpp"
#include "protocol/event_output.hpp"
#include "runtime/libretro_netplay_core_policy.hpp"
#include "runtime/libretro_netplay_frame_core.hpp"
#include "runtime/libretro_runtime_state.hpp"

namespace lk {

namespace rc = runtime_command;

Status LibretroRuntime::start_netplay_mode(const rc::StartNetplayMode& command,
                                           FramePacer& pacer) {
    if (auto safe = assert_serialization_quirks_support_netplay(
            callback_bridge::serialization_quirks());
        !safe) {
        return safe;
    }
    netplay_.emplace(command.input_delay_frames, command.local_player_index,
                     command.player_count, command.start_frame);
    paused_ = false;
    skip_next_frame_wait_ = false;
    netplay_stalled_ = false;
    scheduled_netplay_pause_.reset();
    set_clip_recorder_paused(false);
    Status cleared = audio_sink_->clear();
    if (cleared) {
        pacer.restart();
    }
    return cleared;
}

void LibretroRuntime::stop_netplay_mode() {
    netplay_.reset();
    skip_next_frame_wait_ = false;
    netplay_stalled_ = false;
    scheduled_netplay_pause_.reset();
}

Status LibretroRuntime::schedule_netplay_pause(std::uint64_t pause_at_frame,
                                               std::uint64_t sequence) {
    if (!netplay_) {
        return fail("Netplay mode is not active.");
    }
    scheduled_netplay_pause_ = ScheduledNetplayPause{pause_at_frame, sequence};
    return {};
}

Status LibretroRuntime::save_netplay_state_frame(const std::string& state_path,
                                                 std::uint64_t frame) {
    const std::vector<std::uint8_t>* state = netplay_ ? netplay_->retained_state(frame) : nullptr;
    if (state == nullptr) {
        return fail(fmt::format("Netplay state for frame {} is no longer retained.", frame));
    }
    return artifact_store_->write_save_state(state_path, *state);
}

void LibretroRuntime::handle_netplay_traffic(const LibretroRuntimeCommand& command) {
    if (!netplay_) {
        return;
    }
    if (const auto* input = std::get_if<rc::SubmitNetplayInputFrame>(&command)) {
        if (auto received =
                netplay_->receive_input_frame(input->player_index, input->frame, input->payload);
            !received) {
            runner_log("Netplay input frame rejected: {}", received.error().display());
        }
    } else if (const auto* server = std::get_if<rc::UpdateNetplayServerFrame>(&command)) {
        netplay_->update_server_frame(server->frame);
    } else if (const auto* delay = std::get_if<rc::UpdateNetplayInputDelay>(&command)) {
        netplay_->schedule_input_delay(delay->effective_frame, delay->input_delay_frames);
    }
}

bool LibretroRuntime::take_scheduled_netplay_pause(FramePacer& pacer) {
    if (!scheduled_netplay_pause_) {
        return false;
    }
    if (!netplay_) {
        scheduled_netplay_pause_.reset();
        return false;
    }
    if (netplay_->current_frame() < scheduled_netplay_pause_->frame) {
        return false;
    }
    const ScheduledNetplayPause pause = *scheduled_netplay_pause_;
    scheduled_netplay_pause_.reset();
    paused_ = true;
    set_clip_recorder_paused(true);
    if (auto cleared = audio_sink_->clear(); !cleared) {
        runner_log("Failed to clear audio for netplay pause: {}", cleared.error().display());
    }
    pacer.restart();
    const NetplaySessionPauseReachedEventPayload payload{netplay_->current_frame(),
                                                         pause.sequence, config_.session_id};
    if (auto emitted =
            emit_typed_event(*event_emitter_, event_name::kNetplaySessionPauseReached, payload);
        !emitted) {
        runner_log("Failed to emit netplay pause event: {}", emitted.error().display());
    }
    return true;
}

LibretroRuntime::NetplayStep LibretroRuntime::prepare_netplay_step() {
    LibretroNetplayFrameCore frame_core(core_ ? &*core_ : nullptr);
    const auto fail_step = [](const Error& error) {
        runner_log("Netplay frame preparation failed: {}", error.display());
        return NetplayStep::stop;
    };
    auto prepared =
        prepare_netplay_frame(*netplay_, frame_core, *event_emitter_, config_.session_id);
    if (!prepared) {
        return fail_step(prepared.error());
    }
    if (const auto* stalled = std::get_if<NetplayFrameStalled>(&*prepared)) {
        skip_next_frame_wait_ = false;
        if (!netplay_stalled_) {
            netplay_stalled_ = true;
            if (auto emitted = emit_typed_event(*event_emitter_, event_name::kNetplayStalled,
                                                NetplayStalledEventPayload{stalled->frame,
                                                                           config_.session_id});
                !emitted) {
                return fail_step(emitted.error());
            }
        }
        return NetplayStep::skip;
    }
    const auto& ready = std::get<NetplayFrameReady>(*prepared);
    skip_next_frame_wait_ = ready.catch_up;
    if (netplay_stalled_) {
        netplay_stalled_ = false;
        if (auto emitted = emit_typed_event(
                *event_emitter_, event_name::kNetplayResumed,
                NetplayStalledEventPayload{netplay_->current_frame(), config_.session_id});
            !emitted) {
            return fail_step(emitted.error());
        }
    }
    frame_core.apply_inputs(ready.inputs);
    return NetplayStep::run;
}

}  // namespace lk
