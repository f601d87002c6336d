// What the runtime thread does for each command, between frames.

#include <chrono>
#include <cmath>

#include "common/diagnostics.hpp"
#include "common/utf8.hpp"
#include "libretro/callback_runtime_state.hpp"
#include "libretro/disc_control.hpp"
#include "libretro/hardware_render_negotiation.hpp"
#include "libretro/input_callbacks.hpp"
#include "libretro/video_callback.hpp"
#include "runtime/libretro_runtime_state.hpp"
#include "video/placeholder_image.hpp"
#include "video/png_screenshot_encoder.hpp"

namespace lk {

namespace {

namespace rc = runtime_command;
using Clock = std::chrono::steady_clock;

constexpr const char* kClipUnavailable = "Clip recording is not available for this session.";

double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double epoch_ms_now() {
    const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
    return std::max(0.0, std::chrono::duration<double, std::milli>(since_epoch).count());
}

template <class Sender>
void reply_status(Sender& reply, Status status) {
    if (status) {
        reply.send(std::monostate{});
    } else {
        reply.send(std::unexpected(std::move(status.error())));
    }
}

bool input_is_active(const MappedInputState& input) {
    for (std::size_t port = 0; port < kInputPortCount; ++port) {
        if (input.joypad_masks[port] != 0 || input.left_sticks[port] != AnalogStick{} ||
            input.right_sticks[port] != AnalogStick{}) {
            return true;
        }
    }
    return input.pointer_x != 0 || input.pointer_y != 0 || input.pointer_pressed;
}

ClipRecordingStatusPayload unavailable_clip_status() {
    return ClipRecordingStatusPayload{false, false, false, 30, kClipUnavailable};
}

}  // namespace

void LibretroRuntime::process_pending_commands(CommandReceiver& commands, FramePacer& pacer) {
    LibretroRuntimeCommand command;
    while (commands.try_recv(command) == RecvStatus::received) {
        handle_command(command, pacer);
        if (stop_requested_) {
            return;
        }
    }
}

void LibretroRuntime::handle_command(LibretroRuntimeCommand& command, FramePacer& pacer) {
    std::visit(
        [&](auto& c) {
            using C = std::decay_t<decltype(c)>;
            if constexpr (std::is_same_v<C, rc::CaptureScreenshot>) {
                reply_status(c.reply, capture_screenshot(c.screenshot_path));
            } else if constexpr (std::is_same_v<C, rc::DiscControlSnapshot>) {
                c.reply.send(callback_bridge::disc_control_snapshot());
            } else if constexpr (std::is_same_v<C, rc::ClipRecordingStatus>) {
                if (clip_recorder_) {
                    clip_recorder_->send_control_or_reply(
                        clip_recording_control::Status{std::move(c.reply)});
                } else {
                    c.reply.send(unavailable_clip_status());
                }
            } else if constexpr (std::is_same_v<C, rc::LoadState>) {
                reply_status(c.reply, load_state(c.state_path, pacer));
            } else if constexpr (std::is_same_v<C, rc::Pause>) {
                reply_status(c.reply, set_paused(true, pacer));
            } else if constexpr (std::is_same_v<C, rc::Resume>) {
                reply_status(c.reply, set_paused(false, pacer));
            } else if constexpr (std::is_same_v<C, rc::SaveState>) {
                reply_status(c.reply, save_state(c.state_path, c.preview_path, pacer));
            } else if constexpr (std::is_same_v<C, rc::SaveReplayClip>) {
                if (clip_recorder_) {
                    clip_recorder_->send_control_or_reply(clip_recording_control::SaveReplay{
                        std::move(c.output_path), std::move(c.thumbnail_path),
                        c.replay_length_seconds, std::move(c.reply)});
                } else {
                    c.reply.send(std::unexpected(Error(kClipUnavailable)));
                }
            } else if constexpr (std::is_same_v<C, rc::StopClipRecording>) {
                if (clip_recorder_) {
                    clip_recorder_->send_control_or_reply(
                        clip_recording_control::StopManualRecording{std::move(c.output_path),
                                                                    std::move(c.thumbnail_path),
                                                                    std::move(c.reply)});
                } else {
                    c.reply.send(std::unexpected(Error(kClipUnavailable)));
                }
            } else if constexpr (std::is_same_v<C, rc::StartClipRecording>) {
                if (clip_recorder_) {
                    clip_recorder_->send_control_or_reply(
                        clip_recording_control::StartManualRecording{std::move(c.reply)});
                } else {
                    c.reply.send(std::unexpected(Error(kClipUnavailable)));
                }
            } else if constexpr (std::is_same_v<C, rc::SetInputState>) {
                set_input_state(c);
            } else if constexpr (std::is_same_v<C, rc::SetAudioMuted>) {
                reply_status(c.reply, audio_sink_->set_muted(c.muted));
            } else if constexpr (std::is_same_v<C, rc::SetAudioSettings>) {
                reply_status(c.reply, audio_sink_->set_settings(c.settings));
            } else if constexpr (std::is_same_v<C, rc::SetHardwareRenderFrameRateLimit>) {
                config_.hardware_render_frame_rate_limit = c.limit;
                reply_status(c.reply, apply_configured_video_performance_policy());
            } else if constexpr (std::is_same_v<C, rc::SetVideoPerformanceMode>) {
                if (c.mode != "performance" && c.mode != "quality" && c.mode != "auto") {
                    c.reply.send(
                        std::unexpected(Error("Unsupported video performance mode: " + c.mode)));
                } else {
                    config_.video_performance_mode = c.mode;
                    reply_status(c.reply, apply_configured_video_performance_policy());
                }
            } else if constexpr (std::is_same_v<C, rc::SetDiscImage>) {
                c.reply.send(set_disc_image(c.image_index, pacer));
            } else if constexpr (std::is_same_v<C, rc::SetPlaybackSpeed>) {
                reply_status(c.reply, set_playback_speed(c.speed, pacer));
            } else if constexpr (std::is_same_v<C, rc::SyncCheats>) {
                reply_status(c.reply, sync_cheats(c.cheat_sets));
            } else if constexpr (std::is_same_v<C, rc::StartNetplayMode>) {
                reply_status(c.reply, start_netplay_mode(c, pacer));
            } else if constexpr (std::is_same_v<C, rc::StopNetplayMode>) {
                stop_netplay_mode();
                c.reply.send(std::monostate{});
            } else if constexpr (std::is_same_v<C, rc::ScheduleNetplayPause>) {
                reply_status(c.reply, schedule_netplay_pause(c.pause_at_frame, c.sequence));
            } else if constexpr (std::is_same_v<C, rc::SaveNetplayStateFrame>) {
                reply_status(c.reply, save_netplay_state_frame(c.state_path, c.frame));
            } else if constexpr (std::is_same_v<C, rc::SubmitNetplayInputFrame> ||
                                 std::is_same_v<C, rc::UpdateNetplayServerFrame> ||
                                 std::is_same_v<C, rc::UpdateNetplayInputDelay>) {
                handle_netplay_traffic(command);
            } else if constexpr (std::is_same_v<C, rc::Shutdown>) {
                stop_requested_ = true;
                c.reply.send(std::monostate{});
            }
        },
        command);
}

Status LibretroRuntime::refresh_latest_frame() {
    if (auto prepared = callback_bridge::prepare_hardware_render_context(); !prepared) {
        return prepared;
    }
    if (auto captured = callback_bridge::capture_pending_hardware_frame(); !captured) {
        return captured;
    }
    if (auto frame = callback_bridge::clone_current_frame()) {
        latest_frame_ = std::move(*frame);
    }
    return {};
}

Status LibretroRuntime::write_latest_frame_image(const std::string& path) {
    if (!latest_frame_) {
        return artifact_store_->write_image(path, kPlaceholderPng);
    }
    auto png = PngScreenshotEncoder(false).encode_png(*latest_frame_);
    if (!png) {
        return fail(std::move(png.error()));
    }
    return artifact_store_->write_image(path, *png);
}

Status LibretroRuntime::capture_screenshot(const std::string& path) {
    if (auto refreshed = refresh_latest_frame(); !refreshed) {
        return refreshed;
    }
    return write_latest_frame_image(path);
}

Status LibretroRuntime::load_state(const std::string& path, FramePacer& pacer) {
    if (auto warmed = run_state_warmup_frame(pacer); !warmed) {
        return warmed;
    }
    const auto total = Clock::now();
    auto bytes = artifact_store_->read_save_state(path);
    if (!bytes) {
        runner_debug("loadState failed stage=read totalMs={:.1f} error={}", ms_since(total),
                     bytes.error().display());
        return fail(std::move(bytes.error()));
    }
    const double read_ms = ms_since(total);
    const std::size_t n = bytes->size();
    const auto prepare_start = Clock::now();
    if (auto prepared = callback_bridge::prepare_hardware_render_context(); !prepared) {
        runner_debug(
            "loadState failed stage=prepare readMs={:.1f} totalMs={:.1f} bytes={} error={}",
            read_ms, ms_since(total), n, prepared.error().display());
        return prepared;
    }
    const double prepare_ms = ms_since(prepare_start);
    const auto unserialize_start = Clock::now();
    Status restored = [&]() -> Status {
        if (!core_) {
            return fail(kNoCoreSession);
        }
        if (bytes->empty()) {
            return fail("save state payload is empty");
        }
        if (!core_->retro_unserialize(bytes->data(), bytes->size())) {
            return fail("core rejected save state payload");
        }
        return {};
    }();
    const double unserialize_ms = ms_since(unserialize_start);
    if (!restored) {
        runner_debug(
            "loadState failed stage=unserialize readMs={:.1f} prepareMs={:.1f} "
            "unserializeMs={:.1f} totalMs={:.1f} bytes={} error={}",
            read_ms, prepare_ms, unserialize_ms, ms_since(total), n, restored.error().display());
        return restored;
    }
    runner_debug(
        "loadState completed readMs={:.1f} prepareMs={:.1f} unserializeMs={:.1f} totalMs={:.1f} "
        "bytes={}",
        read_ms, prepare_ms, unserialize_ms, ms_since(total), n);
    if (auto reset = reset_audio_after_timing_change(); !reset) {
        return reset;
    }
    pacer.restart();
    return {};
}

Status LibretroRuntime::save_state(const std::string& state_path, const std::string& preview_path,
                                   FramePacer& pacer) {
    if (auto warmed = run_state_warmup_frame(pacer); !warmed) {
        return warmed;
    }
    const auto total = Clock::now();
    if (auto prepared = callback_bridge::prepare_hardware_render_context(); !prepared) {
        runner_debug("saveState failed stage=prepare totalMs={:.1f} error={}", ms_since(total),
                     prepared.error().display());
        return prepared;
    }
    const double prepare_ms = ms_since(total);
    const auto serialize_start = Clock::now();
    Result<std::vector<std::uint8_t>> bytes =
        core_ ? core_->serialize() : Result<std::vector<std::uint8_t>>(fail(kNoCoreSession));
    const double serialize_ms = ms_since(serialize_start);
    if (!bytes) {
        runner_debug(
            "saveState failed stage=serialize prepareMs={:.1f} serializeMs={:.1f} totalMs={:.1f} "
            "error={}",
            prepare_ms, serialize_ms, ms_since(total), bytes.error().display());
        return fail(std::move(bytes.error()));
    }
    const std::size_t n = bytes->size();
    const auto write_start = Clock::now();
    if (auto written = artifact_store_->write_save_state(state_path, *bytes); !written) {
        runner_debug(
            "saveState failed stage=write prepareMs={:.1f} serializeMs={:.1f} writeMs={:.1f} "
            "totalMs={:.1f} bytes={} error={}",
            prepare_ms, serialize_ms, ms_since(write_start), ms_since(total), n,
            written.error().display());
        return written;
    }
    const double write_ms = ms_since(write_start);
    const auto preview_start = Clock::now();
    write_save_state_preview(preview_path);
    runner_debug(
        "saveState completed prepareMs={:.1f} serializeMs={:.1f} writeMs={:.1f} "
        "previewMs={:.1f} totalMs={:.1f} bytes={}",
        prepare_ms, serialize_ms, write_ms, ms_since(preview_start), ms_since(total), n);
    return {};
}

void LibretroRuntime::write_save_state_preview(const std::string& preview_path) {
    Status written = refresh_latest_frame();
    if (written) {
        written = write_latest_frame_image(preview_path);
    }
    if (written) {
        return;
    }
    runner_debug("saveState preview failed, attempting placeholder preview: error={}",
                 written.error().display());
    if (auto placeholder = artifact_store_->write_image(preview_path, kPlaceholderPng);
        !placeholder) {
        runner_debug("saveState placeholder preview failed: error={}",
                     placeholder.error().display());
    }
}

Status LibretroRuntime::sync_cheats(const std::vector<RunnerCheatSetPayload>& cheat_sets) {
    if (!core_) {
        return fail(kNoCoreSession);
    }
    core_->retro_cheat_reset();
    std::vector<std::string> codes;
    std::size_t enabled = 0;
    for (const auto& set : cheat_sets) {
        if (!set.enabled) {
            continue;
        }
        ++enabled;
        std::string code;
        for (const auto& line : set.lines) {
            const std::string_view trimmed = trim_white_space(line);
            if (trimmed.empty()) {
                continue;
            }
            if (!code.empty()) {
                code.push_back('\n');
            }
            code.append(trimmed);
        }
        if (!code.empty()) {
            codes.push_back(std::move(code));
        }
    }
    for (std::size_t index = 0; index < codes.size(); ++index) {
        if (auto set = core_->cheat_set(static_cast<std::uint32_t>(index), true, codes[index]);
            !set) {
            return set;
        }
    }
    runner_debug("Cheats synced: total={} enabled={}", cheat_sets.size(), enabled);
    return {};
}

void LibretroRuntime::set_clip_recorder_paused(bool paused) {
    if (!clip_recorder_) {
        return;
    }
    clip_recorder_->last_frame_queued_at.reset();
    if (paused) {
        clip_recorder_->send_control_or_reply(clip_recording_control::Pause{});
    } else {
        clip_recorder_->send_control_or_reply(clip_recording_control::Resume{});
    }
}

Status LibretroRuntime::set_paused(bool paused, FramePacer& pacer) {
    set_clip_recorder_paused(paused);
    paused_ = paused;
    Status cleared = audio_sink_->clear();
    if (cleared) {
        pacer.restart();
    }
    return cleared;
}

Status LibretroRuntime::set_playback_speed(double speed, FramePacer& pacer) {
    playback_speed_ = clamp_playback_speed(speed);
    if (auto reset = reset_audio_after_timing_change(); !reset) {
        return reset;
    }
    runner_debug("Playback speed changed: speed={:.2f}", playback_speed_);
    pacer.set_timing(pacer.frames_per_second(), playback_speed_);
    pacer.restart();
    return {};
}

void LibretroRuntime::set_input_state(rc::SetInputState& command) {
    if (runner_debug_logs_enabled()) {
        input_latency_stats_.record(command.timings, epoch_ms_now(), config_.core_id,
                                    config_.platform_id);
    }
    input_active_ = input_is_active(command.input);
    last_input_at_ = Clock::now();
    stale_input_cleared_ = !input_active_;
    if (netplay_) {
        // The shell's first player is the local player of the netplay session.
        NetplayPlayerInput local;
        local.buttons = command.input.joypad_masks[0];
        local.axes = {command.input.left_sticks[0].x, command.input.left_sticks[0].y,
                      command.input.right_sticks[0].x, command.input.right_sticks[0].y};
        netplay_->set_local_input(local);
        return;
    }
    callback_bridge::set_input_state_by_port(command.input);
}

Result<DiscControlSnapshot> LibretroRuntime::set_disc_image(std::uint32_t image_index,
                                                            FramePacer& pacer) {
    auto snapshot = callback_bridge::set_disc_image_index(image_index);
    if (!snapshot) {
        return snapshot;
    }
    if (auto reset = reset_audio_after_timing_change(); !reset) {
        return fail(std::move(reset.error()));
    }
    pacer.restart();
    return snapshot;
}

}  // namespace lk
