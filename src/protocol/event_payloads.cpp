#include "protocol/event_payloads.hpp"

namespace lk {

namespace {

template <class T>
OrderedJson or_null(const std::optional<T>& value) {
    return value ? OrderedJson(*value) : OrderedJson(nullptr);
}

OrderedJson object() {
    return OrderedJson::object();
}

}  // namespace

void to_json(OrderedJson& out, const RomSourceDescriptor& source) {
    out = object();
    if (const auto* file = std::get_if<FileRomSource>(&source)) {
        out["kind"] = "file";
        out["filePath"] = file->file_path;
    } else {
        const auto& entry = std::get<ZipEntryRomSource>(source);
        out["kind"] = "zipEntry";
        out["archivePath"] = entry.archive_path;
        out["entryPath"] = entry.entry_path;
    }
}

void to_json(OrderedJson& out, const EmulatorSessionSnapshot& s) {
    out = object();
    out["coreId"] = s.core_id;
    out["coreGraphicsProfile"] = s.core_graphics_profile;
    out["gameId"] = s.game_id;
    out["platformId"] = s.platform_id;
    out["runState"] = s.run_state;
    if (s.save_data_mode) {
        out["saveDataMode"] = *s.save_data_mode;
    }
    out["sessionId"] = s.session_id;
    if (s.netplay_player_index) {
        out["netplayPlayerIndex"] = *s.netplay_player_index;
    }
    if (s.netplay_session_key) {
        out["netplaySessionKey"] = *s.netplay_session_key;
    }
    out["source"] = s.source;
    out["title"] = s.title;
}

void to_json(OrderedJson& out, const NetplayInputFramePayload& frame) {
    out = object();
    out["frame"] = frame.frame;
    out["playerIndex"] = frame.player_index;
    out["payload"] = frame.payload;
}

void to_json(OrderedJson& out, const DiscImageSnapshot& image) {
    out = object();
    out["imageIndex"] = image.image_index;
    out["label"] = or_null(image.label);
    out["path"] = or_null(image.path);
}

void to_json(OrderedJson& out, const DiscControlSnapshot& snapshot) {
    out = object();
    out["currentImageIndex"] = or_null(snapshot.current_image_index);
    out["ejected"] = snapshot.ejected;
    out["images"] = OrderedJson::array();
    for (const auto& image : snapshot.images) {
        out["images"].push_back(image);
    }
    out["supported"] = snapshot.supported;
}

void to_json(OrderedJson& out, const ClipRecordingStatusPayload& status) {
    out = object();
    out["encoderAvailable"] = status.encoder_available;
    out["manualRecordingActive"] = status.manual_recording_active;
    out["replayBufferActive"] = status.replay_buffer_active;
    out["replayLengthSeconds"] = status.replay_length_seconds;
    out["statusMessage"] = or_null(status.status_message);
}

void to_json(OrderedJson& out, const ClipRecordingResultPayload& result) {
    out = object();
    out["durationSeconds"] = result.duration_seconds;
}

void to_json(OrderedJson& out, const NativeControllerMetadataPayload& c) {
    out = object();
    out["batteryLabel"] = or_null(c.battery_label);
    out["hardwareId"] = c.hardware_id;
    out["isConnected"] = c.is_connected;
    out["name"] = c.name;
    out["nativeId"] = c.native_id;
    out["powerPercent"] = or_null(c.power_percent);
    out["powerState"] = c.power_state;
    out["productId"] = or_null(c.product_id);
    out["provider"] = c.provider;
    out["transport"] = c.transport;
    out["uuid"] = or_null(c.uuid);
    out["vendorId"] = or_null(c.vendor_id);
}

void to_json(OrderedJson& out, const NativeControllerMetadataSnapshotPayload& snapshot) {
    out = object();
    out["controllers"] = OrderedJson::array();
    for (const auto& controller : snapshot.controllers) {
        out["controllers"].push_back(controller);
    }
    out["error"] = or_null(snapshot.error);
    out["provider"] = snapshot.provider;
    out["providerAvailable"] = snapshot.provider_available;
}

void to_json(OrderedJson& out, const RunnerReadyEventPayload& p) {
    out = object();
    out["protocolVersion"] = p.protocol_version;
    out["runnerName"] = p.runner_name;
    out["supportedPlatformIds"] = p.supported_platform_ids;
}

void to_json(OrderedJson& out, const PongEventPayload& p) {
    out = object();
    out["issuedAt"] = p.issued_at;
    out["requestId"] = p.request_id;
}

void to_json(OrderedJson& out, const RomLoadedEventPayload& p) {
    out = object();
    out["romSizeBytes"] = p.rom_size_bytes;
    out["session"] = p.session;
}

void to_json(OrderedJson& out, const RomClosedEventPayload& p) {
    out = object();
    out["sessionId"] = or_null(p.session_id);
}

void to_json(OrderedJson& out, const EmulationPausedEventPayload& p) {
    out = object();
    out["session"] = p.session;
}

void to_json(OrderedJson& out, const PlaybackSpeedChangedEventPayload& p) {
    out = object();
    out["playbackSpeedRatio"] = p.playback_speed_ratio;
    out["session"] = p.session;
}

void to_json(OrderedJson& out, const SaveStateLoadedEventPayload& p) {
    out = object();
    out["session"] = p.session;
    out["slotId"] = p.slot_id;
    out["stateFilePath"] = p.state_file_path;
}

void to_json(OrderedJson& out, const SaveStateWrittenEventPayload& p) {
    out = object();
    out["previewFilePath"] = p.preview_file_path;
    out["sessionId"] = p.session_id;
    out["slotId"] = p.slot_id;
    out["stateFilePath"] = p.state_file_path;
    out["writtenAt"] = p.written_at;
}

void to_json(OrderedJson& out, const ScreenshotCapturedEventPayload& p) {
    out = object();
    out["screenshotFilePath"] = p.screenshot_file_path;
    out["sessionId"] = p.session_id;
}

void to_json(OrderedJson& out, const CheatsSyncedEventPayload& p) {
    out = object();
    out["enabledCount"] = p.enabled_count;
    out["sessionId"] = p.session_id;
    out["totalCount"] = p.total_count;
}

void to_json(OrderedJson& out, const RunnerCommandSucceededEventPayload& p) {
    out = object();
    out["commandName"] = p.command_name;
    out["requestId"] = p.request_id;
    out["result"] = p.result;
}

void to_json(OrderedJson& out, const RunnerCommandFailedEventPayload& p) {
    out = object();
    out["commandName"] = p.command_name;
    out["message"] = p.message;
    out["requestId"] = p.request_id;
}

void to_json(OrderedJson& out, const RunnerErrorEventPayload& p) {
    out = object();
    out["code"] = p.code;
    out["message"] = p.message;
}

void to_json(OrderedJson& out, const RawFrameStreamReadyEventPayload& p) {
    out = object();
    out["host"] = p.host;
    out["port"] = p.port;
    out["protocolVersion"] = p.protocol_version;
    out["sessionId"] = p.session_id;
    out["token"] = p.token;
}

void to_json(OrderedJson& out, const NetplayLocalInputFrameEventPayload& p) {
    out = object();
    out["input"] = p.input;
    out["sessionId"] = p.session_id;
}

void to_json(OrderedJson& out, const NetplayStateHashEventPayload& p) {
    out = object();
    out["frame"] = p.frame;
    out["sha256"] = p.sha256;
    out["sessionId"] = p.session_id;
}

void to_json(OrderedJson& out, const NetplayStalledEventPayload& p) {
    out = object();
    out["frame"] = p.frame;
    out["sessionId"] = p.session_id;
}

void to_json(OrderedJson& out, const NetplaySessionPauseReachedEventPayload& p) {
    out = object();
    out["pausedAtFrame"] = p.paused_at_frame;
    out["sequence"] = p.sequence;
    out["sessionId"] = p.session_id;
}

}  // namespace lk
