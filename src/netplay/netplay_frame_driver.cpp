#include "netplay/netplay_frame_driver.hpp"

#include <string>

#include "common/sha256.hpp"
#include "protocol/event_output.hpp"

namespace lk {

Result<NetplayFramePreparation> prepare_netplay_frame(NetplayRuntimeSession& session,
                                                      NetplayFrameCore& core,
                                                      RunnerEventEmitter& event_emitter,
                                                      std::string_view session_id) {
    std::vector<std::uint8_t> state = session.take_state_buffer();
    if (auto serialized = core.serialize_state(state); !serialized) {
        session.recycle_state_buffer(std::move(state));
        return fail(std::move(serialized.error()));
    }
    return session.prepare_frame(event_emitter, session_id, std::move(state));
}

Status replay_netplay_frames(NetplayRuntimeSession& session, NetplayFrameCore& core,
                             NetplayReplayStart start) {
    if (start.state.empty()) {
        return fail("save state payload is empty");
    }
    Status restored = core.unserialize_state(start.state);
    session.recycle_state_buffer(std::move(start.state));
    if (!restored) {
        return restored;
    }
    core.set_output_suppressed(true);
    Status replayed = [&]() -> Status {
        for (std::uint64_t frame = start.frame; frame < session.current_frame(); ++frame) {
            std::vector<std::uint8_t> state = session.take_state_buffer();
            if (auto serialized = core.serialize_state(state); !serialized) {
                session.recycle_state_buffer(std::move(state));
                return serialized;
            }
            core.apply_inputs(session.prepare_replay_frame(frame, std::move(state)));
            if (auto ran = core.run_frame(); !ran) {
                return ran;
            }
        }
        return {};
    }();
    core.set_output_suppressed(false);
    if (replayed) {
        session.finish_replay();
    }
    return replayed;
}

Status finish_netplay_frame(NetplayRuntimeSession& session, NetplayFrameCore& core,
                            RunnerEventEmitter& event_emitter, std::string_view session_id) {
    session.advance_current_frame();
    Status finished = [&]() -> Status {
        if (auto start = session.replay_request()) {
            if (auto replayed = replay_netplay_frames(session, core, std::move(*start)); !replayed) {
                return replayed;
            }
        }
        for (const NetplayVerifiedStateHash& hash :
             session.take_verified_state_hashes(kNetplayStateHashInterval)) {
            const NetplayStateHashEventPayload payload{hash.frame, sha256_hex(hash.state),
                                                       std::string(session_id)};
            if (auto emitted =
                    emit_typed_event(event_emitter, event_name::kNetplayStateHash, payload);
                !emitted) {
                return emitted;
            }
        }
        return {};
    }();
    session.prune_synced_frames();
    return finished;
}

}  // namespace lk
