#include "protocol/command_payload_decoder.hpp"

#include <gtest/gtest.h>

namespace lk {
namespace {

Json minimal_load_rom() {
    return Json::parse(R"({"coreId":"mgba","platformId":"gba","gameId":"g","title":"t",
                           "source":{"kind":"file","filePath":"/roms/g.gba"}})");
}

TEST(CommandPayloadDecoder, LoadRomAppliesEveryDefault) {
    auto p = decode_command_payload<LoadRomCommandPayload>(minimal_load_rom());
    ASSERT_TRUE(p) << p.error().display();
    EXPECT_EQ(std::get<FileRomSource>(p->source).file_path, "/roms/g.gba");
    EXPECT_EQ(p->audio_runtime_mode, AudioPlaybackMode::standard);
    EXPECT_EQ(p->audio_settings.output_device_id, "systemDefault");
    EXPECT_EQ(p->audio_settings.output_device_label, std::nullopt);
    EXPECT_EQ(p->audio_settings.emulator_volume, 80.0);
    EXPECT_FALSE(p->audio_settings.start_muted);
    EXPECT_FALSE(p->clip_recording_settings);
    EXPECT_EQ(p->core_graphics_profile, "native");
    EXPECT_EQ(p->hardware_render_frame_rate_limit, 60.0);
    EXPECT_EQ(p->video_performance_mode, "auto");
    EXPECT_FALSE(p->runtime_directory_paths.save_directory_path);
    EXPECT_FALSE(p->start_paused);
    EXPECT_EQ(p->playback_speed_ratio, 1.0);
}

TEST(CommandPayloadDecoder, LoadRomReadsNestedRecordsAndTreatsNullAsAbsent) {
    Json json = minimal_load_rom();
    json["audioRuntimeMode"] = "netplay";
    json["audioSettings"] = Json::parse(
        R"({"outputDeviceId":"hw:1","outputDeviceLabel":"USB","emulatorVolume":55.5,"startMuted":true})");
    json["clipRecordingSettings"] = Json::parse(
        R"({"cacheDirectoryPath":"/c","quality":"high","replayLengthSeconds":20,
            "gstreamerRuntime":{"launchExecutablePath":"/gst","pluginScannerPath":null}})");
    json["runtimeDirectoryPaths"] = Json::parse(R"({"saveDirectoryPath":"/s"})");
    json["videoPerformanceMode"] = nullptr;
    json["netplayPlayerIndex"] = 3;
    auto p = decode_command_payload<LoadRomCommandPayload>(json);
    ASSERT_TRUE(p) << p.error().display();
    EXPECT_EQ(p->audio_runtime_mode, AudioPlaybackMode::netplay);
    EXPECT_EQ(p->audio_settings.output_device_label, "USB");
    EXPECT_EQ(p->audio_settings.emulator_volume, 55.5);
    ASSERT_TRUE(p->clip_recording_settings);
    EXPECT_FALSE(p->clip_recording_settings->replay_buffer_enabled);
    EXPECT_EQ(p->clip_recording_settings->gstreamer_runtime->launch_executable_path, "/gst");
    EXPECT_FALSE(p->clip_recording_settings->gstreamer_runtime->plugin_scanner_path);
    EXPECT_EQ(p->runtime_directory_paths.save_directory_path, "/s");
    EXPECT_EQ(p->video_performance_mode, "auto");
    EXPECT_EQ(p->netplay_player_index, 3u);
}

TEST(CommandPayloadDecoder, ErrorsNameTheKeyPathAndTheProblem) {
    struct Case {
        std::string json;
        std::string message;
    };
    const Case cases[] = {
        {R"({"slotId":"1"})", "missing field `stateFilePath` in `payload`"},
        {R"({"slotId":null,"stateFilePath":"s"})",
         "invalid type for `payload.slotId`: expected a string, found null"},
        {R"([])", "invalid type for `payload`: expected an object, found array"},
        {R"({"slotId":"1","stateFilePath":"s","sessionId":7})",
         "invalid type for `payload.sessionId`: expected a string, found integer"},
    };
    for (const auto& c : cases) {
        auto p = decode_command_payload<LoadStateCommandPayload>(Json::parse(c.json));
        ASSERT_FALSE(p) << c.json;
        EXPECT_EQ(p.error().display(), c.message);
    }
    auto frame = decode_command_payload<SubmitNetplayInputFrameCommandPayload>(
        Json::parse(R"({"input":{"frame":1,"playerIndex":0,"payload":[1,256]}})"));
    ASSERT_FALSE(frame);
    EXPECT_EQ(frame.error().display(),
              "invalid value for `payload.input.payload[1]`: 256 is out of range for a byte");
    auto pointer = decode_command_payload<SetInputStateCommandPayload>(
        Json::parse(R"({"inputState":{"buttons":[],"capturedAt":0,"pointer":{"x":40000,"y":0}}})"));
    ASSERT_FALSE(pointer);
    EXPECT_EQ(pointer.error().display(),
              "invalid value for `payload.inputState.pointer.x`: 40000 is out of range for a "
              "signed 16-bit integer");
    auto fractional =
        decode_command_payload<SetDiscImageCommandPayload>(Json::parse(R"({"imageIndex":1.5})"));
    ASSERT_FALSE(fractional);
    EXPECT_EQ(fractional.error().display(),
              "invalid type for `payload.imageIndex`: expected an unsigned integer, found "
              "floating-point number");
}

TEST(CommandPayloadDecoder, InputStateWithPlayersAnalogAndPointer) {
    auto p = decode_command_payload<SetInputStateCommandPayload>(Json::parse(R"({
        "sessionId":"s","rendererTickDeltaMs":16.6,
        "inputState":{"buttons":[{"buttonId":"a","pressed":true}],"capturedAt":12.5,
          "analog":{"left":{"x":-0.5},"right":null},
          "players":[{"playerIndex":2,"buttons":[],"analog":{"right":{"x":1,"y":-1}}}],
          "pointer":{"x":-32768,"y":32767,"pressed":true}}})"));
    ASSERT_TRUE(p) << p.error().display();
    EXPECT_EQ(p->session_id, "s");
    EXPECT_EQ(p->renderer_tick_delta_ms, 16.6);
    const auto& in = p->input_state;
    EXPECT_EQ(in.buttons.at(0).button_id, "a");
    EXPECT_EQ(in.analog->left->x, -0.5);
    EXPECT_FALSE(in.analog->left->y);
    EXPECT_FALSE(in.analog->right);
    EXPECT_EQ(in.players.at(0).player_index, 2u);
    EXPECT_EQ(in.players.at(0).analog->right->y, -1.0);
    EXPECT_EQ(in.pointer->x, -32768);
    EXPECT_EQ(in.pointer->pressed, true);
}

}  // namespace
}  // namespace lk
