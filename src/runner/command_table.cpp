#include "runner/command_table.hpp"

#include <array>

#include "protocol/event_output.hpp"
#include "runner/command_handlers.hpp"
#include "runner/command_loop.hpp"

namespace lk {

namespace {

struct CommandEntry {
    std::string_view type;
    CommandHandler handler;
};

namespace h = command_handlers;

constexpr std::array<CommandEntry, 30> kCommandTable{{
    {"initializeRunner", h::initialize_runner},
    {"pingRunner", h::ping_runner},
    {"loadRom", h::load_rom},
    {"closeRom", h::close_rom},
    {"pause", h::pause},
    {"resume", h::resume},
    {"setPlaybackSpeed", h::set_playback_speed},
    {"loadState", h::load_state},
    {"saveState", h::save_state},
    {"captureScreenshot", h::capture_screenshot},
    {"syncCheats", h::sync_cheats},
    {"setDiscImage", h::set_disc_image},
    {"getDiscControl", h::get_disc_control},
    {"setAudioMuted", h::set_audio_muted},
    {"setAudioSettings", h::set_audio_settings},
    {"setInputState", h::set_input_state},
    {"setVideoPerformanceMode", h::set_video_performance_mode},
    {"setHardwareRenderFrameRateLimit", h::set_hardware_render_frame_rate_limit},
    {"startClipRecording", h::start_clip_recording},
    {"stopClipRecording", h::stop_clip_recording},
    {"saveReplayClip", h::save_replay_clip},
    {"getClipRecordingStatus", h::get_clip_recording_status},
    {"getControllerMetadata", h::get_controller_metadata},
    {"startNetplayMode", h::start_netplay_mode},
    {"stopNetplayMode", h::stop_netplay_mode},
    {"submitNetplayInputFrame", h::submit_netplay_input_frame},
    {"updateNetplayInputDelay", h::update_netplay_input_delay},
    {"updateNetplayServerFrame", h::update_netplay_server_frame},
    {"scheduleNetplayPause", h::schedule_netplay_pause},
    {"saveNetplayStateFrame", h::save_netplay_state_frame},
}};

}  // namespace

Result<HandlerReply> dispatch_command(CommandLoop& loop, const CommandContext& context,
                                      const Json& payload) {
    for (const auto& entry : kCommandTable) {
        if (entry.type == context.type) {
            return entry.handler(loop, context, payload);
        }
    }
    (void)loop.emit_error_event(error_code::kCommandUnsupported,
                                "Unsupported command: " + context.type);
    return HandlerReply{};
}

}  // namespace lk
