// Feeds arbitrary bytes through the command decoding path: the envelope and
// every payload record. No input may crash, hang or trip a sanitizer.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/utf8.hpp"
#include "protocol/command_payload_decoder.hpp"
#include "protocol/runner_command_envelope.hpp"

namespace {

template <class... Payloads>
void decode_all(const lk::Json& payload) {
    ((void)lk::decode_command_payload<Payloads>(payload), ...);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    if (!lk::is_valid_utf8(line)) {
        return 0;  // the runner exits before decoding such a line
    }
    auto envelope = lk::decode_command_envelope(line);
    if (!envelope) {
        (void)envelope.error().display();
        return 0;
    }
    using namespace lk;
    decode_all<InitializeRunnerCommandPayload, PingRunnerCommandPayload, LoadRomCommandPayload,
               CloseRomCommandPayload, PauseCommandPayload, ResumeCommandPayload,
               SetPlaybackSpeedCommandPayload, LoadStateCommandPayload, SaveStateCommandPayload,
               CaptureScreenshotCommandPayload, SyncCheatsCommandPayload,
               SetDiscImageCommandPayload, GetDiscControlCommandPayload,
               SetAudioMutedCommandPayload, SetAudioSettingsCommandPayload,
               SetInputStateCommandPayload, SetVideoPerformanceModeCommandPayload,
               SetHardwareRenderFrameRateLimitCommandPayload, StartClipRecordingCommandPayload,
               StopClipRecordingCommandPayload, SaveReplayClipCommandPayload,
               StartNetplayModeCommandPayload, StopNetplayModeCommandPayload,
               SubmitNetplayInputFrameCommandPayload, UpdateNetplayInputDelayCommandPayload,
               UpdateNetplayServerFrameCommandPayload, ScheduleNetplayPauseCommandPayload,
               SaveNetplayStateFrameCommandPayload>(envelope->payload);
    return 0;
}
