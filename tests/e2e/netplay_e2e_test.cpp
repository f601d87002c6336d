// Rollback netplay through the real binary: two runners, each with its own
// local player, and this test in the shell's place relaying every local input
// event of one runner to the other as a submitNetplayInputFrame command and
// announcing the server frame. Inputs can be held back to force rollbacks and
// stalls; both runners must report identical state hashes for the same frames.

#include <chrono>
#include <cstring>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include <gtest/gtest.h>

#include "fixture_core_bundle.hpp"
#include "runner_process.hpp"

namespace lk::e2e {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono;
using Clock = steady_clock;

Json load_payload(const std::string& core, const std::string& platform, const std::string& rom) {
    return {{"coreId", core},
            {"platformId", platform},
            {"gameId", "game"},
            {"title", "Game"},
            {"startPaused", true},
            {"source", {{"kind", "file"}, {"filePath", rom}}}};
}

Json input_with(const std::string& button, bool pressed) {
    return {{"inputState",
             {{"buttons", {{{"buttonId", button}, {"pressed", pressed}}}}, {"capturedAt", 0}}}};
}

struct Relayed {
    Clock::time_point deliver_at;
    Json input;
};

struct Peer {
    explicit Peer(std::map<std::string, std::string> environment)
        : runner(std::move(environment)) {}
    RunnerProcess runner;
    std::map<std::uint64_t, std::string> hashes;  // frame -> sha256
    std::deque<Relayed> outbox;                   // this runner's inputs on their way
    std::uint64_t highest_input_frame = 0;
    bool any_input = false;
    int stalled = 0;
    int resumed = 0;
    std::optional<Json> pause_reached;
    std::map<std::string, Json> replies;
    std::vector<std::string> errors;  // messages of error events
};

// The shell and its server in one: relays inputs with a configurable delay.
class NetplayRelay {
  public:
    NetplayRelay(const std::string& bundle_dir, const std::string& journal_prefix) {
        for (int i = 0; i < 2; ++i) {
            std::map<std::string, std::string> environment = {
                {"LUMENKITE_USE_LIBRETRO_CORES", "1"},
                {"LUMENKITE_CORE_BUNDLE_DIR", bundle_dir},
                {"LUMENKITE_AUDIO_SINK", "null"},
                {"LUMENKITE_VIDEO_SINK", "null"}};
            if (!journal_prefix.empty()) {
                environment["LK_TEST_CORE_JOURNAL_FILE"] = journal_prefix + std::to_string(i);
            }
            peers_.push_back(std::make_unique<Peer>(environment));
        }
    }

    Peer& peer(int i) { return *peers_[static_cast<std::size_t>(i)]; }

    // Sends a command and relays traffic until its reply arrives.
    Json command(int i, const std::string& type, const Json& payload) {
        const std::string id = type + "-" + std::to_string(++request_counter_);
        peer(i).runner.send(type, id, payload);
        const auto deadline = Clock::now() + seconds(20);
        while (Clock::now() < deadline) {
            pump();
            if (auto it = peer(i).replies.find(id); it != peer(i).replies.end()) {
                return it->second;
            }
        }
        ADD_FAILURE() << "no reply to " << type;
        return Json();
    }

    // Relays until `done` holds or the time runs out; false on time-out.
    template <class Done>
    bool run_until(Done done, milliseconds limit) {
        const auto deadline = Clock::now() + limit;
        while (Clock::now() < deadline) {
            pump();
            if (done()) {
                return true;
            }
        }
        return false;
    }

    // One round: read both runners, change the players' input now and then,
    // deliver what is due, announce the server frame.
    void pump() {
        const auto now = Clock::now();
        for (int i = 0; i < 2; ++i) {
            while (auto line = peer(i).runner.read_line(milliseconds(2))) {
                handle(i, Json::parse(*line), now);
            }
        }
        if (send_inputs && now - last_input_change_ >= milliseconds(37)) {
            last_input_change_ = now;
            ++input_step_;
            // Player 1 presses A on odd steps, player 2 presses B every third step.
            peer(0).runner.send("setInputState", "in", input_with("a", input_step_ % 2 == 1));
            peer(1).runner.send("setInputState", "in", input_with("b", input_step_ % 3 == 0));
        }
        for (int from = 0; from < 2; ++from) {
            auto& outbox = peer(from).outbox;
            while (!outbox.empty() && outbox.front().deliver_at <= now &&
                   !(hold_player_ && *hold_player_ == from)) {
                const Json& input = outbox.front().input;
                const auto frame = input["frame"].get<std::uint64_t>();
                // The server has this player's input now.
                peer(from).highest_input_frame = std::max(peer(from).highest_input_frame, frame);
                peer(from).any_input = true;
                peer(1 - from).runner.send("submitNetplayInputFrame", "relay",
                                           Json{{"input", input}});
                outbox.pop_front();
            }
        }
        if (peer(0).any_input && peer(1).any_input && now - last_server_update_ > milliseconds(20)) {
            last_server_update_ = now;
            const std::uint64_t server =
                std::min(peer(0).highest_input_frame, peer(1).highest_input_frame);
            if (server != last_server_frame_) {
                last_server_frame_ = server;
                for (int i = 0; i < 2; ++i) {
                    peer(i).runner.send("updateNetplayServerFrame", "server",
                                        Json{{"canonicalFrame", server}, {"frame", server}});
                }
            }
        }
    }

    milliseconds latency{0};
    bool send_inputs = false;  // once both sessions exist
    std::optional<int> hold_player_;

  private:
    void handle(int i, const Json& event, Clock::time_point now) {
        const std::string name = event["name"].get<std::string>();
        const Json& payload = event["payload"];
        if (name == "netplayLocalInputFrame") {
            EXPECT_EQ(payload["input"]["playerIndex"].get<int>(), i);
            peer(i).outbox.push_back({now + latency, payload["input"]});
        } else if (name == "netplayStateHash") {
            const auto frame = payload["frame"].get<std::uint64_t>();
            EXPECT_EQ(peer(i).hashes.count(frame), 0u) << "hashed twice: " << frame;
            peer(i).hashes[frame] = payload["sha256"].get<std::string>();
        } else if (name == "netplayStalled") {
            ++peer(i).stalled;
        } else if (name == "netplayResumed") {
            ++peer(i).resumed;
        } else if (name == "netplaySessionPauseReached") {
            peer(i).pause_reached = payload;
        } else if (name == "commandSucceeded" || name == "commandFailed") {
            const std::string id = payload["requestId"].get<std::string>();
            if (id != "server") {
                peer(i).replies[id] = event;
            }
        } else if (name == "error") {
            peer(i).errors.push_back(payload["message"].get<std::string>());
        }
    }

    std::vector<std::unique_ptr<Peer>> peers_;
    int request_counter_ = 0;
    int input_step_ = 0;
    Clock::time_point last_input_change_{};
    Clock::time_point last_server_update_{};
    std::uint64_t last_server_frame_ = UINT64_MAX;
};

Json start_payload(int local_player) {
    return {{"inputDelayFrames", 2},
            {"localPlayerIndex", local_player},
            {"playerCount", 2},
            {"startFrame", 0}};
}

std::size_t count_lines_containing(const std::string& path, const std::string& text) {
    std::ifstream in(path);
    std::size_t count = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.find(text) != std::string::npos) {
            ++count;
        }
    }
    return count;
}

bool both_hashed(NetplayRelay& relay, std::uint64_t frame) {
    return relay.peer(0).hashes.contains(frame) && relay.peer(1).hashes.contains(frame);
}

class NetplayE2e : public ::testing::Test {
  protected:
    std::string install_fixture(const std::string& as_core) {
        fs::copy_file(fs::path(LK_TEST_CORE_DIR) / "lk_test_core_libretro.so",
                      fs::path(dir.path()) / (as_core + "_libretro.so"),
                      fs::copy_options::overwrite_existing);
        return dir.path();
    }
    TempDir dir;
};

TEST_F(NetplayE2e, TwoRunnersAgreeThroughRollbacksStallsAndAScheduledPause) {
    const std::string bundle = install_fixture("genesis_plus_gx");
    write_file(dir.file("game.bin"), "fps=240\naudio=none\n");
    NetplayRelay relay(bundle, dir.file("journal-"));
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(relay.command(i, "loadRom",
                                load_payload("genesis-plus-gx", "genesis", dir.file("game.bin")))
                      ["name"],
                  "commandSucceeded");
        // Before netplay starts there is nothing to pause at.
        const Json refused = relay.command(i, "scheduleNetplayPause",
                                           Json{{"pauseAtFrame", 5}, {"sequence", 1}});
        ASSERT_EQ(refused["name"], "commandFailed");
        EXPECT_EQ(refused["payload"]["message"], "Netplay mode is not active.");
    }
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(relay.command(i, "startNetplayMode", start_payload(i))["name"],
                  "commandSucceeded");
    }
    relay.send_inputs = true;

    // Prompt relaying first, then 60 ms on the way: frames run on predictions
    // and are rolled back when the real input differs.
    ASSERT_TRUE(relay.run_until([&] { return both_hashed(relay, 0); }, seconds(10)));
    relay.latency = milliseconds(60);
    ASSERT_TRUE(relay.run_until([&] { return both_hashed(relay, 600); }, seconds(60)));

    // Player 2's inputs stop reaching anyone: the server frame stops, both
    // runners run 60 frames ahead of it and stall, then resume.
    // (A loaded machine may have stalled a runner briefly already: count from here.)
    const int stalled_before[] = {relay.peer(0).stalled, relay.peer(1).stalled};
    const int resumed_before[] = {relay.peer(0).resumed, relay.peer(1).resumed};
    relay.hold_player_ = 1;
    ASSERT_TRUE(relay.run_until(
        [&] {
            return relay.peer(0).stalled > stalled_before[0] &&
                   relay.peer(1).stalled > stalled_before[1];
        },
        seconds(30)));
    const int resumed_while_held[] = {relay.peer(0).resumed, relay.peer(1).resumed};
    relay.run_until([] { return false; }, milliseconds(300));
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(relay.peer(i).resumed, resumed_while_held[i]) << i;
        EXPECT_EQ(relay.peer(i).stalled, relay.peer(i).resumed + 1) << i;  // one event each
    }
    relay.hold_player_.reset();
    ASSERT_TRUE(relay.run_until(
        [&] {
            return relay.peer(0).resumed > resumed_before[0] &&
                   relay.peer(1).resumed > resumed_before[1] &&
                   relay.peer(0).stalled == relay.peer(0).resumed &&
                   relay.peer(1).stalled == relay.peer(1).resumed;
        },
        seconds(30)));

    ASSERT_TRUE(relay.run_until([&] { return both_hashed(relay, 1200); }, seconds(60)));
    EXPECT_EQ(relay.peer(0).hashes, relay.peer(1).hashes);
    EXPECT_EQ(relay.peer(0).hashes.size(), 3u);

    // Rollbacks happened on both sides (the fixture journals every unserialize).
    for (int i = 0; i < 2; ++i) {
        EXPECT_GT(count_lines_containing(dir.file("journal-" + std::to_string(i)), "unserialize"),
                  0u)
            << i;
    }

    // A pause scheduled on both runners is reached at the same frame; the
    // states both keep for a frame before it are byte for byte the same.
    std::uint64_t pause_at = 0;
    relay.run_until([] { return false; }, milliseconds(50));
    for (int i = 0; i < 2; ++i) {
        pause_at = std::max(pause_at, relay.peer(i).highest_input_frame + 120);
    }
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(relay.command(i, "scheduleNetplayPause",
                                Json{{"pauseAtFrame", pause_at}, {"sequence", 7}})["name"],
                  "commandSucceeded");
    }
    ASSERT_TRUE(relay.run_until(
        [&] { return relay.peer(0).pause_reached && relay.peer(1).pause_reached; }, seconds(30)));
    const char* session_ids[] = {"loadRom-1", "loadRom-3"};
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(relay.peer(i).pause_reached->dump(),
                  Json({{"pausedAtFrame", pause_at}, {"sequence", 7}, {"sessionId", session_ids[i]}})
                      .dump());
    }
    const std::uint64_t saved_frame = pause_at - 50;
    for (int i = 0; i < 2; ++i) {
        const Json saved = relay.command(
            i, "saveNetplayStateFrame",
            Json{{"frame", saved_frame}, {"stateFilePath", dir.file("np" + std::to_string(i))}});
        ASSERT_EQ(saved["name"], "commandSucceeded") << saved.dump();
        const Json old = relay.command(
            i, "saveNetplayStateFrame",
            Json{{"frame", 10}, {"stateFilePath", dir.file("old" + std::to_string(i))}});
        ASSERT_EQ(old["name"], "commandFailed");
        EXPECT_EQ(old["payload"]["message"], "Netplay state for frame 10 is no longer retained.");
    }
    const std::string state0 = read_file(dir.file("np0"));
    EXPECT_EQ(state0.size(), 64u);
    EXPECT_EQ(state0, read_file(dir.file("np1")));
    std::uint64_t core_frame = 0;
    std::memcpy(&core_frame, state0.data() + 8, 8);
    EXPECT_EQ(core_frame, saved_frame);  // the state saved before frame n has run n frames

    // A malformed input is rejected on standard error, without a reply.
    relay.peer(0).runner.send(
        "submitNetplayInputFrame", "bad",
        Json{{"input", {{"frame", pause_at}, {"playerIndex", 1}, {"payload", Json::array({1, 2, 3, 4, 5, 6, 7, 8, 9})}}}});
    ASSERT_EQ(relay.command(0, "stopNetplayMode", Json::object())["name"], "commandSucceeded");
    EXPECT_EQ(relay.peer(0).replies.count("bad"), 0u);
    EXPECT_NE(relay.peer(0).runner.stderr_text().find(
                  "[lumenkite-runner] Netplay input frame rejected: Netplay input payload must "
                  "be 10 bytes.\n"),
              std::string::npos);
    // The two refusals above were the only failures.
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(relay.peer(i).errors,
                  (std::vector<std::string>{"Netplay mode is not active.",
                                            "Netplay state for frame 10 is no longer retained."}));
    }
}

// The Debian mgba core playing our ROM, which draws whether A is held on
// port 0: runner 2 mispredicts player 1's presses, rolls back, and must still
// reach the same state as runner 1.
TEST_F(NetplayE2e, MgbaPlayingOurRomStaysInStepUnderLatency) {
    if (!fs::exists(fs::path(real_cores_dir()) / "mgba_libretro.so")) {
        FAIL() << "mgba_libretro.so is missing from " << real_cores_dir()
               << "; run scripts/fetch-test-cores.sh " << real_cores_dir();
    }
    NetplayRelay relay(real_cores_dir(), "");
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(
            relay.command(i, "loadRom", load_payload("mgba", "gba", LK_TEST_ROM_PATH))["name"],
            "commandSucceeded");
    }
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(relay.command(i, "startNetplayMode", start_payload(i))["name"],
                  "commandSucceeded");
    }
    relay.send_inputs = true;
    relay.latency = milliseconds(80);
    ASSERT_TRUE(relay.run_until([&] { return both_hashed(relay, 600); }, seconds(150)));
    EXPECT_EQ(relay.peer(0).hashes.at(0), relay.peer(1).hashes.at(0));
    EXPECT_EQ(relay.peer(0).hashes.at(600), relay.peer(1).hashes.at(600));

    std::uint64_t pause_at = 0;
    for (int i = 0; i < 2; ++i) {
        pause_at = std::max(pause_at, relay.peer(i).highest_input_frame + 60);
    }
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(relay.command(i, "scheduleNetplayPause",
                                Json{{"pauseAtFrame", pause_at}, {"sequence", 1}})["name"],
                  "commandSucceeded");
    }
    ASSERT_TRUE(relay.run_until(
        [&] { return relay.peer(0).pause_reached && relay.peer(1).pause_reached; }, seconds(30)));
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(relay.command(i, "saveNetplayStateFrame",
                                Json{{"frame", pause_at - 45},
                                     {"stateFilePath", dir.file("mgba" + std::to_string(i))}})
                      ["name"],
                  "commandSucceeded");
    }
    EXPECT_TRUE(relay.peer(0).errors.empty());
    EXPECT_TRUE(relay.peer(1).errors.empty());
    const std::string state = read_file(dir.file("mgba0"));
    EXPECT_GT(state.size(), 100000u);
    EXPECT_TRUE(state == read_file(dir.file("mgba1")));
}

TEST_F(NetplayE2e, ACoreWithUnsafeSaveStatesCannotStartNetplay) {
    const std::string bundle = install_fixture("genesis_plus_gx");
    write_file(dir.file("quirky.bin"), "quirks=0x13\n");
    RunnerProcess runner({{"LUMENKITE_USE_LIBRETRO_CORES", "1"},
                          {"LUMENKITE_CORE_BUNDLE_DIR", bundle},
                          {"LUMENKITE_AUDIO_SINK", "null"},
                          {"LUMENKITE_VIDEO_SINK", "null"}});
    runner.send("loadRom", "l", load_payload("genesis-plus-gx", "genesis", dir.file("quirky.bin")));
    ASSERT_EQ(runner.events_until_reply("l").back()["name"], "commandSucceeded");
    runner.send("startNetplayMode", "s", start_payload(0));
    const auto events = runner.events_until_reply("s");
    ASSERT_EQ(events.back()["name"], "commandFailed");
    EXPECT_EQ(events.back()["payload"]["message"],
              "This core reports save-state serialization flags that are not safe for netplay: "
              "0x13.");
}

}  // namespace
}  // namespace lk::e2e
