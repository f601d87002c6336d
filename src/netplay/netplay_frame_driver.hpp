#pragma once

// The netplay steps of the frame loop around one frame: serialise and prepare
// before it, then count it, roll back and re-run when an input turned out
// different, emit the verified state hashes and prune the window.

#include <string_view>

#include "netplay/netplay_frame_core.hpp"
#include "netplay/netplay_runtime_session.hpp"
#include "protocol/runner_event_emitter.hpp"

namespace lk {

// Serialises the core and prepares the next frame (a serialise failure is an error).
Result<NetplayFramePreparation> prepare_netplay_frame(NetplayRuntimeSession& session,
                                                      NetplayFrameCore& core,
                                                      RunnerEventEmitter& event_emitter,
                                                      std::string_view session_id);

// Restores the state saved before `start.frame` and re-runs the frames up to
// the present with output suppressed; then the re-run frames count as verified
// as far as their inputs are confirmed.
Status replay_netplay_frames(NetplayRuntimeSession& session, NetplayFrameCore& core,
                             NetplayReplayStart start);

// After a frame ran: advance, replay if needed, emit "netplayStateHash" for
// each verified state due (every 600 frames), prune. A replay or emit failure
// is returned; the session is pruned either way.
Status finish_netplay_frame(NetplayRuntimeSession& session, NetplayFrameCore& core,
                            RunnerEventEmitter& event_emitter, std::string_view session_id);

}  // namespace lk
