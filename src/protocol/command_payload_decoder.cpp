#include "protocol/command_payload_decoder.hpp"

#include <fmt/format.h>

#include "protocol/json_field_reader.hpp"

namespace lk {

namespace {

using Reader = JsonFieldReader;

std::string element_path(const std::string& path, std::size_t index) {
    return fmt::format("{}[{}]", path, index);
}

template <class T, class ReadOne>
std::vector<T> read_list(const Json& value, const std::string& path, ReadOne read_one) {
    const auto& items = read_array(value, path);
    std::vector<T> out;
    out.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        out.push_back(read_one(items[i], element_path(path, i)));
    }
    return out;
}

RomSourceDescriptor read_rom_source(const Json& value, const std::string& path) {
    const Reader r(value, path);
    const std::string kind = r.text("kind");
    if (kind == "file") {
        return FileRomSource{r.text("filePath")};
    }
    if (kind == "zipEntry") {
        return ZipEntryRomSource{r.text("archivePath"), r.text("entryPath")};
    }
    throw JsonDecodeFailure(fmt::format(
        "unknown variant `{}` for `{}.kind`, expected `file` or `zipEntry`", kind, path));
}

AudioSettingsPayload read_audio_settings(const Json& value, const std::string& path) {
    const Reader r(value, path);
    AudioSettingsPayload out;
    out.output_device_id = r.text("outputDeviceId");
    out.output_device_label = r.optional_text("outputDeviceLabel");
    out.emulator_volume = r.number("emulatorVolume");
    out.start_muted = r.boolean("startMuted");
    return out;
}

AudioPlaybackMode read_audio_playback_mode(const Json& value, const std::string& path) {
    const std::string mode = read_text(value, path);
    if (mode == "standard") {
        return AudioPlaybackMode::standard;
    }
    if (mode == "netplay") {
        return AudioPlaybackMode::netplay;
    }
    throw JsonDecodeFailure(
        fmt::format("unknown variant `{}` for `{}`, expected `standard` or `netplay`", mode, path));
}

GStreamerRuntimePayload read_gstreamer_runtime(const Json& value, const std::string& path) {
    const Reader r(value, path);
    return GStreamerRuntimePayload{
        r.text("launchExecutablePath"), r.optional_text("binDirectoryPath"),
        r.optional_text("pluginDirectoryPath"), r.optional_text("pluginScannerPath")};
}

ClipRecordingSettingsPayload read_clip_settings(const Json& value, const std::string& path) {
    const Reader r(value, path);
    ClipRecordingSettingsPayload out;
    out.cache_directory_path = r.text("cacheDirectoryPath");
    if (const Json* runtime = r.optional("gstreamerRuntime")) {
        out.gstreamer_runtime = read_gstreamer_runtime(*runtime, r.child_path("gstreamerRuntime"));
    }
    out.quality = r.text("quality");
    out.replay_buffer_enabled = r.optional_boolean("replayBufferEnabled").value_or(false);
    out.replay_length_seconds = r.u32("replayLengthSeconds");
    return out;
}

RuntimeDirectoryPathsPayload read_directory_paths(const Json& value, const std::string& path) {
    const Reader r(value, path);
    return RuntimeDirectoryPathsPayload{r.optional_text("saveDirectoryPath"),
                                        r.optional_text("systemDirectoryPath")};
}

RunnerCheatSetPayload read_cheat_set(const Json& value, const std::string& path) {
    const Reader r(value, path);
    RunnerCheatSetPayload out;
    out.enabled = r.boolean("enabled");
    out.id = r.text("id");
    out.lines = r.text_array("lines");
    out.name = r.text("name");
    out.type = r.text("type");
    return out;
}

EmulatorButtonState read_button(const Json& value, const std::string& path) {
    const Reader r(value, path);
    return EmulatorButtonState{r.text("buttonId"), r.boolean("pressed")};
}

std::vector<EmulatorButtonState> read_buttons(const Reader& r) {
    return read_list<EmulatorButtonState>(r.required("buttons"), r.child_path("buttons"),
                                          read_button);
}

std::optional<EmulatorAnalogStickState> read_stick(const Reader& r, std::string_view key) {
    const Json* value = r.optional(key);
    if (value == nullptr) {
        return std::nullopt;
    }
    const Reader stick(*value, r.child_path(key));
    return EmulatorAnalogStickState{stick.optional_number("x"), stick.optional_number("y")};
}

std::optional<EmulatorAnalogInputState> read_analog(const Reader& r) {
    const Json* value = r.optional("analog");
    if (value == nullptr) {
        return std::nullopt;
    }
    const Reader analog(*value, r.child_path("analog"));
    return EmulatorAnalogInputState{read_stick(analog, "left"), read_stick(analog, "right")};
}

EmulatorPlayerInputState read_player(const Json& value, const std::string& path) {
    const Reader r(value, path);
    EmulatorPlayerInputState out;
    out.player_index = r.u64("playerIndex");
    out.buttons = read_buttons(r);
    out.analog = read_analog(r);
    return out;
}

EmulatorInputState read_input_state(const Json& value, const std::string& path) {
    const Reader r(value, path);
    EmulatorInputState out;
    out.buttons = read_buttons(r);
    out.captured_at = r.number("capturedAt");
    out.analog = read_analog(r);
    if (const Json* players = r.optional("players")) {
        out.players =
            read_list<EmulatorPlayerInputState>(*players, r.child_path("players"), read_player);
    }
    if (const Json* pointer = r.optional("pointer")) {
        const Reader p(*pointer, r.child_path("pointer"));
        out.pointer = EmulatorPointerState{p.i16("x"), p.i16("y"), p.optional_boolean("pressed")};
    }
    return out;
}

NetplayInputFramePayload read_netplay_frame(const Json& value, const std::string& path) {
    const Reader r(value, path);
    NetplayInputFramePayload out;
    out.frame = r.u64("frame");
    out.player_index = r.u64("playerIndex");
    out.payload = read_list<std::uint8_t>(
        r.required("payload"), r.child_path("payload"),
        [](const Json& byte, const std::string& byte_path) {
            const std::uint64_t v = read_u64(byte, byte_path);
            if (v > 255) {
                throw JsonDecodeFailure(fmt::format(
                    "invalid value for `{}`: {} is out of range for a byte", byte_path, v));
            }
            return static_cast<std::uint8_t>(v);
        });
    return out;
}

void read_session(const Reader& r, SessionScopedPayload& out) {
    out.session_id = r.optional_text("sessionId");
}

// One overload per command record.
void read(const Reader& r, InitializeRunnerCommandPayload& out) {
    out.protocol_version = r.u32("protocolVersion");
}
void read(const Reader& r, PingRunnerCommandPayload& out) {
    out.issued_at = r.text("issuedAt");
}

void read(const Reader& r, LoadRomCommandPayload& out) {
    out.core_id = r.text("coreId");
    out.platform_id = r.text("platformId");
    out.game_id = r.text("gameId");
    out.title = r.text("title");
    out.source = read_rom_source(r.required("source"), r.child_path("source"));
    if (const Json* v = r.optional("audioRuntimeMode")) {
        out.audio_runtime_mode = read_audio_playback_mode(*v, r.child_path("audioRuntimeMode"));
    }
    if (const Json* v = r.optional("audioSettings")) {
        out.audio_settings = read_audio_settings(*v, r.child_path("audioSettings"));
    }
    if (const Json* v = r.optional("clipRecordingSettings")) {
        out.clip_recording_settings = read_clip_settings(*v, r.child_path("clipRecordingSettings"));
    }
    out.controller_device_id = r.optional_text("controllerDeviceId");
    out.core_graphics_profile = r.optional_text("coreGraphicsProfile").value_or("native");
    out.hardware_render_frame_rate_limit =
        r.optional_number("hardwareRenderFrameRateLimit").value_or(60.0);
    out.video_performance_mode = r.optional_text("videoPerformanceMode").value_or("auto");
    out.netplay_player_index = r.optional_u64("netplayPlayerIndex");
    out.netplay_session_key = r.optional_text("netplaySessionKey");
    if (const Json* v = r.optional("runtimeDirectoryPaths")) {
        out.runtime_directory_paths =
            read_directory_paths(*v, r.child_path("runtimeDirectoryPaths"));
    }
    out.save_data_mode = r.optional_text("saveDataMode");
    out.start_paused = r.optional_boolean("startPaused").value_or(false);
    out.playback_speed_ratio = r.optional_number("playbackSpeedRatio").value_or(1.0);
}

void read(const Reader& r, CloseRomCommandPayload& out) {
    read_session(r, out);
}
void read(const Reader& r, PauseCommandPayload& out) {
    read_session(r, out);
}
void read(const Reader& r, ResumeCommandPayload& out) {
    read_session(r, out);
}
void read(const Reader& r, GetDiscControlCommandPayload& out) {
    read_session(r, out);
}
void read(const Reader& r, StartClipRecordingCommandPayload& out) {
    read_session(r, out);
}
void read(const Reader& r, StopNetplayModeCommandPayload& out) {
    read_session(r, out);
}
void read(const Reader& r, SessionScopedPayload& out) {
    read_session(r, out);
}

void read(const Reader& r, SetPlaybackSpeedCommandPayload& out) {
    read_session(r, out);
    out.playback_speed_ratio = r.number("playbackSpeedRatio");
}
void read(const Reader& r, LoadStateCommandPayload& out) {
    read_session(r, out);
    out.slot_id = r.text("slotId");
    out.state_file_path = r.text("stateFilePath");
}
void read(const Reader& r, SaveStateCommandPayload& out) {
    read_session(r, out);
    out.slot_id = r.text("slotId");
    out.state_file_path = r.text("stateFilePath");
    out.preview_file_path = r.text("previewFilePath");
}
void read(const Reader& r, CaptureScreenshotCommandPayload& out) {
    read_session(r, out);
    out.screenshot_file_path = r.text("screenshotFilePath");
}
void read(const Reader& r, SyncCheatsCommandPayload& out) {
    read_session(r, out);
    out.cheat_sets = read_list<RunnerCheatSetPayload>(r.required("cheatSets"),
                                                      r.child_path("cheatSets"), read_cheat_set);
}
void read(const Reader& r, SetDiscImageCommandPayload& out) {
    read_session(r, out);
    out.image_index = r.u32("imageIndex");
}
void read(const Reader& r, SetAudioMutedCommandPayload& out) {
    read_session(r, out);
    out.muted = r.boolean("muted");
}
void read(const Reader& r, SetAudioSettingsCommandPayload& out) {
    read_session(r, out);
    out.audio_settings =
        read_audio_settings(r.required("audioSettings"), r.child_path("audioSettings"));
}
void read(const Reader& r, SetInputStateCommandPayload& out) {
    read_session(r, out);
    out.input_state = read_input_state(r.required("inputState"), r.child_path("inputState"));
    out.input_sampled_at_epoch_ms = r.optional_number("inputSampledAtEpochMs");
    out.main_forwarded_at_epoch_ms = r.optional_number("mainForwardedAtEpochMs");
    out.main_received_at_epoch_ms = r.optional_number("mainReceivedAtEpochMs");
    out.renderer_dispatched_at_epoch_ms = r.optional_number("rendererDispatchedAtEpochMs");
    out.renderer_tick_delta_ms = r.optional_number("rendererTickDeltaMs");
}
void read(const Reader& r, SetVideoPerformanceModeCommandPayload& out) {
    read_session(r, out);
    out.performance_mode = r.text("performanceMode");
}
void read(const Reader& r, SetHardwareRenderFrameRateLimitCommandPayload& out) {
    read_session(r, out);
    out.hardware_render_frame_rate_limit = r.number("hardwareRenderFrameRateLimit");
}
void read(const Reader& r, StopClipRecordingCommandPayload& out) {
    read_session(r, out);
    out.output_file_path = r.text("outputFilePath");
    out.thumbnail_file_path = r.text("thumbnailFilePath");
}
void read(const Reader& r, SaveReplayClipCommandPayload& out) {
    read_session(r, out);
    out.output_file_path = r.text("outputFilePath");
    out.replay_length_seconds = r.u32("replayLengthSeconds");
    out.thumbnail_file_path = r.text("thumbnailFilePath");
}
void read(const Reader& r, StartNetplayModeCommandPayload& out) {
    read_session(r, out);
    out.input_delay_frames = r.u64("inputDelayFrames");
    out.local_player_index = r.u64("localPlayerIndex");
    out.player_count = r.u64("playerCount");
    out.start_frame = r.u64("startFrame");
}
void read(const Reader& r, SubmitNetplayInputFrameCommandPayload& out) {
    read_session(r, out);
    out.input = read_netplay_frame(r.required("input"), r.child_path("input"));
}
void read(const Reader& r, UpdateNetplayInputDelayCommandPayload& out) {
    read_session(r, out);
    out.effective_frame = r.u64("effectiveFrame");
    out.input_delay_frames = r.u64("inputDelayFrames");
}
void read(const Reader& r, UpdateNetplayServerFrameCommandPayload& out) {
    read_session(r, out);
    out.canonical_frame = r.u64("canonicalFrame");
    out.frame = r.u64("frame");
}
void read(const Reader& r, ScheduleNetplayPauseCommandPayload& out) {
    read_session(r, out);
    out.pause_at_frame = r.u64("pauseAtFrame");
    out.sequence = r.u64("sequence");
}
void read(const Reader& r, SaveNetplayStateFrameCommandPayload& out) {
    read_session(r, out);
    out.frame = r.u64("frame");
    out.state_file_path = r.text("stateFilePath");
}

}  // namespace

template <class Payload>
Result<Payload> decode_command_payload(const Json& payload) {
    try {
        const Reader reader(payload, "payload");
        Payload out;
        read(reader, out);
        return out;
    } catch (const JsonDecodeFailure& failure) {
        return fail(failure.what(), ErrorKind::invalid_data);
    }
}

Result<SessionScopedPayload> decode_session_scope(const Json& payload) {
    return decode_command_payload<SessionScopedPayload>(payload);
}

#define LK_DECODER(Payload) template Result<Payload> decode_command_payload<Payload>(const Json&);
LK_DECODER(SessionScopedPayload)
LK_DECODER(InitializeRunnerCommandPayload)
LK_DECODER(PingRunnerCommandPayload)
LK_DECODER(LoadRomCommandPayload)
LK_DECODER(CloseRomCommandPayload)
LK_DECODER(PauseCommandPayload)
LK_DECODER(ResumeCommandPayload)
LK_DECODER(SetPlaybackSpeedCommandPayload)
LK_DECODER(LoadStateCommandPayload)
LK_DECODER(SaveStateCommandPayload)
LK_DECODER(CaptureScreenshotCommandPayload)
LK_DECODER(SyncCheatsCommandPayload)
LK_DECODER(SetDiscImageCommandPayload)
LK_DECODER(GetDiscControlCommandPayload)
LK_DECODER(SetAudioMutedCommandPayload)
LK_DECODER(SetAudioSettingsCommandPayload)
LK_DECODER(SetInputStateCommandPayload)
LK_DECODER(SetVideoPerformanceModeCommandPayload)
LK_DECODER(SetHardwareRenderFrameRateLimitCommandPayload)
LK_DECODER(StartClipRecordingCommandPayload)
LK_DECODER(StopClipRecordingCommandPayload)
LK_DECODER(SaveReplayClipCommandPayload)
LK_DECODER(StartNetplayModeCommandPayload)
LK_DECODER(StopNetplayModeCommandPayload)
LK_DECODER(SubmitNetplayInputFrameCommandPayload)
LK_DECODER(UpdateNetplayInputDelayCommandPayload)
LK_DECODER(UpdateNetplayServerFrameCommandPayload)
LK_DECODER(ScheduleNetplayPauseCommandPayload)
LK_DECODER(SaveNetplayStateFrameCommandPayload)
#undef LK_DECODER

}  // namespace lk
