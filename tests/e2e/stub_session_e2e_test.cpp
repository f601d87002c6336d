// A whole shell flow against the stub cores (the default environment).

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "runner_process.hpp"

namespace lk::e2e {
namespace {

const std::string kPlaceholderPng(
    "\x89PNG\r\n\x1a\n\x00\x00\x00\x0dIHDR\x00\x00\x00\x01\x00\x00\x00\x01\x08\x06\x00\x00\x00\x1f"
    "\x15\xc4\x89\x00\x00\x00\x0aIDATx\x9c\x63\x00\x01\x00\x00\x05\x00\x01\x0d\x0a\x2d\xb4\x00\x00"
    "\x00\x00IEND\xae\x42\x60\x82",
    67);

class StubSessionE2e : public ::testing::Test {
  protected:
    void SetUp() override {
        rom = dir.file("game.gba");
        write_file(rom, std::string(1234, 'r'));
    }

    Json load_payload(const std::string& core = "mgba", const std::string& platform = "gba") {
        return {{"coreId", core},
                {"platformId", platform},
                {"gameId", "game-1"},
                {"title", "A Game"},
                {"source", {{"kind", "file"}, {"filePath", rom}}}};
    }

    // Sends a command and returns its events; the last one is the reply.
    std::vector<Json> command(const std::string& type, const std::string& id, const Json& payload) {
        runner.send(type, id, payload);
        return runner.events_until_reply(id);
    }

    static void expect_failure(const std::vector<Json>& events, const std::string& message) {
        ASSERT_EQ(events.size(), 2u);
        EXPECT_EQ(events[0]["name"], "error");
        EXPECT_EQ(events[0]["payload"]["code"], "RUNNER_COMMAND_FAILED");
        EXPECT_EQ(events[0]["payload"]["message"], message);
        EXPECT_EQ(events[1]["name"], "commandFailed");
        EXPECT_EQ(events[1]["payload"]["message"], message);
    }

    TempDir dir;
    std::string rom;
    RunnerProcess runner;
};

TEST_F(StubSessionE2e, LoadPauseResumeSpeedAndClose) {
    auto loaded = command("loadRom", "load-1", load_payload());
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_EQ(
        loaded[0].dump(),
        R"({"name":"romLoaded","payload":{"romSizeBytes":1234,"session":{"coreId":"mgba","coreGraphicsProfile":"native","gameId":"game-1","platformId":"gba","runState":"running","sessionId":"load-1","source":{"kind":"file","filePath":")" +
            rom + R"("},"title":"A Game"}}})");
    EXPECT_EQ(loaded[1]["name"], "commandSucceeded");

    auto paused = command("pause", "p", {{"sessionId", "load-1"}});
    EXPECT_EQ(paused[0]["name"], "emulationPaused");
    EXPECT_EQ(paused[0]["payload"]["session"]["runState"], "paused");
    auto resumed = command("resume", "r", Json::object());
    EXPECT_EQ(resumed[0]["name"], "emulationResumed");
    EXPECT_EQ(resumed[0]["payload"]["session"]["runState"], "running");
    auto speed = command("setPlaybackSpeed", "s", {{"playbackSpeedRatio", 2.0}});
    EXPECT_EQ(speed[0]["name"], "playbackSpeedChanged");
    EXPECT_EQ(speed[0]["payload"]["playbackSpeedRatio"], 2.0);

    expect_failure(command("captureScreenshot", "other",
                           {{"sessionId", "nope"}, {"screenshotFilePath", dir.file("x.png")}}),
                   "The requested session is not active.");

    auto closed = command("closeRom", "c", {{"sessionId", "load-1"}});
    EXPECT_EQ(closed[0].dump(), R"({"name":"romClosed","payload":{"sessionId":"load-1"}})");
    expect_failure(command("resume", "r2", Json::object()), "No ROM session is active.");
}

TEST_F(StubSessionE2e, LoadOptionsReachTheSnapshotUnchanged) {
    Json payload = load_payload("mupen64plus-next", "n64");
    payload["coreGraphicsProfile"] = "enhanced";
    payload["startPaused"] = true;
    payload["saveDataMode"] = "cloud";
    payload["netplayPlayerIndex"] = 1;
    payload["netplaySessionKey"] = "key";
    auto loaded = command("loadRom", "load-n64", payload);
    const Json& session = loaded[0]["payload"]["session"];
    EXPECT_EQ(session["coreGraphicsProfile"], "enhanced");
    EXPECT_EQ(session["runState"], "paused");
    // Optional keys sit where the snapshot order puts them (events keep their wire order).
    const std::string line = loaded[0].dump();
    EXPECT_LT(line.find("\"runState\""), line.find("\"saveDataMode\""));
    EXPECT_LT(line.find("\"saveDataMode\""), line.find("\"sessionId\""));
    EXPECT_LT(line.find("\"sessionId\""), line.find("\"netplayPlayerIndex\":1"));
    EXPECT_LT(line.find("\"netplayPlayerIndex\""), line.find("\"netplaySessionKey\":\"key\""));
    EXPECT_LT(line.find("\"netplaySessionKey\""), line.find("\"source\""));
}

TEST_F(StubSessionE2e, LoadFailuresLeaveNoSession) {
    Json zip = load_payload();
    zip["source"] = {{"kind", "zipEntry"}, {"archivePath", "a.zip"}, {"entryPath", "g.gba"}};
    expect_failure(command("loadRom", "zip", zip),
                   "Zip entry sources must be extracted into the managed library first.");
    Json missing = load_payload();
    missing["source"]["filePath"] = dir.file("missing.gba");
    expect_failure(command("loadRom", "missing", missing),
                   "No such file or directory (os error 2)");
    expect_failure(command("loadRom", "wrong", load_payload("mgba", "snes")),
                   "Core mgba does not support platform snes.");
    expect_failure(command("pause", "p", Json::object()), "No ROM session is active.");
}

TEST_F(StubSessionE2e, SecondLoadClosesTheFirstSessionFirst) {
    command("loadRom", "first", load_payload());
    auto second = command("loadRom", "second", load_payload("snes9x", "snes"));
    ASSERT_EQ(second.size(), 3u);
    EXPECT_EQ(second[0].dump(), R"({"name":"romClosed","payload":{"sessionId":"first"}})");
    EXPECT_EQ(second[1]["payload"]["session"]["sessionId"], "second");
    // A failing load still ends the old session.
    auto failed = command("loadRom", "third", load_payload("mgba", "snes"));
    ASSERT_EQ(failed.size(), 3u);
    EXPECT_EQ(failed[0].dump(), R"({"name":"romClosed","payload":{"sessionId":"second"}})");
    expect_failure({failed[1], failed[2]}, "Core mgba does not support platform snes.");
    expect_failure(command("pause", "p", Json::object()), "No ROM session is active.");
}

TEST_F(StubSessionE2e, SaveLoadStateScreenshotAndNetplayFilesAreExact) {
    command("loadRom", "s1", load_payload());
    const std::string state = dir.file("deep/er/slot1.state");
    const std::string preview = dir.file("deep/er/slot1.png");
    auto saved =
        command("saveState", "save",
                {{"slotId", "slot-1"}, {"stateFilePath", state}, {"previewFilePath", preview}});
    ASSERT_EQ(saved.size(), 2u);
    const Json& written = saved[0]["payload"];
    EXPECT_EQ(saved[0]["name"], "saveStateWritten");
    EXPECT_EQ(written["previewFilePath"], preview);
    EXPECT_EQ(written["sessionId"], "s1");
    EXPECT_EQ(written["slotId"], "slot-1");
    EXPECT_EQ(written["stateFilePath"], state);
    const std::string written_at = written["writtenAt"];
    EXPECT_FALSE(written_at.empty());
    EXPECT_EQ(written_at.find_first_not_of("0123456789"), std::string::npos);
    EXPECT_GT(std::stoull(written_at), 1'600'000'000'000ULL);
    EXPECT_EQ(read_file(state),
              "{\n  \"coreId\": \"mgba\",\n  \"gameId\": \"game-1\",\n  \"platformId\": \"gba\",\n"
              "  \"runState\": \"running\",\n  \"sessionId\": \"s1\",\n  \"slotId\": \"slot-1\",\n"
              "  \"title\": \"A Game\"\n}");
    EXPECT_EQ(read_file(preview), kPlaceholderPng);

    auto loaded = command("loadState", "load", {{"slotId", "slot-1"}, {"stateFilePath", state}});
    EXPECT_EQ(loaded[0]["name"], "saveStateLoaded");
    EXPECT_EQ(loaded[0]["payload"]["slotId"], "slot-1");
    EXPECT_EQ(loaded[0]["payload"]["session"]["sessionId"], "s1");
    expect_failure(
        command("loadState", "gone", {{"slotId", "x"}, {"stateFilePath", dir.file("nope")}}),
        "No such file or directory (os error 2)");

    const std::string shot = dir.file("new/dir/shot.png");
    auto captured = command("captureScreenshot", "shot", {{"screenshotFilePath", shot}});
    EXPECT_EQ(captured[0].dump(),
              R"({"name":"screenshotCaptured","payload":{"screenshotFilePath":")" + shot +
                  R"(","sessionId":"s1"}})");
    EXPECT_EQ(read_file(shot), kPlaceholderPng);

    const std::string frame_file = dir.file("net/frame.json");
    command("saveNetplayStateFrame", "nf", {{"frame", 42}, {"stateFilePath", frame_file}});
    EXPECT_EQ(read_file(frame_file),
              "{\n  \"coreId\": \"mgba\",\n  \"frame\": 42,\n  \"gameId\": \"game-1\",\n"
              "  \"platformId\": \"gba\",\n  \"sessionId\": \"s1\",\n  \"title\": \"A Game\"\n}");

    // The session is still there after the failed load.
    EXPECT_EQ(command("pause", "still", Json::object())[0]["name"], "emulationPaused");
}

TEST_F(StubSessionE2e, UnwritablePathsFailWithTheSystemsText) {
    command("loadRom", "s1", load_payload());
    write_file(dir.file("plain"), "x");
    expect_failure(
        command("captureScreenshot", "shot", {{"screenshotFilePath", dir.file("plain/shot.png")}}),
        "Not a directory (os error 20)");
    // A failing state write writes no preview.
    expect_failure(command("saveState", "save",
                           {{"slotId", "1"},
                            {"stateFilePath", dir.file("plain/s.state")},
                            {"previewFilePath", dir.file("p.png")}}),
                   "Not a directory (os error 20)");
    struct stat info {};
    EXPECT_NE(::stat(dir.file("p.png").c_str(), &info), 0);
}

TEST_F(StubSessionE2e, CheatsDiscsClipsAndInput) {
    command("loadRom", "s1", load_payload());
    auto cheats = command(
        "syncCheats", "ch",
        {{"cheatSets",
          {{{"enabled", true}, {"id", "a"}, {"lines", {"1"}}, {"name", "A"}, {"type", "raw"}},
           {{"enabled", false},
            {"id", "b"},
            {"lines", Json::array()},
            {"name", "B"},
            {"type", "raw"}},
           {{"enabled", true},
            {"id", "c"},
            {"lines", {"2", "3"}},
            {"name", "C"},
            {"type", "raw"}}}}});
    EXPECT_EQ(
        cheats[0].dump(),
        R"({"name":"cheatsSynced","payload":{"enabledCount":2,"sessionId":"s1","totalCount":3}})");

    const char* empty_disc =
        R"({"currentImageIndex":null,"ejected":false,"images":[],"supported":false})";
    EXPECT_EQ(command("getDiscControl", "d1", Json::object())[0]["payload"]["result"].dump(),
              empty_disc);
    EXPECT_EQ(command("setDiscImage", "d2", {{"imageIndex", 7}})[0]["payload"]["result"].dump(),
              empty_disc);

    EXPECT_EQ(command("getClipRecordingStatus", "cs",
                      Json::object())[0]["payload"]["result"]["statusMessage"],
              "Clip recording is not available for stub cores.");
    expect_failure(command("startClipRecording", "start", Json::object()),
                   "Clip recording is not available for stub cores.");

    // The asynchronous clip commands answer from their reply thread.
    for (const char* type : {"saveReplayClip", "stopClipRecording"}) {
        SCOPED_TRACE(type);
        Json payload{{"outputFilePath", dir.file("c.mp4")},
                     {"thumbnailFilePath", dir.file("c.png")}};
        if (std::string(type) == "saveReplayClip") {
            payload["replayLengthSeconds"] = 10;
        }
        expect_failure(command(type, std::string("async-") + type, payload),
                       "Clip recording is not available for stub cores.");
    }

    // Input has no reply on success.
    runner.send("setInputState", "in",
                {{"inputState",
                  {{"buttons", {{{"buttonId", "a"}, {"pressed", true}}}},
                   {"capturedAt", 10.5},
                   {"players", {{{"playerIndex", 1}, {"buttons", Json::array()}}}},
                   {"pointer", {{"x", -5}, {"y", 7}, {"pressed", true}}}}},
                 {"inputSampledAtEpochMs", 1.5}});
    runner.send("submitNetplayInputFrame", "nf",
                {{"input", {{"frame", 3}, {"playerIndex", 0}, {"payload", {0, 255}}}}});
    EXPECT_TRUE(runner.stays_quiet(std::chrono::milliseconds(300)));
    // A malformed input sample answers with the error event alone.
    runner.send("setInputState", "bad", {{"inputState", {{"buttons", Json::array()}}}});
    const Json error = runner.next_event();
    EXPECT_EQ(error["payload"]["message"], "missing field `capturedAt` in `payload.inputState`");
    EXPECT_TRUE(runner.stays_quiet(std::chrono::milliseconds(200)));

    for (const auto& [type, payload] : std::vector<std::pair<std::string, Json>>{
             {"startNetplayMode",
              {{"inputDelayFrames", 2},
               {"localPlayerIndex", 0},
               {"playerCount", 2},
               {"startFrame", 0}}},
             {"updateNetplayInputDelay", {{"effectiveFrame", 10}, {"inputDelayFrames", 3}}},
             {"updateNetplayServerFrame", {{"canonicalFrame", 5}, {"frame", 6}}},
             {"scheduleNetplayPause", {{"pauseAtFrame", 100}, {"sequence", 1}}},
             {"stopNetplayMode", Json::object()},
             {"setAudioMuted", {{"muted", true}}},
             {"setAudioSettings",
              {{"audioSettings",
                {{"outputDeviceId", "x"}, {"emulatorVolume", 50}, {"startMuted", false}}}}},
             {"setVideoPerformanceMode", {{"performanceMode", "quality"}}},
             {"setHardwareRenderFrameRateLimit", {{"hardwareRenderFrameRateLimit", 30}}}}) {
        SCOPED_TRACE(type);
        auto reply = command(type, "id-" + type, payload);
        ASSERT_EQ(reply.size(), 1u);
        EXPECT_EQ(reply[0]["name"], "commandSucceeded");
        EXPECT_EQ(reply[0]["payload"]["result"], nullptr);
    }
}

}  // namespace
}  // namespace lk::e2e
