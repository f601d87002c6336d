#pragma once

// Event names, error codes and the typed helpers that write the reply events.

#include <string_view>

#include "common/error.hpp"
#include "protocol/event_payloads.hpp"
#include "protocol/runner_event_emitter.hpp"

namespace lk {

namespace event_name {
inline constexpr std::string_view kRunnerReady = "runnerReady";
inline constexpr std::string_view kPong = "pong";
inline constexpr std::string_view kRomLoaded = "romLoaded";
inline constexpr std::string_view kRomClosed = "romClosed";
inline constexpr std::string_view kEmulationPaused = "emulationPaused";
inline constexpr std::string_view kEmulationResumed = "emulationResumed";
inline constexpr std::string_view kPlaybackSpeedChanged = "playbackSpeedChanged";
inline constexpr std::string_view kSaveStateLoaded = "saveStateLoaded";
inline constexpr std::string_view kSaveStateWritten = "saveStateWritten";
inline constexpr std::string_view kScreenshotCaptured = "screenshotCaptured";
inline constexpr std::string_view kCheatsSynced = "cheatsSynced";
inline constexpr std::string_view kCommandSucceeded = "commandSucceeded";
inline constexpr std::string_view kCommandFailed = "commandFailed";
inline constexpr std::string_view kError = "error";
inline constexpr std::string_view kFrameReady = "frameReady";
inline constexpr std::string_view kRawFrameStreamReady = "rawFrameStreamReady";
inline constexpr std::string_view kNetplayLocalInputFrame = "netplayLocalInputFrame";
inline constexpr std::string_view kNetplayStateHash = "netplayStateHash";
inline constexpr std::string_view kNetplayStalled = "netplayStalled";
inline constexpr std::string_view kNetplayResumed = "netplayResumed";
inline constexpr std::string_view kNetplaySessionPauseReached = "netplaySessionPauseReached";
}  // namespace event_name

namespace error_code {
inline constexpr std::string_view kInvalidCommand = "RUNNER_INVALID_COMMAND";
inline constexpr std::string_view kCommandUnsupported = "RUNNER_COMMAND_UNSUPPORTED";
inline constexpr std::string_view kProtocolMismatch = "RUNNER_PROTOCOL_MISMATCH";
inline constexpr std::string_view kCommandFailed = "RUNNER_COMMAND_FAILED";
}  // namespace error_code

template <class Payload>
Status emit_typed_event(RunnerEventEmitter& emitter, std::string_view name,
                        const Payload& payload) {
    return emitter.emit_event(name, OrderedJson(payload));
}

Status emit_error_event(RunnerEventEmitter& emitter, std::string_view code,
                        std::string_view message);
Status emit_command_succeeded_event(RunnerEventEmitter& emitter, std::string_view command_name,
                                    std::string_view request_id, OrderedJson result);
Status emit_command_failed_event(RunnerEventEmitter& emitter, std::string_view command_name,
                                 std::string_view request_id, std::string_view message);

}  // namespace lk
