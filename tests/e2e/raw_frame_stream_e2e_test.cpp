// The raw frame stream through the real runner: LUMENKITE_VIDEO_SINK=raw-stream
// announces a loopback listener, and a client that presents the token reads
// the frames the core drew as raw RGBA messages.

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>

#include <gtest/gtest.h>

#include "command_payloads.hpp"
#include "fixture_core_bundle.hpp"
#include "frame_image.hpp"
#include "raw_frame_stream_client.hpp"
#include "runner_process.hpp"

namespace lk::e2e {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono;
using test::RawFrameMessage;
using test::RawFrameStreamClient;

std::map<std::string, std::string> runner_environment(const std::string& bundle_dir,
                                                      std::map<std::string, std::string> extra) {
    extra.emplace("LUMENKITE_USE_LIBRETRO_CORES", "1");
    extra.emplace("LUMENKITE_CORE_BUNDLE_DIR", bundle_dir);
    extra.emplace("LUMENKITE_AUDIO_SINK", "null");
    extra.emplace("LUMENKITE_VIDEO_SINK", "raw-stream");
    return extra;
}

// Events up to the reply of `id`, which must be a success.
std::vector<Json> expect_success(RunnerProcess& runner, const std::string& id) {
    std::vector<Json> events = runner.events_until_reply(id, seconds(20));
    EXPECT_FALSE(events.empty());
    if (!events.empty()) {
        EXPECT_EQ(events.back()["name"], "commandSucceeded") << events.back().dump();
    }
    return events;
}

const Json* find_event(const std::vector<Json>& events, const std::string& name) {
    for (const Json& event : events) {
        if (event["name"] == name) {
            return &event;
        }
    }
    return nullptr;
}

// Checks the announcement and returns a client that sent its token.
std::optional<RawFrameStreamClient> connect_to(const Json& ready, const std::string& session) {
    const Json& p = ready["payload"];
    EXPECT_EQ(p["host"], "127.0.0.1");
    EXPECT_EQ(p["protocolVersion"], 1);
    EXPECT_EQ(p["sessionId"], session);
    const std::string token = p["token"].get<std::string>();
    EXPECT_EQ(token.size(), 64u);
    EXPECT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos);
    const auto port = p["port"].get<std::uint16_t>();
    EXPECT_NE(port, 0);
    auto client = RawFrameStreamClient::connect(port);
    if (client) {
        EXPECT_TRUE(client->send_text(token + "\n"));
    }
    return client;
}

FrameImage image_of(const RawFrameMessage& message) {
    return FrameImage{message.width, message.height, message.pixels};
}

void expect_header(const RawFrameMessage& m, std::uint32_t width, std::uint32_t height,
                   const std::string& session) {
    EXPECT_EQ(m.magic, "LKRF");
    EXPECT_EQ(m.version, 1);
    EXPECT_EQ(m.header_length, 36);
    EXPECT_EQ(m.width, width);
    EXPECT_EQ(m.height, height);
    EXPECT_EQ(m.stride, width * 4);
    EXPECT_EQ(m.session_id, session);
    EXPECT_EQ(m.pixel_format, "rgba8888");
    EXPECT_EQ(m.pixels.size(), std::size_t{width} * height * 4);
}

// What our fixture core draws (A not held): bars red, green, blue, white over
// the top half, cyan below, and the frame counter in the last row's first 32
// pixels. Returns the counter read from the picture, or nothing when any
// other pixel differs.
std::optional<std::uint32_t> fixture_core_counter(const FrameImage& image) {
    std::uint32_t counter = 0;
    for (std::uint32_t y = 0; y < image.height; ++y) {
        for (std::uint32_t x = 0; x < image.width; ++x) {
            const FrameImage::Pixel p = image.at(x, y);
            FrameImage::Pixel expected{0, 255, 255, 255};
            if (y == image.height - 1 && x < 32) {
                if (p == FrameImage::Pixel{255, 255, 255, 255}) {
                    counter |= 1u << x;
                    continue;
                }
                expected = {0, 0, 0, 255};
            } else if (y < image.height / 2) {
                const std::uint32_t bar = x * 4 / image.width;
                expected = {static_cast<std::uint8_t>(bar == 0 || bar == 3 ? 255 : 0),
                            static_cast<std::uint8_t>(bar == 1 || bar == 3 ? 255 : 0),
                            static_cast<std::uint8_t>(bar == 2 || bar == 3 ? 255 : 0), 255};
            }
            if (!(p == expected)) {
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << int{p.r} << ","
                              << int{p.g} << "," << int{p.b} << "," << int{p.a};
                return std::nullopt;
            }
        }
    }
    return counter;
}

class RawFrameStreamE2e : public ::testing::Test, protected FixtureCoreBundle {
  protected:
    std::string install_fixture_core() {
        return install("lk_test_core_libretro.so", "genesis_plus_gx");
    }
};

TEST_F(RawFrameStreamE2e, StreamsTheFixtureCoresPictureInEveryPixelFormat) {
    RunnerProcess runner(runner_environment(install_fixture_core(), {}));
    // Each load is a new session with its own listener and token.
    for (const std::string format : {"xrgb8888", "rgb565", "0rgb1555"}) {
        SCOPED_TRACE(format);
        const std::string session = "load-" + format;
        runner.send("loadRom", session,
                    load_payload("genesis-plus-gx", "genesis",
                                 rom(format + ".bin",
                                     "pixel_format=" + format + "\nwidth=80\nheight=60\n")));
        const std::vector<Json> events = expect_success(runner, session);
        const Json* ready = find_event(events, "rawFrameStreamReady");
        ASSERT_NE(ready, nullptr) << runner.stderr_text();
        ASSERT_NE(find_event(events, "romLoaded"), nullptr);
        auto client = connect_to(*ready, session);
        ASSERT_TRUE(client);

        std::optional<std::uint64_t> last_index;
        std::uint32_t last_counter = 0;
        for (int i = 0; i < 10; ++i) {
            auto message = client->read_message();
            ASSERT_TRUE(message) << runner.stderr_text();
            expect_header(*message, 80, 60, session);
            const auto counter = fixture_core_counter(image_of(*message));
            ASSERT_TRUE(counter);
            if (last_index) {
                EXPECT_GT(message->frame_index, *last_index);
                EXPECT_GT(*counter, last_counter);
            }
            last_index = message->frame_index;
            last_counter = *counter;
        }
        // Frames travel over the stream only: no frameReady events.
        EXPECT_TRUE(runner.stays_quiet(milliseconds(300)));
    }
    runner.send("closeRom", "close", Json::object());
    expect_success(runner, "close");
    runner.close_stdin();
    EXPECT_EQ(runner.wait_for_exit(), 0);
}

TEST_F(RawFrameStreamE2e, AStreamThatCannotListenFallsBackToPngFrameEvents) {
    std::string asan_options = "verify_asan_link_order=0";
    if (const char* inherited = std::getenv("ASAN_OPTIONS")) {
        asan_options = std::string(inherited) + ":" + asan_options;
    }
    RunnerProcess runner(
        runner_environment(install_fixture_core(), {{"LD_PRELOAD", LK_REFUSE_BIND_LIBRARY},
                                                    {"ASAN_OPTIONS", asan_options},
                                                    {"LUMENKITE_RUNNER_DEBUG_LOGS", "1"}}));
    runner.send("loadRom", "fallback",
                load_payload("genesis-plus-gx", "genesis", rom("game.bin", "")));
    const std::vector<Json> events = expect_success(runner, "fallback");
    EXPECT_EQ(find_event(events, "rawFrameStreamReady"), nullptr);

    int frames = 0;
    for (int i = 0; i < 50 && frames < 3; ++i) {
        auto line = runner.read_line(seconds(10));
        ASSERT_TRUE(line) << runner.stderr_text();
        const Json event = Json::parse(*line);
        if (event["name"] != "frameReady") {
            continue;
        }
        ++frames;
        const Json& p = event["payload"];
        EXPECT_EQ(p["transport"], "png-data-url");
        EXPECT_EQ(p["sessionId"], "fallback");
        auto image = decode_data_url(p["dataUrl"].get<std::string>());
        ASSERT_TRUE(image);
        EXPECT_TRUE(fixture_core_counter(*image));
    }
    EXPECT_EQ(frames, 3);
    EXPECT_NE(runner.stderr_text().find(
                  "[lumenkite-video] Raw frame stream unavailable; falling back to PNG frame "
                  "events: Address already in use (os error 98)\n"),
              std::string::npos)
        << runner.stderr_text();
}

TEST_F(RawFrameStreamE2e, OnlyTheExactValueSelectsTheStream) {
    for (const std::string value : {"RAW-STREAM", "raw-stream ", "Raw-Stream"}) {
        SCOPED_TRACE("'" + value + "'");
        RunnerProcess runner(
            runner_environment(install_fixture_core(), {{"LUMENKITE_VIDEO_SINK", value}}));
        runner.send("loadRom", "l", load_payload("genesis-plus-gx", "genesis", rom("g.bin", "")));
        const std::vector<Json> events = expect_success(runner, "l");
        EXPECT_EQ(find_event(events, "rawFrameStreamReady"), nullptr);
        auto line = runner.read_line(seconds(10));
        ASSERT_TRUE(line);
        EXPECT_EQ(Json::parse(*line)["name"], "frameReady");
    }
}

TEST(RawFrameStreamMgbaE2e, OurRomStreamsItsCounterAndReactsToA) {
    if (!fs::exists(fs::path(real_cores_dir()) / "mgba_libretro.so")) {
        FAIL() << "mgba_libretro.so is missing from " << real_cores_dir()
               << "; run scripts/fetch-test-cores.sh " << real_cores_dir();
    }
    RunnerProcess runner(runner_environment(real_cores_dir(), {}));
    runner.send("loadRom", "mgba-raw", load_payload("mgba", "gba", LK_TEST_ROM_PATH));
    const std::vector<Json> events = expect_success(runner, "mgba-raw");
    const Json* ready = find_event(events, "rawFrameStreamReady");
    ASSERT_NE(ready, nullptr) << runner.stderr_text();
    auto client = connect_to(*ready, "mgba-raw");
    ASSERT_TRUE(client);

    for (int i = 0; i < 3; ++i) {  // the core may show a blank frame or two while it boots
        ASSERT_TRUE(client->read_message());
    }
    std::uint32_t last_counter = 0;
    for (int i = 0; i < 10; ++i) {
        auto message = client->read_message();
        ASSERT_TRUE(message);
        expect_header(*message, 240, 160, "mgba-raw");
        const FrameImage image = image_of(*message);
        if (i > 0) {
            EXPECT_GT(gba_rom_frame_counter(image), last_counter);
        }
        EXPECT_FALSE(gba_rom_shows_a_pressed(image));
        last_counter = gba_rom_frame_counter(image);
    }

    runner.send("setInputState", "press", input_with(true));
    bool green = false;
    for (int i = 0; i < 20 && !green; ++i) {
        auto message = client->read_message();
        ASSERT_TRUE(message);
        green = gba_rom_shows_a_pressed(image_of(*message));
    }
    EXPECT_TRUE(green) << "the A button never showed";
    runner.close_stdin();
    EXPECT_EQ(runner.wait_for_exit(), 0);
    EXPECT_TRUE(client->closed_by_peer(seconds(10)));
}

}  // namespace
}  // namespace lk::e2e
