// Cores that render with OpenGL, through the real binary: our GL fixture core
// asks for each context type, draws its quadrant picture offscreen, and the
// runner's frames, screenshots and save-state previews show it right way up.

#include <chrono>
#include <filesystem>
#include <optional>

#include <gtest/gtest.h>

#include "frame_image.hpp"
#include "runner_process.hpp"

namespace lk::e2e {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono;
using Pixel = FrameImage::Pixel;

constexpr Pixel kRed{255, 0, 0, 255};
constexpr Pixel kGreen{0, 255, 0, 255};
constexpr Pixel kBlue{0, 0, 255, 255};
constexpr Pixel kWhite{255, 255, 255, 255};
constexpr Pixel kYellow{255, 255, 0, 255};

Json load_payload(const std::string& core, const std::string& platform, const std::string& rom) {
    return {{"coreId", core},
            {"platformId", platform},
            {"gameId", "game"},
            {"title", "Game"},
            {"source", {{"kind", "file"}, {"filePath", rom}}}};
}

// The fixture's picture: top-left red, top-right green, bottom-left blue,
// bottom-right white (yellow while A is held). Checks the quadrants'
// corners, where a flipped or shifted readback shows first.
void expect_quadrants(const FrameImage& image, std::uint32_t width, std::uint32_t height,
                      Pixel bottom_right = kWhite) {
    ASSERT_EQ(image.width, width);
    ASSERT_EQ(image.height, height);
    const std::uint32_t left = width / 2;
    const std::uint32_t top = height / 2;
    EXPECT_EQ(image.at(0, 0), kRed);
    EXPECT_EQ(image.at(left - 1, top - 1), kRed);
    EXPECT_EQ(image.at(left, 0), kGreen);
    EXPECT_EQ(image.at(width - 1, top - 1), kGreen);
    EXPECT_EQ(image.at(0, top), kBlue);
    EXPECT_EQ(image.at(left - 1, height - 1), kBlue);
    EXPECT_EQ(image.at(left, top), bottom_right);
    EXPECT_EQ(image.at(width - 1, height - 1), bottom_right);
}

class HardwareRenderE2e : public ::testing::Test {
  protected:
    // The GL fixture core as flycast, whose dreamcast platform needs
    // hardware rendering.
    void SetUp() override {
        fs::copy_file(fs::path(LK_TEST_CORE_DIR) / "lk_gl_test_core_libretro.so",
                      fs::path(dir.path()) / "flycast_libretro.so");
    }

    std::map<std::string, std::string> environment(std::map<std::string, std::string> extra = {}) {
        extra.emplace("LUMENKITE_USE_LIBRETRO_CORES", "1");
        extra.emplace("LUMENKITE_CORE_BUNDLE_DIR", dir.path());
        extra.emplace("LUMENKITE_AUDIO_SINK", "null");
        return extra;
    }

    std::string rom(const std::string& name, const std::string& content) {
        write_file(dir.file(name), content);
        return dir.file(name);
    }

    // Sends a command and returns its reply; frames that arrive meanwhile are
    // dropped, other events are kept in `events`.
    static Json command(RunnerProcess& runner, const std::string& type, const std::string& id,
                        const Json& payload, std::vector<Json>* events = nullptr) {
        runner.send(type, id, payload);
        for (;;) {
            Json event = runner.next_event(seconds(20));
            if (event.is_null()) {
                return event;
            }
            if (event["name"] == "frameReady") {
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

    static std::optional<FrameImage> next_frame(RunnerProcess& runner,
                                                std::string* pixel_format = nullptr) {
        for (int i = 0; i < 50; ++i) {
            Json event = runner.next_event(seconds(10));
            if (event.is_null()) {
                return std::nullopt;
            }
            if (event["name"] != "frameReady") {
                continue;
            }
            const Json& p = event["payload"];
            if (pixel_format != nullptr) {
                *pixel_format = p["pixelFormat"].get<std::string>();
            }
            auto image = decode_data_url(p["dataUrl"].get<std::string>());
            EXPECT_TRUE(image.has_value());
            if (image) {
                EXPECT_EQ(p["width"].get<std::uint32_t>(), image->width);
                EXPECT_EQ(p["height"].get<std::uint32_t>(), image->height);
            }
            return image;
        }
        return std::nullopt;
    }

    TempDir dir;
};

TEST_F(HardwareRenderE2e, EveryContextTypeDeliversThePictureRightWayUp) {
    RunnerProcess runner(environment());
    runner.send("initializeRunner", "init", {{"protocolVersion", 1}});
    const auto platforms = runner.events_until_reply("init")
                               .front()["payload"]["supportedPlatformIds"]
                               .get<std::vector<std::string>>();
    EXPECT_EQ(platforms.size(), 16u) << "the hardware platforms are offered";

    const char* types[] = {"opengl", "opengl_core\nhw_major=3\nhw_minor=3", "gles2", "gles3",
                           "gles\nhw_major=3"};
    int n = 0;
    for (const char* type : types) {
        SCOPED_TRACE(type);
        const std::string id = "load-" + std::to_string(n++);
        const std::string game =
            rom(id + ".bin", std::string("width=320\nheight=240\nhw_render=") + type + "\n");
        std::vector<Json> events;
        const Json reply =
            command(runner, "loadRom", id, load_payload("flycast", "dreamcast", game), &events);
        ASSERT_EQ(reply["name"], "commandSucceeded") << reply.dump();
        // The first load's events start with romLoaded; later ones close the
        // previous session first.
        ASSERT_GE(events.size(), 2u);
        EXPECT_EQ(events[events.size() - 2]["name"], "romLoaded");
        // Each load ends the previous session, and with it its GL context.
        for (int frame = 0; frame < 3; ++frame) {
            std::string pixel_format;
            auto image = next_frame(runner, &pixel_format);
            ASSERT_TRUE(image.has_value());
            EXPECT_EQ(pixel_format, "rgba8888");
            expect_quadrants(*image, 320, 240);
        }
    }
    EXPECT_EQ(runner.stderr_text().find("rejected"), std::string::npos) << runner.stderr_text();
    // The last session's context goes with the process, cleanly.
    runner.close_stdin();
    EXPECT_EQ(runner.wait_for_exit(), 0) << runner.stderr_text();
}

TEST_F(HardwareRenderE2e, LargerFramesGrowTheFramebufferAndInputReachesThePicture) {
    RunnerProcess runner(environment({{"LUMENKITE_RUNNER_DEBUG_LOGS", "1"}}));
    const std::string game = rom("big.bin", "width=640\nheight=480\n");
    ASSERT_EQ(command(runner, "loadRom", "l", load_payload("flycast", "dreamcast", game))["name"],
              "commandSucceeded");
    // The first frame only fits the initial 480x272 framebuffer: its
    // bottom-left corner, blue and white.
    auto first = next_frame(runner);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->width, 480u);
    EXPECT_EQ(first->height, 272u);
    EXPECT_EQ(first->at(0, 271), kBlue);
    EXPECT_EQ(first->at(479, 271), kWhite);
    auto grown = next_frame(runner);
    ASSERT_TRUE(grown.has_value());
    expect_quadrants(*grown, 640, 480);

    // Held as the shell holds a button: the state is sent again with every
    // frame, so slow frames never let the runtime release it as stale.
    const Json press = {
        {"inputState",
         {{"buttons", {{{"buttonId", "a"}, {"pressed", true}}}}, {"capturedAt", 0}}}};
    bool saw_yellow = false;
    for (int i = 0; i < 30 && !saw_yellow; ++i) {
        runner.send("setInputState", "press", press);
        auto image = next_frame(runner);
        ASSERT_TRUE(image.has_value());
        saw_yellow = image->at(639, 479) == kYellow;
        if (saw_yellow) {
            expect_quadrants(*image, 640, 480, kYellow);
        }
    }
    EXPECT_TRUE(saw_yellow);
    EXPECT_NE(runner.stderr_text().find("[lumenkite-runner] EGL hardware render context ready: "
                                        "api=OpenGL version=2 pbuffer=480x272 fbo="),
              std::string::npos)
        << runner.stderr_text();
}

TEST_F(HardwareRenderE2e, ScreenshotAndSaveStatePreviewShowTheHardwareFrame) {
    RunnerProcess runner(environment());
    const std::string game = rom("shot.bin", "width=320\nheight=240\nhw_render=gles3\n");
    ASSERT_EQ(command(runner, "loadRom", "l", load_payload("flycast", "dreamcast", game))["name"],
              "commandSucceeded");
    ASSERT_TRUE(next_frame(runner).has_value());
    ASSERT_EQ(command(runner, "pause", "p", Json::object())["name"], "commandSucceeded");

    const Json shot = command(runner, "captureScreenshot", "shot",
                              {{"screenshotFilePath", dir.file("shot.png")}});
    ASSERT_EQ(shot["name"], "commandSucceeded") << shot.dump();
    auto screenshot = decode_png(read_file(dir.file("shot.png")));
    ASSERT_TRUE(screenshot.has_value());
    expect_quadrants(*screenshot, 320, 240);

    const Json saved = command(runner, "saveState", "save",
                               {{"slotId", "1"},
                                {"stateFilePath", dir.file("s/1.state")},
                                {"previewFilePath", dir.file("s/1.png")}});
    ASSERT_EQ(saved["name"], "commandSucceeded") << saved.dump();
    auto preview = decode_png(read_file(dir.file("s/1.png")));
    ASSERT_TRUE(preview.has_value());
    expect_quadrants(*preview, 320, 240);
}

TEST_F(HardwareRenderE2e, VulkanIsRefusedAndTheCoreGoesOnWithoutAContext) {
    RunnerProcess runner(environment());
    const std::string game = rom("vk.bin", "hw_render=vulkan\nhw_major=1\nhw_minor=2\n");
    ASSERT_EQ(command(runner, "loadRom", "l", load_payload("flycast", "dreamcast", game))["name"],
              "commandSucceeded");
    // Refused, the fixture draws in software instead.
    std::string pixel_format;
    ASSERT_TRUE(next_frame(runner, &pixel_format).has_value());
    EXPECT_EQ(pixel_format, "xrgb8888");
    EXPECT_NE(runner.stderr_text().find(
                  "[lumenkite-runner] Libretro hardware render rejected: Unsupported libretro "
                  "hardware context type 6; requested Vulkan (6), version 1.2, depth=true, "
                  "stencil=false, cacheContext=false, debugContext=false, bottomLeftOrigin=true. "
                  "Supported contexts are OpenGL, OpenGL Core, and OpenGL ES.\n"),
              std::string::npos)
        << runner.stderr_text();
}

TEST_F(HardwareRenderE2e, WithoutUsableEglTheHardwarePlatformsAreDroppedAndRequestsRefused) {
    // A libEGL.so.1 that lacks every entry point, found before the system's.
    const std::string broken = fs::path(LK_TEST_CORE_DIR) / "broken-egl";
    RunnerProcess runner(environment({{"LD_LIBRARY_PATH", broken}}));
    runner.send("initializeRunner", "init", {{"protocolVersion", 1}});
    const auto platforms = runner.events_until_reply("init")
                               .front()["payload"]["supportedPlatformIds"]
                               .get<std::vector<std::string>>();
    EXPECT_EQ(platforms, (std::vector<std::string>{"ds", "gb", "gba", "gbc", "genesis", "gg",
                                                   "n64", "nes", "ps1", "sms", "snes"}));
    EXPECT_EQ(command(runner, "loadRom", "dc",
                      load_payload("flycast", "dreamcast", rom("dc.bin", "")))["payload"]["message"],
              "Core flycast does not support platform dreamcast.");

    // The GL core as a software platform's core: its request is refused with
    // the whole explanation.
    fs::copy_file(fs::path(LK_TEST_CORE_DIR) / "lk_gl_test_core_libretro.so",
                  fs::path(dir.path()) / "genesis_plus_gx_libretro.so");
    ASSERT_EQ(command(runner, "loadRom", "md",
                      load_payload("genesis-plus-gx", "genesis", rom("md.bin", "")))["name"],
              "commandSucceeded");
    runner.stays_quiet(milliseconds(200));
    const std::string log = runner.stderr_text();
    EXPECT_NE(log.find("[lumenkite-runner] Libretro hardware render rejected: Requested libretro "
                       "hardware context: OpenGL (1), version 0.0, depth=true, stencil=false, "
                       "cacheContext=false, debugContext=false, bottomLeftOrigin=true. Hardware "
                       "render backend 'unsupported' is unavailable: EGL backend is unavailable: "),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("undefined symbol: eglBindAPI. Supported contexts: none. This runner build "
                       "supports hardware rendering through Linux EGL/OpenGL. Verify "
                       "libEGL/OpenGL drivers are installed and usable by the desktop process.\n"),
              std::string::npos)
        << log;
}

}  // namespace
}  // namespace lk::e2e
