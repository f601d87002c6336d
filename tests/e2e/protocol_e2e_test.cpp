// The wire protocol as the shell sees it: framing, replies, error events.

#include <gtest/gtest.h>

#include "runner_process.hpp"

namespace lk::e2e {
namespace {

const std::vector<std::string> kAllPlatforms{"dreamcast", "ds",  "gamecube", "gb",  "gba", "gbc",
                                             "genesis",   "gg",  "n64",      "nes", "ps1", "ps2",
                                             "psp",       "sms", "snes",     "wii"};

TEST(ProtocolE2e, InitializeRunnerReportsReadyOrMismatchAndAlwaysSucceeds) {
    RunnerProcess runner;
    runner.send("initializeRunner", "init-1", {{"protocolVersion", 1}});
    EXPECT_EQ(
        *runner.read_line(),
        R"({"name":"runnerReady","payload":{"protocolVersion":1,"runnerName":"lumenkite-runner","supportedPlatformIds":["dreamcast","ds","gamecube","gb","gba","gbc","genesis","gg","n64","nes","ps1","ps2","psp","sms","snes","wii"]}})");
    EXPECT_EQ(
        *runner.read_line(),
        R"({"name":"commandSucceeded","payload":{"commandName":"initializeRunner","requestId":"init-1","result":null}})");

    runner.send("initializeRunner", "init-2", {{"protocolVersion", 2}});
    EXPECT_EQ(
        *runner.read_line(),
        R"({"name":"error","payload":{"code":"RUNNER_PROTOCOL_MISMATCH","message":"The desktop shell and runner protocol versions do not match."}})");
    const Json reply = runner.next_event();
    EXPECT_EQ(reply["name"], "commandSucceeded");
    EXPECT_EQ(reply["payload"]["requestId"], "init-2");
}

TEST(ProtocolE2e, PingEchoesIssuedAtAndRequestId) {
    RunnerProcess runner;
    runner.send_line(
        R"({"type":"pingRunner","requestId":"p-7","payload":{"issuedAt":"t0","extra":1}})");
    EXPECT_EQ(*runner.read_line(),
              R"({"name":"pong","payload":{"issuedAt":"t0","requestId":"p-7"}})");
    EXPECT_EQ(
        *runner.read_line(),
        R"({"name":"commandSucceeded","payload":{"commandName":"pingRunner","requestId":"p-7","result":null}})");
}

struct MalformedCase {
    const char* line;
    const char* message_start;
};

TEST(ProtocolE2e, MalformedLinesGiveOneInvalidCommandErrorAndServingContinues) {
    const MalformedCase cases[] = {
        {"{}", "Failed to decode command: missing field `type` at line 1, column 2"},
        {R"({"type":"pingRunner","payload":{}})",
         "Failed to decode command: missing field `requestId`"},
        {R"({"type":"pingRunner","requestId":"r"})",
         "Failed to decode command: missing field `payload`"},
        {R"({"type":5,"requestId":"r","payload":{}})",
         "Failed to decode command: invalid type for `type`: expected a string, found integer"},
        {"not json", "Failed to decode command: parse error at line 1, column 2"},
        {R"({"type":"pingRunner",)", "Failed to decode command: parse error at line 1, column 22"},
        {"[1,2]", "Failed to decode command: invalid type: expected a command object, found array"},
        {"null", "Failed to decode command: invalid type: expected a command object, found null"},
    };
    RunnerProcess runner;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        runner.send_line(c.line);
        const Json event = runner.next_event();
        EXPECT_EQ(event["name"], "error");
        EXPECT_EQ(event["payload"]["code"], "RUNNER_INVALID_COMMAND");
        EXPECT_TRUE(event["payload"]["message"].get<std::string>().starts_with(c.message_start))
            << event["payload"]["message"];
    }
    // Blank lines produce nothing at all; CRLF endings are accepted.
    runner.write_raw("\n   \n\t \r\n\xC2\xA0\n");
    runner.write_raw(R"({"type":"pingRunner","requestId":"after","payload":{"issuedAt":"x"}})"
                     "\r\n");
    EXPECT_EQ(runner.next_event()["name"], "pong");
    EXPECT_EQ(runner.next_event()["payload"]["requestId"], "after");
}

TEST(ProtocolE2e, UnknownTypeIsUnsupportedThenSucceeds) {
    RunnerProcess runner;
    runner.send("Pause", "u-1", Json::object());
    EXPECT_EQ(
        *runner.read_line(),
        R"({"name":"error","payload":{"code":"RUNNER_COMMAND_UNSUPPORTED","message":"Unsupported command: Pause"}})");
    const Json reply = runner.next_event();
    EXPECT_EQ(reply["name"], "commandSucceeded");
    EXPECT_EQ(reply["payload"]["requestId"], "u-1");
    EXPECT_EQ(reply["payload"]["result"], nullptr);
}

TEST(ProtocolE2e, PayloadDecodingErrorsFailTheCommandWithTheReadersText) {
    struct Case {
        const char* type;
        Json payload;
        const char* message;
    };
    const Case cases[] = {
        {"pause", nullptr, "invalid type for `payload`: expected an object, found null"},
        {"pingRunner", Json::object(), "missing field `issuedAt` in `payload`"},
        {"pingRunner",
         {{"issuedAt", 3}},
         "invalid type for `payload.issuedAt`: expected a string, found integer"},
        {"initializeRunner",
         {{"protocolVersion", -1}},
         "invalid type for `payload.protocolVersion`: expected an unsigned integer, found negative "
         "integer"},
        {"initializeRunner",
         {{"protocolVersion", 4294967296ULL}},
         "invalid value for `payload.protocolVersion`: 4294967296 is out of range for an unsigned "
         "32-bit integer"},
        {"loadRom",
         {{"coreId", "mgba"},
          {"platformId", "gba"},
          {"gameId", "g"},
          {"title", "t"},
          {"source", {{"kind", "file"}, {"filePath", "/x"}}},
          {"audioRuntimeMode", "loud"}},
         "unknown variant `loud` for `payload.audioRuntimeMode`, expected `standard` or `netplay`"},
    };
    RunnerProcess runner;
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        const std::string id = "bad-" + std::to_string(n++);
        runner.send(c.type, id, c.payload);
        const Json error = runner.next_event();
        EXPECT_EQ(error["name"], "error");
        EXPECT_EQ(error["payload"]["code"], "RUNNER_COMMAND_FAILED");
        EXPECT_EQ(error["payload"]["message"], c.message);
        const Json failed = runner.next_event();
        EXPECT_EQ(failed["name"], "commandFailed");
        EXPECT_EQ(failed["payload"]["commandName"], c.type);
        EXPECT_EQ(failed["payload"]["message"], c.message);
        EXPECT_EQ(failed["payload"]["requestId"], id);
    }
}

TEST(ProtocolE2e, SessionlessCommandsFailOrAnswerAsTheLoopDefines) {
    RunnerProcess runner;
    runner.send("pause", "p1", Json::object());
    EXPECT_EQ(runner.next_event()["payload"]["message"], "No ROM session is active.");
    EXPECT_EQ(runner.next_event()["payload"]["message"], "No ROM session is active.");
    runner.send("pause", "p2", {{"sessionId", "whatever"}});
    runner.next_event();
    EXPECT_EQ(runner.next_event()["payload"]["message"], "No ROM session is active.");

    // Input failures answer with the error event alone.
    runner.send("setInputState", "in-1",
                {{"inputState", {{"buttons", Json::array()}, {"capturedAt", 1.0}}}});
    const Json only = runner.next_event();
    EXPECT_EQ(only["name"], "error");
    EXPECT_EQ(only["payload"]["message"], "No ROM session is active.");
    runner.send("submitNetplayInputFrame", "in-2",
                {{"input", {{"frame", 1}, {"playerIndex", 0}, {"payload", {1, 2}}}}});
    EXPECT_EQ(runner.next_event()["name"], "error");

    runner.send("getClipRecordingStatus", "clip", nullptr);
    EXPECT_EQ(
        runner.next_event()["payload"]["result"],
        Json::parse(
            R"({"encoderAvailable":false,"manualRecordingActive":false,"replayBufferActive":false,"replayLengthSeconds":30,"statusMessage":"Clip recording is not available for this session."})"));

    runner.send("getControllerMetadata", "pads", nullptr);
    const Json pads = runner.next_event();
    EXPECT_EQ(pads["name"], "commandSucceeded");
    EXPECT_EQ(pads["payload"]["requestId"], "pads");
    EXPECT_TRUE(pads["payload"]["result"]["controllers"].is_array());
    EXPECT_TRUE(pads["payload"]["result"]["providerAvailable"].is_boolean());

    runner.send("closeRom", "close", Json::object());
    EXPECT_EQ(*runner.read_line(), R"({"name":"romClosed","payload":{"sessionId":null}})");
    EXPECT_EQ(runner.next_event()["name"], "commandSucceeded");
}

TEST(ProtocolE2e, HugeLinesAreRejectedWithoutStoppingTheRunner) {
    RunnerProcess runner;
    // A 6 MB unknown command and a 6 MB malformed line.
    const std::string big(6 * 1024 * 1024, 'a');
    runner.send("noSuchCommand", "big", {{"blob", big}});
    EXPECT_EQ(runner.next_event()["payload"]["code"], "RUNNER_COMMAND_UNSUPPORTED");
    EXPECT_EQ(runner.next_event()["payload"]["requestId"], "big");
    runner.send_line("{\"type\":\"" + big);
    EXPECT_EQ(runner.next_event()["payload"]["code"], "RUNNER_INVALID_COMMAND");
    // Deep nesting is data, not a crash.
    runner.send_line(std::string(100000, '[') + std::string(100000, ']'));
    EXPECT_EQ(runner.next_event()["payload"]["code"], "RUNNER_INVALID_COMMAND");
    runner.send("pingRunner", "alive", {{"issuedAt", "now"}});
    EXPECT_EQ(runner.next_event()["name"], "pong");
}

}  // namespace
}  // namespace lk::e2e
