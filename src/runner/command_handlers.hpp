#pragma once

#include "runner/command_table.hpp"

namespace lk::command_handlers {

// One handler per command type; the table in command_table.cpp maps types to them.
Result<HandlerReply> initialize_runner(CommandLoop&, const CommandContext&, const Json&);
Result<HandlerReply> ping_runner(CommandLoop&, const CommandContext&, const Json&);
Result<HandlerReply> load_rom(CommandLoop&, const CommandContext&, const Json&);
Result<HandlerReply> close_rom(CommandLoop&, const CommandContext&, const Json&);
Result<HandlerReply> pause(CommandLoop&, const CommandContext&, const Json&);
Result<HandlerReply> resume(CommandLoop&, const CommandContext&, const Json&);
Result<HandlerReply> set_playback_speed(CommandLoop&, const CommandContext&, const Json&);
Result<HandlerReply> load_state(CommandLoop&, const CommandContext&, const Json&);
Result<HandlerReply> save_state(CommandLoop&, const CommandContext&, const Json&);
Result<HandlerReply> capture_screenshot(CommandLoop&, const CommandContext&, const Json&);
Result<HandlerReply> sync_cheats(CommandLoop&, const CommandContext&, const Json&);
Result<HandlerReply> set_disc_image(CommandLoop&, const CommandContext&, const Json&);
Result<HandlerReply> get_disc_control(CommandLoop&, const CommandContext&, const Json&);
Result<HandlerReply> set_audio_muted(CommandLoop&, const CommandContext&, const Json&);
Result<HandlerReply> set_audio_settings(CommandLoop&, const CommandContext&, const Json&);
Result<HandlerReply> set_input_state(CommandLoop&, const CommandContext&, const Json&);
Result<HandlerReply> set_video_performance_mode(CommandLoop&, const CommandContext&, const Json&);
Result<HandlerReply> set_hardware_render_frame_rate_limit(CommandLoop&, const CommandContext&,
                                                          const Json&);
Result<HandlerReply> start_clip_recording(CommandLoop&, const CommandContext&, const Json&);
Result<HandlerReply> stop_clip_recording(CommandLoop&, const CommandContext&, const Json&);
Result<HandlerReply> save_replay_clip(CommandLoop&, const CommandContext&, const Json&);
Result<HandlerReply> get_clip_recording_status(CommandLoop&, const CommandContext&, const Json&);
Result<HandlerReply> get_controller_metadata(CommandLoop&, const CommandContext&, const Json&);
Result<HandlerReply> start_netplay_mode(CommandLoop&, const CommandContext&, const Json&);
Result<HandlerReply> stop_netplay_mode(CommandLoop&, const CommandContext&, const Json&);
Result<HandlerReply> submit_netplay_input_frame(CommandLoop&, const CommandContext&, const Json&);
Result<HandlerReply> update_netplay_input_delay(CommandLoop&, const CommandContext&, const Json&);
Result<HandlerReply> update_netplay_server_frame(CommandLoop&, const CommandContext&, const Json&);
Result<HandlerReply> schedule_netplay_pause(CommandLoop&, const CommandContext&, const Json&);
Result<HandlerReply> save_netplay_state_frame(CommandLoop&, const CommandContext&, const Json&);

}  // namespace lk::command_handlers
