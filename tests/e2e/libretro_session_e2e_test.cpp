// Real games through the runner: the Debian mgba core playing our own GBA ROM,
// and our fixture core for what mgba cannot show on demand.

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "command_payloads.hpp"
#include "fixture_core_bundle.hpp"
#include "frame_image.hpp"
#include "runner_process.hpp"

namespace lk::e2e {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono;

struct Frame {
    std::uint64_t index = 0;
    FrameImage image;
    steady_clock::time_point received;
};

// A runner with libretro cores and a bundle directory, driving one session.
class LibretroSession {
  public:
    explicit LibretroSession(const std::string& bundle_dir,
                             std::map<std::string, std::string> extra = {})
        : runner_(environment(bundle_dir, std::move(extra))) {}

    static std::map<std::string, std::string> environment(
        const std::string& bundle_dir, std::map<std::string, std::string> extra) {
        extra.emplace("LUMENKITE_USE_LIBRETRO_CORES", "1");
        extra.emplace("LUMENKITE_CORE_BUNDLE_DIR", bundle_dir);
        extra.emplace("LUMENKITE_AUDIO_SINK", "null");
        return extra;
    }

    // Sends a command and returns its reply, keeping frames seen meanwhile.
    Json command(const std::string& type, const std::string& id, const Json& payload,
                 std::vector<Json>* events = nullptr) {
        runner_.send(type, id, payload);
        for (;;) {
            Json event = runner_.next_event(seconds(20));
            if (event.is_null()) {
                return event;
            }
            if (event["name"] == "frameReady") {
                keep_frame(event);
                continue;
            }
            if (events != nullptr) {
                events->push_back(event);
            }
            if (is_reply_to(event, id)) {
                return event;
            }
        }
    }

    // The next frameReady event.
    std::optional<Frame> next_frame(milliseconds timeout = seconds(10)) {
        if (!pending_.empty()) {
            Frame frame = std::move(pending_.front());
            pending_.erase(pending_.begin());
            return frame;
        }
        const auto deadline = steady_clock::now() + timeout;
        while (steady_clock::now() < deadline) {
            auto line =
                runner_.read_line(duration_cast<milliseconds>(deadline - steady_clock::now()));
            if (!line) {
                break;
            }
            Json event = Json::parse(*line);
            if (event["name"] == "frameReady") {
                return to_frame(event);
            }
            ADD_FAILURE() << "unexpected event " << *line;
        }
        return std::nullopt;
    }

    void discard_frames(milliseconds for_how_long) {
        pending_.clear();
        const auto until = steady_clock::now() + for_how_long;
        while (steady_clock::now() < until) {
            if (!runner_.read_line(duration_cast<milliseconds>(until - steady_clock::now()))) {
                break;
            }
        }
    }

    RunnerProcess& runner() { return runner_; }

  private:
    Frame to_frame(const Json& event) {
        const Json& p = event["payload"];
        EXPECT_EQ(p["transport"], "png-data-url");
        auto image = decode_data_url(p["dataUrl"].get<std::string>());
        EXPECT_TRUE(image.has_value());
        Frame frame{p["frameIndex"].get<std::uint64_t>(), image.value_or(FrameImage{}),
                    steady_clock::now()};
        EXPECT_EQ(p["width"].get<std::uint32_t>(), frame.image.width);
        EXPECT_EQ(p["height"].get<std::uint32_t>(), frame.image.height);
        last_pixel_format = p["pixelFormat"].get<std::string>();
        last_session_id = p["sessionId"].get<std::string>();
        return frame;
    }
    void keep_frame(const Json& event) { pending_.push_back(to_frame(event)); }

    RunnerProcess runner_;
    std::vector<Frame> pending_;

  public:
    std::string last_pixel_format;
    std::string last_session_id;
};

class MgbaE2e : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!fs::exists(fs::path(real_cores_dir()) / "mgba_libretro.so")) {
            FAIL() << "mgba_libretro.so is missing from " << real_cores_dir()
                   << "; run scripts/fetch-test-cores.sh " << real_cores_dir();
        }
    }
    std::string rom = LK_TEST_ROM_PATH;
};

TEST_F(MgbaE2e, PlaysOurRomAndReactsToTheAButton) {
    LibretroSession session(real_cores_dir());
    std::vector<Json> events;
    const Json reply =
        session.command("loadRom", "mgba-1", load_payload("mgba", "gba", rom), &events);
    ASSERT_EQ(reply["name"], "commandSucceeded") << reply.dump() << session.runner().stderr_text();
    ASSERT_EQ(events.size(), 2u);  // romLoaded, then the reply
    EXPECT_EQ(events[0]["name"], "romLoaded");
    EXPECT_EQ(events[0]["payload"]["romSizeBytes"].get<std::uint64_t>(), fs::file_size(rom));

    // The ROM draws its counter from its first frame on; the core may show a
    // blank first frame or two while it boots.
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(session.next_frame());
    }
    std::uint64_t last_index = 0;
    std::uint32_t last_counter = 0;
    for (int i = 0; i < 20; ++i) {
        auto frame = session.next_frame();
        ASSERT_TRUE(frame);
        EXPECT_EQ(frame->image.width, 240u);
        EXPECT_EQ(frame->image.height, 160u);
        if (i > 0) {
            EXPECT_GT(frame->index, last_index);
            EXPECT_GT(gba_rom_frame_counter(frame->image), last_counter);
        }
        EXPECT_FALSE(gba_rom_shows_a_pressed(frame->image));
        last_index = frame->index;
        last_counter = gba_rom_frame_counter(frame->image);
    }
    EXPECT_EQ(session.last_pixel_format, "rgb565");
    EXPECT_EQ(session.last_session_id, "mgba-1");

    session.runner().send("setInputState", "press", input_with(true));
    int frames_until_green = 0;
    for (; frames_until_green < 10; ++frames_until_green) {
        auto frame = session.next_frame();
        ASSERT_TRUE(frame);
        if (gba_rom_shows_a_pressed(frame->image)) {
            break;
        }
    }
    EXPECT_LT(frames_until_green, 10) << "A never showed";
#ifndef LK_SANITIZED_BUILD
    EXPECT_LT(frames_until_green, 4) << "A took too many frames to show";
#endif
    session.runner().send("setInputState", "release", input_with(false));
    bool released = false;
    for (int i = 0; i < 10 && !released; ++i) {
        auto frame = session.next_frame();
        ASSERT_TRUE(frame);
        released = !gba_rom_shows_a_pressed(frame->image);
    }
    EXPECT_TRUE(released);
}

TEST_F(MgbaE2e, PauseStopsFramesAndSpeedTwoDoublesTheRate) {
    LibretroSession session(real_cores_dir());
    ASSERT_EQ(session.command("loadRom", "l", load_payload("mgba", "gba", rom))["name"],
              "commandSucceeded");
    ASSERT_TRUE(session.next_frame());

    // The emulated rate, read from the ROM's own frame counter over one second.
    const auto emulated_rate = [&] {
        auto first = session.next_frame();
        session.discard_frames(milliseconds(1000));
        auto last = session.next_frame();
        EXPECT_TRUE(first && last);
        if (!first || !last) {
            return 0.0;
        }
        const double seconds_between = duration<double>(last->received - first->received).count();
        return (gba_rom_frame_counter(last->image) - gba_rom_frame_counter(first->image)) /
               seconds_between;
    };
    const double normal = emulated_rate();
    EXPECT_NEAR(normal, 59.73, 6.0);

    ASSERT_EQ(session.command("setPlaybackSpeed", "fast", {{"playbackSpeedRatio", 2.0}})["name"],
              "commandSucceeded");
    const double fast = emulated_rate();
    EXPECT_NEAR(fast / normal, 2.0, 0.25) << normal << " fps, then " << fast;

    ASSERT_EQ(session.command("pause", "p", Json::object())["name"], "commandSucceeded");
    session.discard_frames(milliseconds(200));  // frames already encoded may still arrive
    EXPECT_FALSE(session.next_frame(milliseconds(500))) << "frames while paused";
    ASSERT_EQ(session.command("resume", "r", Json::object())["name"], "commandSucceeded");
    EXPECT_TRUE(session.next_frame(seconds(2)));
}

TEST_F(MgbaE2e, LoadStateRestoresThePictureAndCounter) {
    TempDir dir;
    LibretroSession session(real_cores_dir());
    ASSERT_EQ(session.command("loadRom", "l", load_payload("mgba", "gba", rom))["name"],
              "commandSucceeded");
    for (int i = 0; i < 30; ++i) {
        ASSERT_TRUE(session.next_frame());
    }
    ASSERT_EQ(session.command("pause", "p1", Json::object())["name"], "commandSucceeded");
    session.discard_frames(milliseconds(200));
    const Json saved = session.command("saveState", "save",
                                       {{"slotId", "1"},
                                        {"stateFilePath", dir.file("s/1.state")},
                                        {"previewFilePath", dir.file("s/1.png")}});
    ASSERT_EQ(saved["name"], "commandSucceeded") << saved.dump();
    EXPECT_GT(fs::file_size(dir.file("s/1.state")), 1000u);
    auto preview = decode_png(read_file(dir.file("s/1.png")));
    ASSERT_TRUE(preview);
    EXPECT_EQ(preview->width, 240u);

    ASSERT_EQ(session.command("resume", "r1", Json::object())["name"], "commandSucceeded");
    auto after_save = session.next_frame();
    ASSERT_TRUE(after_save);
    EXPECT_EQ(gba_rom_frame_counter(after_save->image), gba_rom_frame_counter(*preview) + 1);
    for (int i = 0; i < 40; ++i) {
        ASSERT_TRUE(session.next_frame());
    }
    ASSERT_EQ(session.command("pause", "p2", Json::object())["name"], "commandSucceeded");
    session.discard_frames(milliseconds(200));
    ASSERT_EQ(session.command("loadState", "load",
                              {{"slotId", "1"}, {"stateFilePath", dir.file("s/1.state")}})["name"],
              "commandSucceeded");
    ASSERT_EQ(session.command("resume", "r2", Json::object())["name"], "commandSucceeded");
    auto after_load = session.next_frame();
    ASSERT_TRUE(after_load);
    EXPECT_EQ(after_load->image, after_save->image);

    // A screenshot is the picture of the newest frame.
    ASSERT_EQ(session.command("captureScreenshot", "shot",
                              {{"screenshotFilePath", dir.file("shot.png")}})["name"],
              "commandSucceeded");
    auto shot = decode_png(read_file(dir.file("shot.png")));
    ASSERT_TRUE(shot);
    EXPECT_EQ(shot->width, 240u);
    EXPECT_GE(gba_rom_frame_counter(*shot), gba_rom_frame_counter(after_load->image));
}

TEST_F(MgbaE2e, StateFailuresAndBadSettingsKeepTheSessionUsable) {
    TempDir dir;
    write_file(dir.file("empty.state"), "");
    write_file(dir.file("garbage.state"), std::string(4096, 'g'));
    write_file(dir.file("plain"), "x");
    LibretroSession session(real_cores_dir());
    ASSERT_EQ(session.command("loadRom", "l", load_payload("mgba", "gba", rom))["name"],
              "commandSucceeded");
    const std::pair<std::string, Json> failures[] = {
        {"save state payload is empty",
         {{"slotId", "1"}, {"stateFilePath", dir.file("empty.state")}}},
        {"core rejected save state payload",
         {{"slotId", "1"}, {"stateFilePath", dir.file("garbage.state")}}},
        {"No such file or directory (os error 2)",
         {{"slotId", "1"}, {"stateFilePath", dir.file("none.state")}}},
    };
    for (const auto& [message, payload] : failures) {
        const Json reply = session.command("loadState", "bad-load", payload);
        EXPECT_EQ(reply["name"], "commandFailed");
        EXPECT_EQ(reply["payload"]["message"], message);
    }
    const Json unwritable = session.command("saveState", "bad-save",
                                            {{"slotId", "1"},
                                             {"stateFilePath", dir.file("plain/1.state")},
                                             {"previewFilePath", dir.file("p.png")}});
    EXPECT_EQ(unwritable["payload"]["message"], "Not a directory (os error 20)");
    const Json mode =
        session.command("setVideoPerformanceMode", "mode", {{"performanceMode", "Quality"}});
    EXPECT_EQ(mode["payload"]["message"], "Unsupported video performance mode: Quality");
    // Out-of-range speeds are clamped, not refused.
    for (const double speed : {0.0, 7.5, -1.0}) {
        EXPECT_EQ(
            session.command("setPlaybackSpeed", "speed", {{"playbackSpeedRatio", speed}})["name"],
            "commandSucceeded");
    }
    // Still playing.
    session.discard_frames(milliseconds(100));
    EXPECT_TRUE(session.next_frame(seconds(2)));
}

TEST_F(MgbaE2e, CloseRomAndReloadAndEndOfInput) {
    LibretroSession session(real_cores_dir());
    ASSERT_EQ(session.command("loadRom", "first", load_payload("mgba", "gba", rom))["name"],
              "commandSucceeded");
    ASSERT_TRUE(session.next_frame());
    std::vector<Json> events;
    ASSERT_EQ(
        session.command("loadRom", "second", load_payload("mgba", "gba", rom), &events)["name"],
        "commandSucceeded");
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[0].dump(), R"({"name":"romClosed","payload":{"sessionId":"first"}})");
    EXPECT_EQ(events[1]["payload"]["session"]["sessionId"], "second");
    session.discard_frames(milliseconds(300));
    auto frame = session.next_frame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(session.last_session_id, "second");

    ASSERT_EQ(session.command("closeRom", "close", Json::object())["name"], "commandSucceeded");
    session.discard_frames(milliseconds(200));
    EXPECT_FALSE(session.next_frame(milliseconds(400)));

    ASSERT_EQ(session.command("loadRom", "third", load_payload("mgba", "gba", rom))["name"],
              "commandSucceeded");
    ASSERT_TRUE(session.next_frame());
    const auto closed_at = steady_clock::now();
    session.runner().close_stdin();
    EXPECT_EQ(session.runner().wait_for_exit(seconds(5)), 0);
    EXPECT_LT(steady_clock::now() - closed_at, seconds(3));
}

// Our fixture core, installed into a bundle directory under a table core id.
class FixtureCoreE2e : public ::testing::Test, protected FixtureCoreBundle {};

TEST_F(FixtureCoreE2e, LoadFailuresCarryTheirMessages) {
    install("lk_api_v2_libretro.so", "snes9x");
    install("lk_missing_symbol_libretro.so", "fceumm");
    install("lk_test_core_libretro.so", "genesis_plus_gx");
    write_file(dir.file("desmume_libretro.so"), "not a shared library");
    fs::create_directories(dir.file("romdir"));
    LibretroSession session(dir.path());
    struct Case {
        Json payload;
        std::string message_start;
    };
    const std::string game = rom("game.bin", "");
    const Case cases[] = {
        {load_payload("snes9x", "snes", game),
         "Libretro API mismatch: expected 1, core reported 2."},
        {load_payload("fceumm", "nes", game), "missing symbol retro_get_memory_size"},
        {load_payload("desmume", "ds", game), ""},
        {load_payload("genesis-plus-gx", "genesis", rom("reject.bin", "reject=1\n")),
         "core rejected ROM " + dir.file("reject.bin")},
        {load_payload("genesis-plus-gx", "genesis", dir.file("nope.bin")),
         "No such file or directory (os error 2)"},
        {load_payload("genesis-plus-gx", "genesis", dir.file("romdir")), ""},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.payload.dump());
        const Json reply = session.command("loadRom", "bad-" + std::to_string(n++), c.payload);
        ASSERT_EQ(reply["name"], "commandFailed");
        const std::string message = reply["payload"]["message"];
        EXPECT_FALSE(message.empty());
        EXPECT_EQ(message.rfind(c.message_start, 0), 0u) << message;
        const Json pause = session.command("pause", "p" + std::to_string(n), Json::object());
        EXPECT_EQ(pause["payload"]["message"], "No ROM session is active.");
    }
    // The runner is still usable: a good load works afterwards.
    EXPECT_EQ(session.command("loadRom", "good",
                              load_payload("genesis-plus-gx", "genesis", game))["name"],
              "commandSucceeded");
}

TEST_F(FixtureCoreE2e, AvInfoChangesReachTheFrames) {
    install("lk_test_core_libretro.so", "genesis_plus_gx");
    LibretroSession session(dir.path(), {{"LUMENKITE_VIDEO_FRAME_RATE", "1000"}});
    const std::string game =
        rom("av.bin", "width=64\nheight=48\nav_change_at=20\nnew_width=128\nnew_height=96\n");
    ASSERT_EQ(
        session.command("loadRom", "l", load_payload("genesis-plus-gx", "genesis", game))["name"],
        "commandSucceeded");
    bool saw_small = false;
    bool saw_large = false;
    for (int i = 0; i < 200 && !saw_large; ++i) {
        auto frame = session.next_frame();
        ASSERT_TRUE(frame);
        saw_small |= frame->image.width == 64 && frame->image.height == 48;
        saw_large |= frame->image.width == 128 && frame->image.height == 96;
    }
    EXPECT_TRUE(saw_small);
    EXPECT_TRUE(saw_large);
    EXPECT_EQ(session.last_pixel_format, "xrgb8888");
}

TEST_F(FixtureCoreE2e, DiscSwapAndCheatsReachTheCore) {
    install("lk_test_core_libretro.so", "swanstation");
    const std::string journal = dir.file("journal.txt");
    LibretroSession session(dir.path(), {{"LK_TEST_CORE_JOURNAL_FILE", journal}});
    const std::string game = rom("discs.bin", "disk=v1\ndisk_images=3\n");
    ASSERT_EQ(session.command("loadRom", "l", load_payload("swanstation", "ps1", game))["name"],
              "commandSucceeded");
    const Json disc = session.command("getDiscControl", "d", Json::object());
    ASSERT_EQ(disc["name"], "commandSucceeded") << disc.dump();
    EXPECT_EQ(disc["payload"]["result"]["supported"], true);
    EXPECT_EQ(disc["payload"]["result"]["images"].size(), 3u);
    EXPECT_EQ(disc["payload"]["result"]["currentImageIndex"], 0);
    const Json swapped = session.command("setDiscImage", "s", {{"imageIndex", 2}});
    ASSERT_EQ(swapped["name"], "commandSucceeded") << swapped.dump();
    EXPECT_EQ(swapped["payload"]["result"]["currentImageIndex"], 2);

    const Json cheats = session.command(
        "syncCheats", "c",
        {{"cheatSets",
          {{{"enabled", true},
            {"id", "a"},
            {"lines", {" 1234 ", "", "5678"}},
            {"name", "A"},
            {"type", "raw"}},
           {{"enabled", true}, {"id", "b"}, {"lines", {"   "}}, {"name", "B"}, {"type", "raw"}},
           {{"enabled", false}, {"id", "c"}, {"lines", {"9999"}}, {"name", "C"}, {"type", "raw"}},
           {{"enabled", true},
            {"id", "d"},
            {"lines", {"abcd"}},
            {"name", "D"},
            {"type", "raw"}}}}});
    ASSERT_EQ(cheats["name"], "commandSucceeded");
    const std::string log = read_file(journal);
    const auto reset = log.find("cheat_reset");
    ASSERT_NE(reset, std::string::npos) << log;
    // Lines are trimmed and joined, blank sets dropped, indexes stay dense.
    EXPECT_NE(log.find("cheat_set index=0 enabled=1 code=1234\n5678", reset), std::string::npos)
        << log;
    EXPECT_NE(log.find("cheat_set index=1 enabled=1 code=abcd", reset), std::string::npos) << log;
    EXPECT_EQ(log.find("9999"), std::string::npos);
}

TEST_F(FixtureCoreE2e, ARuntimeThatDiesEndsTheSessionAtTheNextStateCommand) {
    install("lk_test_core_libretro.so", "genesis_plus_gx");
    // The core never gets to free what it allocated before its thread ended.
    LibretroSession session(dir.path(), {{"ASAN_OPTIONS", "detect_leaks=0"}});
    const std::string game = rom("dies.bin", "exit_thread_at=20\n");
    ASSERT_EQ(session.command("loadRom", "doomed",
                              load_payload("genesis-plus-gx", "genesis", game))["name"],
              "commandSucceeded");
    session.discard_frames(milliseconds(1500));  // the core ends its thread at frame 20
    EXPECT_NE(session.runner().stderr_text().find("[lumenkite-runner] panic: runtime thread: "),
              std::string::npos);

    // Other commands only fail; the session stays until a state command meets the loss.
    const Json paused = session.command("pause", "p", Json::object());
    EXPECT_EQ(paused["payload"]["message"], "Libretro runtime command channel closed.");
    std::vector<Json> events;
    const Json saved = session.command("saveState", "s",
                                       {{"slotId", "1"},
                                        {"stateFilePath", dir.file("s.state")},
                                        {"previewFilePath", dir.file("s.png")}},
                                       &events);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].dump(), R"({"name":"romClosed","payload":{"sessionId":"doomed"}})");
    EXPECT_EQ(events[1]["payload"]["message"], "Libretro runtime command channel closed.");
    EXPECT_EQ(saved["name"], "commandFailed");
    EXPECT_EQ(session.command("pause", "p2", Json::object())["payload"]["message"],
              "No ROM session is active.");
    // A new session starts normally afterwards.
    EXPECT_EQ(
        session.command("loadRom", "next",
                        load_payload("genesis-plus-gx", "genesis", rom("ok.bin", "")))["name"],
        "commandSucceeded");
}

}  // namespace
}  // namespace lk::e2e
