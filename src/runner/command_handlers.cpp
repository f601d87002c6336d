#include "runner/command_handlers.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include <fmt/format.h>

#include "common/diagnostics.hpp"
#include "protocol/async_command_result.hpp"
#include "protocol/command_payload_decoder.hpp"
#include "protocol/event_output.hpp"
#include "runner/command_loop.hpp"

namespace lk::command_handlers {

namespace {

using Snapshot = EmulatorSessionSnapshot;
using Clock = std::chrono::steady_clock;

constexpr const char* kNoSessionClipStatus = "Clip recording is not available for this session.";

HandlerReply no_result() {
    return HandlerReply{};
}

Result<HandlerReply> from_status(Status status) {
    if (!status) {
        return fail(std::move(status.error()));
    }
    return no_result();
}

template <class Value>
Result<HandlerReply> from_value(Result<Value> value) {
    if (!value) {
        return fail(std::move(value.error()));
    }
    return HandlerReply{OrderedJson(*value), false};
}

// Decodes the payload, checks the session, resolves its core and runs `work`
// with the core, the active snapshot and the decoded payload.
template <class Payload, class Work>
Result<HandlerReply> with_session_core(CommandLoop& loop, const Json& json, Work work) {
    auto payload = decode_command_payload<Payload>(json);
    if (!payload) {
        return fail(std::move(payload.error()));
    }
    auto core = loop.session_core(payload->session_id);
    if (!core) {
        return fail(std::move(core.error()));
    }
    return work(**core, loop.session(), *payload);
}

// The common shape: the core operation's status is the command's outcome.
template <class Payload>
Result<HandlerReply> forward(CommandLoop& loop, const Json& json,
                             Status (EmulatorCore::*operation)(const Snapshot&, const Payload&)) {
    return with_session_core<Payload>(
        loop, json, [&](EmulatorCore& core, const Snapshot& snapshot, const Payload& payload) {
            return from_status((core.*operation)(snapshot, payload));
        });
}

double elapsed_ms(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string wall_clock_ms_text() {
    const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(since_epoch).count();
    return std::to_string(std::max<std::int64_t>(ms, 0));
}

void log_state_request(std::string_view command, const Snapshot& s, const std::string& slot) {
    runner_debug("{} requested core={} platform={} game={} slot={} session={}", command, s.core_id,
                 s.platform_id, s.game_id, slot, s.session_id);
}

void check_preview_file(const std::string& path) {
    if (!runner_debug_logs_enabled()) {
        return;
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        runner_debug("saveState preview screenshot was not written: {}: {}", path,
                     Error::from_errno(errno).display());
    } else if (info.st_size == 0) {
        runner_debug("saveState preview screenshot is empty: {}", path);
    }
}

// A failed save or load: ends the session when its runtime is gone, then fails
// with the core's error (or the romClosed write error).
Result<HandlerReply> fail_state_command(CommandLoop& loop, std::string_view command,
                                        const std::string& slot, Clock::time_point start,
                                        Error error) {
    runner_debug("{} failed slot={} elapsedMs={:.1f} error={}", command, slot, elapsed_ms(start),
                 error.display());
    if (is_libretro_runtime_lost_error(error)) {
        if (auto written = loop.clear_active_session_after_runtime_loss(); !written) {
            return fail(std::move(written.error()));
        }
    }
    return fail(std::move(error));
}

Result<HandlerReply> hand_off(CommandLoop& loop, const CommandContext& context,
                              Result<PendingClipResult> pending) {
    if (!pending) {
        return fail(std::move(pending.error()));
    }
    async_command_result::spawn(context.type, context.request_id, std::move(*pending),
                                loop.emitter());
    return HandlerReply{nullptr, true};
}

template <class Payload>
Result<Payload> decode(const Json& json) {
    return decode_command_payload<Payload>(json);
}

}  // namespace

Result<HandlerReply> initialize_runner(CommandLoop& loop, const CommandContext&, const Json& json) {
    auto payload = decode<InitializeRunnerCommandPayload>(json);
    if (!payload) {
        return fail(std::move(payload.error()));
    }
    if (payload->protocol_version == kProtocolVersion) {
        (void)loop.emit_payload(event_name::kRunnerReady,
                                RunnerReadyEventPayload{kProtocolVersion, kRunnerName,
                                                        loop.registry().supported_platform_ids()});
    } else {
        (void)loop.emit_error_event(error_code::kProtocolMismatch,
                                    "The desktop shell and runner protocol versions do not match.");
    }
    return no_result();
}

Result<HandlerReply> ping_runner(CommandLoop& loop, const CommandContext& context,
                                 const Json& json) {
    auto payload = decode<PingRunnerCommandPayload>(json);
    if (!payload) {
        return fail(std::move(payload.error()));
    }
    (void)loop.emit_payload(event_name::kPong,
                            PongEventPayload{payload->issued_at, context.request_id});
    return no_result();
}

Result<HandlerReply> load_rom(CommandLoop& loop, const CommandContext& context, const Json& json) {
    auto payload = decode<LoadRomCommandPayload>(json);
    if (!payload) {
        return fail(std::move(payload.error()));
    }
    if (loop.active_session()) {
        CloseOutcome closed = loop.close_active_session();
        if (!closed.write) {
            return fail(std::move(closed.write.error()));
        }
        if (!closed.close && !is_libretro_runtime_lost_error(closed.close.error())) {
            return fail(std::move(closed.close.error()));
        }
    }
    EmulatorCore* core = loop.registry().find(payload->core_id, payload->platform_id);
    if (core == nullptr) {
        return fail(fmt::format("Core {} does not support platform {}.", payload->core_id,
                                payload->platform_id));
    }
    auto loaded = core->load_rom(*payload, context.request_id);
    if (!loaded) {
        return fail(std::move(loaded.error()));
    }
    loop.set_active_session(loaded->session);
    (void)loop.emit_payload(event_name::kRomLoaded,
                            RomLoadedEventPayload{loaded->rom_size_bytes, loaded->session});
    return no_result();
}

Result<HandlerReply> close_rom(CommandLoop& loop, const CommandContext&, const Json& json) {
    auto payload = decode<CloseRomCommandPayload>(json);
    if (!payload) {
        return fail(std::move(payload.error()));
    }
    if (loop.active_session()) {
        if (auto valid = loop.validate_session_id(payload->session_id); !valid) {
            return fail(std::move(valid.error()));
        }
    }
    CloseOutcome closed = loop.close_active_session();
    if (!closed.write) {
        return fail(std::move(closed.write.error()));
    }
    if (!closed.close && !is_libretro_runtime_lost_error(closed.close.error())) {
        return fail(std::move(closed.close.error()));
    }
    return no_result();
}

namespace {
template <class Payload>
Result<HandlerReply> change_run_state(CommandLoop& loop, const Json& json,
                                      Status (EmulatorCore::*operation)(const Snapshot&),
                                      const char* run_state, std::string_view event) {
    return with_session_core<Payload>(
        loop, json, [&](EmulatorCore& core, const Snapshot& snapshot, const Payload&) {
            if (auto done = (core.*operation)(snapshot); !done) {
                return from_status(std::move(done));
            }
            loop.session().run_state = run_state;
            (void)loop.emit_payload(event, EmulationPausedEventPayload{loop.session()});
            return Result<HandlerReply>(no_result());
        });
}
}  // namespace

Result<HandlerReply> pause(CommandLoop& loop, const CommandContext&, const Json& json) {
    return change_run_state<PauseCommandPayload>(loop, json, &EmulatorCore::pause, kRunStatePaused,
                                                 event_name::kEmulationPaused);
}

Result<HandlerReply> resume(CommandLoop& loop, const CommandContext&, const Json& json) {
    return change_run_state<ResumeCommandPayload>(loop, json, &EmulatorCore::resume,
                                                  kRunStateRunning, event_name::kEmulationResumed);
}

Result<HandlerReply> set_playback_speed(CommandLoop& loop, const CommandContext&,
                                        const Json& json) {
    using Payload = SetPlaybackSpeedCommandPayload;
    return with_session_core<Payload>(
        loop, json, [&](EmulatorCore& core, const Snapshot& snapshot, const Payload& payload) {
            if (auto done = core.set_playback_speed(snapshot, payload); !done) {
                return from_status(std::move(done));
            }
            (void)loop.emit_payload(
                event_name::kPlaybackSpeedChanged,
                PlaybackSpeedChangedEventPayload{payload.playback_speed_ratio, snapshot});
            return Result<HandlerReply>(no_result());
        });
}

Result<HandlerReply> load_state(CommandLoop& loop, const CommandContext&, const Json& json) {
    const auto start = Clock::now();
    using Payload = LoadStateCommandPayload;
    return with_session_core<Payload>(
        loop, json, [&](EmulatorCore& core, const Snapshot& snapshot, const Payload& payload) {
            log_state_request("loadState", snapshot, payload.slot_id);
            if (auto done = core.load_state(snapshot, payload); !done) {
                return fail_state_command(loop, "loadState", payload.slot_id, start,
                                          std::move(done.error()));
            }
            runner_debug("loadState completed slot={} elapsedMs={:.1f}", payload.slot_id,
                         elapsed_ms(start));
            (void)loop.emit_payload(
                event_name::kSaveStateLoaded,
                SaveStateLoadedEventPayload{snapshot, payload.slot_id, payload.state_file_path});
            return Result<HandlerReply>(no_result());
        });
}

Result<HandlerReply> save_state(CommandLoop& loop, const CommandContext&, const Json& json) {
    const auto start = Clock::now();
    using Payload = SaveStateCommandPayload;
    return with_session_core<Payload>(
        loop, json, [&](EmulatorCore& core, const Snapshot& snapshot, const Payload& payload) {
            log_state_request("saveState", snapshot, payload.slot_id);
            if (auto done = core.save_state(snapshot, payload); !done) {
                return fail_state_command(loop, "saveState", payload.slot_id, start,
                                          std::move(done.error()));
            }
            check_preview_file(payload.preview_file_path);
            runner_debug("saveState completed slot={} elapsedMs={:.1f}", payload.slot_id,
                         elapsed_ms(start));
            (void)loop.emit_payload(
                event_name::kSaveStateWritten,
                SaveStateWrittenEventPayload{payload.preview_file_path, snapshot.session_id,
                                             payload.slot_id, payload.state_file_path,
                                             wall_clock_ms_text()});
            return Result<HandlerReply>(no_result());
        });
}

Result<HandlerReply> capture_screenshot(CommandLoop& loop, const CommandContext&,
                                        const Json& json) {
    using Payload = CaptureScreenshotCommandPayload;
    return with_session_core<Payload>(
        loop, json, [&](EmulatorCore& core, const Snapshot& snapshot, const Payload& payload) {
            if (auto done = core.capture_screenshot(snapshot, payload); !done) {
                return from_status(std::move(done));
            }
            (void)loop.emit_payload(
                event_name::kScreenshotCaptured,
                ScreenshotCapturedEventPayload{payload.screenshot_file_path, snapshot.session_id});
            return Result<HandlerReply>(no_result());
        });
}

Result<HandlerReply> sync_cheats(CommandLoop& loop, const CommandContext&, const Json& json) {
    using Payload = SyncCheatsCommandPayload;
    return with_session_core<Payload>(
        loop, json, [&](EmulatorCore& core, const Snapshot& snapshot, const Payload& payload) {
            if (auto done = core.sync_cheats(snapshot, payload); !done) {
                return from_status(std::move(done));
            }
            const auto enabled = std::count_if(payload.cheat_sets.begin(), payload.cheat_sets.end(),
                                               [](const auto& set) { return set.enabled; });
            (void)loop.emit_payload(
                event_name::kCheatsSynced,
                CheatsSyncedEventPayload{static_cast<std::uint64_t>(enabled), snapshot.session_id,
                                         payload.cheat_sets.size()});
            return Result<HandlerReply>(no_result());
        });
}

Result<HandlerReply> set_disc_image(CommandLoop& loop, const CommandContext&, const Json& json) {
    using Payload = SetDiscImageCommandPayload;
    return with_session_core<Payload>(
        loop, json, [](EmulatorCore& core, const Snapshot& snapshot, const Payload& payload) {
            return from_value(core.set_disc_image(snapshot, payload));
        });
}

Result<HandlerReply> get_disc_control(CommandLoop& loop, const CommandContext&, const Json& json) {
    using Payload = GetDiscControlCommandPayload;
    return with_session_core<Payload>(
        loop, json, [](EmulatorCore& core, const Snapshot& snapshot, const Payload&) {
            return from_value(core.disc_control_snapshot(snapshot));
        });
}

Result<HandlerReply> set_audio_muted(CommandLoop& loop, const CommandContext&, const Json& json) {
    return forward(loop, json, &EmulatorCore::set_audio_muted);
}

Result<HandlerReply> set_audio_settings(CommandLoop& loop, const CommandContext&,
                                        const Json& json) {
    return forward(loop, json, &EmulatorCore::set_audio_settings);
}

Result<HandlerReply> set_input_state(CommandLoop& loop, const CommandContext&, const Json& json) {
    using Payload = SetInputStateCommandPayload;
    return with_session_core<Payload>(
        loop, json, [](EmulatorCore& core, const Snapshot& snapshot, const Payload& payload) {
            auto labels = core.set_input_state(snapshot, payload);
            if (!labels) {
                return Result<HandlerReply>(fail(std::move(labels.error())));
            }
            return Result<HandlerReply>(no_result());
        });
}

Result<HandlerReply> set_video_performance_mode(CommandLoop& loop, const CommandContext&,
                                                const Json& json) {
    return forward(loop, json, &EmulatorCore::set_video_performance_mode);
}

Result<HandlerReply> set_hardware_render_frame_rate_limit(CommandLoop& loop, const CommandContext&,
                                                          const Json& json) {
    return forward(loop, json, &EmulatorCore::set_hardware_render_frame_rate_limit);
}

Result<HandlerReply> start_clip_recording(CommandLoop& loop, const CommandContext&,
                                          const Json& json) {
    using Payload = StartClipRecordingCommandPayload;
    return with_session_core<Payload>(
        loop, json, [](EmulatorCore& core, const Snapshot& snapshot, const Payload&) {
            return from_status(core.start_clip_recording(snapshot));
        });
}

Result<HandlerReply> stop_clip_recording(CommandLoop& loop, const CommandContext& context,
                                         const Json& json) {
    using Payload = StopClipRecordingCommandPayload;
    return with_session_core<Payload>(
        loop, json, [&](EmulatorCore& core, const Snapshot& snapshot, const Payload& payload) {
            return hand_off(loop, context, core.stop_clip_recording_async(snapshot, payload));
        });
}

Result<HandlerReply> save_replay_clip(CommandLoop& loop, const CommandContext& context,
                                      const Json& json) {
    using Payload = SaveReplayClipCommandPayload;
    return with_session_core<Payload>(
        loop, json, [&](EmulatorCore& core, const Snapshot& snapshot, const Payload& payload) {
            return hand_off(loop, context, core.save_replay_clip_async(snapshot, payload));
        });
}

Result<HandlerReply> get_clip_recording_status(CommandLoop& loop, const CommandContext&,
                                               const Json&) {
    if (!loop.active_session()) {
        return HandlerReply{
            OrderedJson(ClipRecordingStatusPayload{false, false, false, 30, kNoSessionClipStatus}),
            false};
    }
    auto core = loop.resolve_active_core();
    if (!core) {
        return fail(std::move(core.error()));
    }
    return from_value((*core)->clip_recording_status(loop.session()));
}

Result<HandlerReply> get_controller_metadata(CommandLoop& loop, const CommandContext&,
                                             const Json&) {
    return HandlerReply{OrderedJson(loop.controllers().snapshot_controller_metadata()), false};
}

Result<HandlerReply> start_netplay_mode(CommandLoop& loop, const CommandContext&,
                                        const Json& json) {
    return forward(loop, json, &EmulatorCore::start_netplay_mode);
}

Result<HandlerReply> stop_netplay_mode(CommandLoop& loop, const CommandContext&, const Json& json) {
    return forward(loop, json, &EmulatorCore::stop_netplay_mode);
}

Result<HandlerReply> submit_netplay_input_frame(CommandLoop& loop, const CommandContext&,
                                                const Json& json) {
    return forward(loop, json, &EmulatorCore::submit_netplay_input_frame);
}

Result<HandlerReply> update_netplay_input_delay(CommandLoop& loop, const CommandContext&,
                                                const Json& json) {
    return forward(loop, json, &EmulatorCore::update_netplay_input_delay);
}

Result<HandlerReply> update_netplay_server_frame(CommandLoop& loop, const CommandContext&,
                                                 const Json& json) {
    return forward(loop, json, &EmulatorCore::update_netplay_server_frame);
}

Result<HandlerReply> schedule_netplay_pause(CommandLoop& loop, const CommandContext&,
                                            const Json& json) {
    return forward(loop, json, &EmulatorCore::schedule_netplay_pause);
}

Result<HandlerReply> save_netplay_state_frame(CommandLoop& loop, const CommandContext&,
                                              const Json& json) {
    return forward(loop, json, &EmulatorCore::save_netplay_state_frame);
}

}  // namespace lk::command_handlers
