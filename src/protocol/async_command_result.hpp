#pragma once

#include <string>

#include "protocol/pending_clip_result.hpp"
#include "protocol/runner_event_emitter.hpp"

namespace lk::async_command_result {

inline constexpr const char* kReplyChannelClosed = "Runner command reply channel closed.";

// Starts one reply thread that waits for the pending result and writes the
// command's reply; returns at once. The thread is never joined.
void spawn(std::string command_name, std::string request_id, PendingClipResult pending,
           RunnerEventEmitterHandle emitter);

// The reply thread's body, exposed for tests.
void reply_when_ready(const std::string& command_name, const std::string& request_id,
                      PendingClipResult& pending, RunnerEventEmitter& emitter);

}  // namespace lk::async_command_result
