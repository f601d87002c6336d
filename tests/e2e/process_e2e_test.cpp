// Process-level behaviour: exit statuses, standard streams, diagnostics switches.

#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "runner_process.hpp"

namespace lk::e2e {
namespace {

Json load_payload(const std::string& rom) {
    return {{"coreId", "mgba"},
            {"platformId", "gba"},
            {"gameId", "g"},
            {"title", "t"},
            {"source", {{"kind", "file"}, {"filePath", rom}}}};
}

TEST(ProcessE2e, EndOfInputWithAnActiveSessionExitsZeroSilently) {
    TempDir dir;
    write_file(dir.file("g.gba"), "rom");
    RunnerProcess runner;
    runner.send("loadRom", "l", load_payload(dir.file("g.gba")));
    runner.events_until_reply("l");
    runner.close_stdin();
    EXPECT_EQ(runner.wait_for_exit(), 0);
    EXPECT_FALSE(runner.read_line(std::chrono::milliseconds(100)).has_value());
    EXPECT_EQ(runner.stderr_text(), "");
}

TEST(ProcessE2e, LastLineWithoutNewlineIsStillHandled) {
    RunnerProcess runner;
    runner.write_raw(R"({"type":"pingRunner","requestId":"last","payload":{"issuedAt":"x"}})");
    runner.close_stdin();
    EXPECT_EQ(runner.next_event()["name"], "pong");
    EXPECT_EQ(runner.wait_for_exit(), 0);
}

TEST(ProcessE2e, InvalidUtf8EndsTheProcessWithStatusOne) {
    RunnerProcess runner;
    runner.send("pingRunner", "ok", {{"issuedAt", "x"}});
    runner.events_until_reply("ok");
    runner.write_raw("{\"type\":\"pingRunner\",\"requestId\":\"\xff\",\"payload\":{}}\n");
    EXPECT_EQ(runner.wait_for_exit(), 1);
    EXPECT_NE(runner.stderr_text().find("[lumenkite-runner] Failed to read standard input: "
                                        "stream did not contain valid UTF-8"),
              std::string::npos);
    EXPECT_FALSE(runner.read_line(std::chrono::milliseconds(100)).has_value());
}

TEST(ProcessE2e, ClosedStandardOutputEndsTheProcessWithStatusOne) {
    RunnerProcess runner;
    runner.send("pingRunner", "ok", {{"issuedAt", "x"}});
    runner.events_until_reply("ok");
    // The shell goes away without closing our input: the next write fails.
    ASSERT_EQ(::kill(runner.pid(), 0), 0);
    runner.close_stdout_for_test();
    runner.send("pingRunner", "gone", {{"issuedAt", "x"}});
    EXPECT_EQ(runner.wait_for_exit(), 1);
    EXPECT_NE(runner.stderr_text().find("[lumenkite-runner] Failed to write to standard output: "
                                        "Broken pipe (os error 32)"),
              std::string::npos);
}

TEST(ProcessE2e, DebugLogsFollowTheirSwitchAndStayOffStdout) {
    TempDir dir;
    write_file(dir.file("g.gba"), "rom");
    for (const auto& [value, on] : std::vector<std::pair<std::string, bool>>{
             {"1", true}, {"YES", true}, {"on", false}, {"Yes", false}, {"", false}}) {
        SCOPED_TRACE(value);
        RunnerProcess runner(
            {{"LUMENKITE_RUNNER_DEBUG_LOGS", value}, {"LUMENKITE_INPUT_TRACE", "on"}});
        runner.send("loadRom", "l", load_payload(dir.file("g.gba")));
        runner.events_until_reply("l");
        runner.send("saveState", "s",
                    {{"slotId", "slot-9"},
                     {"stateFilePath", dir.file("s.state")},
                     {"previewFilePath", dir.file("s.png")}});
        auto saved = runner.events_until_reply("s");
        EXPECT_EQ(saved.front()["name"], "saveStateWritten");
        runner.send("loadState", "bad",
                    {{"slotId", "slot-9"}, {"stateFilePath", dir.file("none")}});
        runner.events_until_reply("bad");
        runner.close_stdin();
        EXPECT_EQ(runner.wait_for_exit(), 0);
        const std::string log = runner.stderr_text();
        if (on) {
            EXPECT_NE(
                log.find("[lumenkite-runner] saveState requested core=mgba platform=gba game=g "
                         "slot=slot-9 session=l\n"),
                std::string::npos)
                << log;
            EXPECT_NE(log.find("[lumenkite-runner] saveState completed slot=slot-9 elapsedMs="),
                      std::string::npos);
            EXPECT_NE(log.find("[lumenkite-runner] loadState failed slot=slot-9 elapsedMs="),
                      std::string::npos);
            EXPECT_NE(log.find(" error=No such file or directory (os error 2)\n"),
                      std::string::npos);
            EXPECT_EQ(log.find("preview screenshot"), std::string::npos);
        } else {
            EXPECT_EQ(log, "");
        }
    }
}

}  // namespace
}  // namespace lk::e2e
