// Real cores driven through CoreApi with the runner's own callbacks: our
// fixture core in each pixel format and audio style, and Debian's mGBA core
// running our GBA ROM (picture, sound, the A button, and state restore).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "callback_bridge_test_support.hpp"
#include "fixtures.hpp"
#include "libretro/abi.hpp"
#include "libretro/audio_callbacks.hpp"
#include "libretro/callback_runtime_state.hpp"
#include "libretro/core_api.hpp"
#include "libretro/environment_callback.hpp"
#include "libretro/game_load_request.hpp"
#include "libretro/hardware_render_negotiation.hpp"
#include "libretro/input_callbacks.hpp"
#include "libretro/video_callback.hpp"
#include "video/pixel_format.hpp"
#include "video/rgba_conversion.hpp"

namespace lk {
namespace {

namespace bridge = callback_bridge;

constexpr std::uint16_t kButtonA = 1u << retro::joypad::kA;

// One session of a core with the bridge's callbacks, in the runtime's order:
// reset, backend, environment, the six setters, init, load.
class BridgeSession {
  public:
    ~BridgeSession() { close(); }

    testing::AssertionResult open(const std::filesystem::path& library,
                                  const std::filesystem::path& rom,
                                  const std::filesystem::path& directory,
                                  std::unique_ptr<HardwareRenderBackend> backend = nullptr) {
        auto loaded = CoreApi::load(library);
        if (!loaded) {
            return testing::AssertionFailure() << loaded.error().display_chain();
        }
        core_.emplace(std::move(*loaded));
        batches_ = 0;
        last_frame_.reset();
        bridge::reset();
        bridge::configure_hardware_render_backend(std::move(backend));
        if (auto configured =
                bridge::configure_environment(directory, directory, library, rom, "native");
            !configured) {
            return testing::AssertionFailure() << configured.error().display();
        }
        core_->retro_set_environment(&bridge::environment_callback);
        core_->retro_set_video_refresh(&bridge::video_refresh_callback);
        core_->retro_set_audio_sample(&bridge::audio_sample_callback);
        core_->retro_set_audio_sample_batch(&bridge::audio_sample_batch_callback);
        core_->retro_set_input_poll(&bridge::input_poll_callback);
        core_->retro_set_input_state(&bridge::input_state_callback);
        core_->retro_init();
        initialized_ = true;
        if (auto version = core_->check_api_version(); !version) {
            return testing::AssertionFailure() << version.error().display();
        }
        auto info = core_->system_info();
        if (!info) {
            return testing::AssertionFailure() << info.error().display();
        }
        auto request = GameLoadRequest::from_path(rom, info->need_fullpath);
        if (!request) {
            return testing::AssertionFailure() << request.error().display_chain();
        }
        request_.emplace(std::move(*request));
        if (auto status = core_->load_game(*request_); !status) {
            return testing::AssertionFailure() << status.error().display();
        }
        game_loaded_ = true;
        if (auto prepared = bridge::prepare_hardware_render_context(); !prepared) {
            return testing::AssertionFailure() << prepared.error().display();
        }
        return testing::AssertionSuccess();
    }

    // One frame with the given port-0 buttons; its audio is appended to `audio`.
    std::optional<VideoFrame> run_frame(std::uint16_t buttons = 0,
                                        std::vector<std::int16_t>* audio = nullptr) {
        MappedInputState input;
        input.joypad_masks[0] = buttons;
        bridge::set_input_state_by_port(input);
        EXPECT_TRUE(bridge::prepare_hardware_render_context().has_value());
        core_->retro_run();
        EXPECT_TRUE(bridge::capture_pending_hardware_frame().has_value());
        for (auto& batch : bridge::drain_audio_batches()) {
            ++batches_;
            if (audio != nullptr) {
                audio->insert(audio->end(), batch.samples.begin(), batch.samples.end());
            }
        }
        if (auto frame = bridge::take_current_frame()) {
            last_frame_ = std::move(frame);
        }
        return last_frame_;
    }

    const CoreApi& core() const { return *core_; }
    std::uint64_t batches() const { return batches_; }

    void close() {
        if (core_) {
            (void)bridge::prepare_hardware_render_context();
            bridge::reset();
            if (game_loaded_) {
                core_->retro_unload_game();
            }
            if (initialized_) {
                core_->retro_deinit();
            }
            core_.reset();
        }
        game_loaded_ = initialized_ = false;
    }

  private:
    std::optional<CoreApi> core_;
    std::optional<GameLoadRequest> request_;
    std::optional<VideoFrame> last_frame_;
    std::uint64_t batches_ = 0;
    bool initialized_ = false;
    bool game_loaded_ = false;
};

struct Rgba {
    unsigned r, g, b;
};

// The frame's pixel at (x, y) through the video module's RGBA conversion.
Rgba rgba_at(const VideoFrame& frame, unsigned x, unsigned y) {
    auto format = PixelFormat::from_label(frame.pixel_format);
    EXPECT_TRUE(format.has_value()) << frame.pixel_format;
    auto rgba = convert_frame_to_tightly_packed_rgba_with_format(frame, *format);
    EXPECT_TRUE(rgba.has_value()) << rgba.error().display();
    const std::uint8_t* at = rgba->data() + (std::size_t{y} * frame.width + x) * 4;
    return {at[0], at[1], at[2]};
}

bool is(Rgba p, bool r, bool g, bool b) {
    auto level = [](unsigned value, bool on) { return on ? value >= 240 : value <= 15; };
    return level(p.r, r) && level(p.g, g) && level(p.b, b);
}

std::uint64_t hash_visible(const VideoFrame& frame, std::size_t bytes_per_pixel) {
    std::uint64_t hash = 1469598103934665603ull;
    for (unsigned y = 0; y < frame.height; ++y) {
        const std::uint8_t* row = frame.data.data() + y * frame.pitch;
        for (std::size_t i = 0; i < frame.width * bytes_per_pixel; ++i) {
            hash = (hash ^ row[i]) * 1099511628211ull;
        }
    }
    return hash;
}

class FixtureCoreThroughTheBridge : public test::CallbackBridgeTest {
  protected:
    testing::AssertionResult open(const std::string& rom_text,
                                  std::unique_ptr<HardwareRenderBackend> backend = nullptr) {
        rom_ = dir_.write("game.lktest", rom_text);
        return session_.open(test::fixture_core("test_core"), rom_, dir_.path(),
                             std::move(backend));
    }
    void TearDown() override {
        session_.close();
        test::CallbackBridgeTest::TearDown();
    }

    test::TempDir dir_;
    std::filesystem::path rom_;
    BridgeSession session_;
};

TEST_F(FixtureCoreThroughTheBridge, EachPixelFormatWithPaddedRowsReachesTheFrame) {
    struct Case {
        const char* requested;
        const char* label;
        unsigned bytes_per_pixel;
    };
    const Case cases[] = {
        {"0rgb1555", "0rgb1555", 2}, {"xrgb8888", "xrgb8888", 4},
        {"rgb565", "rgb565", 2},     {"unset", "xrgb8888", 4},  // never calls SET_PIXEL_FORMAT
        {"invalid", "xrgb8888", 4},  // format 7 is refused, the default stays
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.requested);
        ASSERT_TRUE(open(std::string("pixel_format=") + c.requested +
                         "\nwidth=64\nheight=48\npitch_pad=24\n"));
        auto frame = session_.run_frame();
        ASSERT_TRUE(frame.has_value());
        EXPECT_EQ(frame->pixel_format, c.label);
        EXPECT_EQ(frame->width, 64u);
        EXPECT_EQ(frame->height, 48u);
        EXPECT_EQ(frame->pitch, 64u * c.bytes_per_pixel + 24);
        ASSERT_EQ(frame->data.size(), frame->pitch * 48);
        EXPECT_EQ(frame->data.data()[frame->pitch - 1], 0xA5) << "row padding copied as given";

        EXPECT_TRUE(is(rgba_at(*frame, 2, 2), true, false, false)) << "red bar";
        EXPECT_TRUE(is(rgba_at(*frame, 18, 2), false, true, false)) << "green bar";
        EXPECT_TRUE(is(rgba_at(*frame, 34, 2), false, false, true)) << "blue bar";
        EXPECT_TRUE(is(rgba_at(*frame, 50, 2), true, true, true)) << "white bar";
        EXPECT_TRUE(is(rgba_at(*frame, 40, 30), false, true, true)) << "cyan below";

        // A held on port 0 turns the lower half yellow.
        frame = session_.run_frame(kButtonA);
        ASSERT_TRUE(frame.has_value());
        EXPECT_TRUE(is(rgba_at(*frame, 40, 30), true, true, false)) << "yellow with A";
        session_.close();
    }
}

TEST_F(FixtureCoreThroughTheBridge, SingleSampleAndBatchAudioCarryTheSameTone) {
    std::vector<std::vector<std::int16_t>> played;
    for (const char* style : {"sample", "batch", "both"}) {
        SCOPED_TRACE(style);
        ASSERT_TRUE(open(std::string("audio=") + style + "\nfps=60\nsample_rate=44100\n"));
        std::vector<std::int16_t> audio;
        for (int i = 0; i < 4; ++i) {
            session_.run_frame(0, &audio);
        }
        ASSERT_EQ(audio.size(), 4u * 735 * 2) << "735 frames per video frame";
        for (std::size_t i = 0; i + 1 < audio.size(); i += 2) {
            ASSERT_EQ(audio[i + 1], audio[i] / 2) << "right is half of left at frame " << i / 2;
        }
        {
            CallbackStateLock state;
            const std::uint64_t sample = std::string(style) == "batch"  ? 0
                                         : std::string(style) == "both" ? 2 * 735
                                                                        : 4 * 735;
            EXPECT_EQ(state->sample_callback_frames, sample);
            EXPECT_EQ(state->batch_callback_frames, 4 * 735 - sample);
            EXPECT_EQ(state->audio_queue.dropped_frames(), 0u);
        }
        const std::uint64_t expected_batches = std::string(style) == "batch"  ? 4
                                               : std::string(style) == "both" ? 2 + 2 * 735
                                                                              : 4 * 735;
        EXPECT_EQ(session_.batches(), expected_batches);
        played.push_back(std::move(audio));
        session_.close();
    }
    EXPECT_EQ(played[0], played[1]) << "the delivery style does not change the sound";
    EXPECT_EQ(played[1], played[2]);
}

TEST_F(FixtureCoreThroughTheBridge, SessionDeclarationsReachTheState) {
    ASSERT_TRUE(
        open("quirks=0x22\ndupe_every=2\nav_change_at=3\nnew_width=96\nnew_height=80\n"
             "new_fps=50\noptions=v2\ndisk=v1\n"));
    EXPECT_EQ(bridge::serialization_quirks(), 0x22u);
    {
        CallbackStateLock state;
        EXPECT_EQ(state->disc_control.version, DiscControlInterface::Version::v1);
    }
    const std::string journal = test::core_journal(test::fixture_core("test_core"));
    EXPECT_NE(journal.find("system_dir=" + dir_.path().string()), std::string::npos) << journal;
    EXPECT_NE(journal.find("env.input_bitmasks -> 1"), std::string::npos);
    EXPECT_NE(journal.find("var lk_test_speed=fast"), std::string::npos) << "the v2 default";
    EXPECT_NE(journal.find("init log=yes"), std::string::npos);

    const auto first = session_.run_frame();
    ASSERT_TRUE(first.has_value());
    const auto second = session_.run_frame();  // frame 1 is a duplicate
    ASSERT_TRUE(second.has_value());
    EXPECT_TRUE(second->data.shares_bytes_with(first->data)) << "the duplicate kept the picture";
    EXPECT_FALSE(bridge::take_system_av_info_update().has_value());
    session_.run_frame();
    session_.run_frame();  // frame 3 announces the new geometry
    const auto update = bridge::take_system_av_info_update();
    ASSERT_TRUE(update.has_value());
    EXPECT_EQ(update->geometry.base_width, 96u);
    EXPECT_EQ(update->geometry.base_height, 80u);
    EXPECT_EQ(update->timing.fps, 50.0);
}

// GL as the fixture core sees it through get_proc_address.
struct FakeGl {
    std::vector<std::string> calls;
};
FakeGl fake_gl;

void fake_bind_framebuffer(unsigned target, unsigned framebuffer) {
    fake_gl.calls.push_back("bind " + std::to_string(target) + " " + std::to_string(framebuffer));
}
void fake_viewport(int x, int y, int width, int height) {
    fake_gl.calls.push_back("viewport " + std::to_string(x) + " " + std::to_string(y) + " " +
                            std::to_string(width) + " " + std::to_string(height));
}
void fake_clear_color(float r, float g, float, float) {
    fake_gl.calls.push_back(std::string("clear_color ") + (r > 0.5f   ? "red"
                                                           : g > 0.5f ? "green"
                                                                      : "?"));
}
void fake_clear(unsigned mask) {
    fake_gl.calls.push_back("clear " + std::to_string(mask));
}

TEST_F(FixtureCoreThroughTheBridge, AHardwareRenderingCoreGetsItsContextAndFramesReadBack) {
    fake_gl = FakeGl{};
    auto journal = std::make_shared<test::FakeHardwareJournal>();
    auto backend = std::make_unique<test::FakeHardwareRenderBackend>(journal);
    backend->functions = {
        {"glBindFramebuffer", reinterpret_cast<HardwareProcAddress>(&fake_bind_framebuffer)},
        {"glViewport", reinterpret_cast<HardwareProcAddress>(&fake_viewport)},
        {"glClearColor", reinterpret_cast<HardwareProcAddress>(&fake_clear_color)},
        {"glClear", reinterpret_cast<HardwareProcAddress>(&fake_clear)},
    };
    const auto library = test::fixture_core("test_core");
    const test::LibraryPin pin(library);  // keeps the journal readable after close
    test::clear_core_journal(library);
    ASSERT_TRUE(open("hw_render=opengl\nwidth=64\nheight=48\n", std::move(backend)));
    EXPECT_NE(
        test::core_journal(library).find("env.set_hw_render opengl -> 1 get_proc_address=set"),
        std::string::npos);

    auto frame = session_.run_frame();
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(frame->pixel_format, "rgba8888");
    EXPECT_EQ(frame->width, 64u);
    EXPECT_EQ(frame->height, 48u);
    session_.run_frame(kButtonA);
    EXPECT_EQ(fake_gl.calls,
              (std::vector<std::string>{"bind 36160 10", "viewport 0 0 64 48", "clear_color red",
                                        "clear 16384", "bind 36160 10", "viewport 0 0 64 48",
                                        "clear_color green", "clear 16384"}))
        << "the core drew into our framebuffer, and saw A";
    EXPECT_THAT(journal->calls, ::testing::Contains("ctx1.capture_frame 64x48"));

    session_.close();
    const std::string core_journal = test::core_journal(library);
    auto count = [&](const std::string& what) {
        std::size_t n = 0;
        for (auto at = core_journal.find(what); at != std::string::npos;
             at = core_journal.find(what, at + 1)) {
            ++n;
        }
        return n;
    };
    EXPECT_EQ(count("hw.context_reset"), 1u) << core_journal;
    EXPECT_EQ(count("hw.context_destroy"), 1u) << "before unload_game";
    EXPECT_LT(core_journal.find("hw.context_destroy"), core_journal.find("unload_game"));
}

TEST_F(FixtureCoreThroughTheBridge, AVulkanRequestIsRefusedAndTheCoreDrawsInSoftware) {
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(open("hw_render=vulkan\n"));
    EXPECT_THAT(::testing::internal::GetCapturedStderr(),
                ::testing::HasSubstr("[lumenkite-runner] Libretro hardware render rejected: "
                                     "Requested libretro hardware context: Vulkan (6)"));
    EXPECT_NE(test::core_journal(test::fixture_core("test_core"))
                  .find("env.set_hw_render vulkan -> 0 get_proc_address=null"),
              std::string::npos);
    const auto frame = session_.run_frame();
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(frame->pixel_format, "xrgb8888");
}

// ---------------------------------------------------------------------------
// mGBA with our ROM.

struct Rgb565 {
    unsigned r, g, b;
};

Rgb565 pixel565(const VideoFrame& frame, unsigned x, unsigned y) {
    const std::uint8_t* at = frame.data.data() + y * frame.pitch + x * 2;
    const unsigned value = at[0] | (at[1] << 8);
    return {value >> 11, (value >> 5) & 0x3f, value & 0x1f};
}
bool is_red(Rgb565 p) {
    return p.r >= 28 && p.g < 8 && p.b < 4;
}
bool is_green(Rgb565 p) {
    return p.g >= 56 && p.r < 4 && p.b < 4;
}

class MgbaThroughTheBridge : public test::CallbackBridgeTest {
  protected:
    void SetUp() override {
        test::CallbackBridgeTest::SetUp();
        const auto library = test::real_cores_dir() / "mgba_libretro.so";
        ASSERT_TRUE(std::filesystem::exists(library))
            << library << " is missing: run scripts/fetch-test-cores.sh "
            << test::real_cores_dir().string()
            << " (the LK_TEST_CORES_DIR environment variable overrides the directory)";
        ASSERT_TRUE(session_.open(library, test::test_rom_path(), dir_.path()));
    }
    void TearDown() override {
        session_.close();
        test::CallbackBridgeTest::TearDown();
    }

    test::TempDir dir_;
    BridgeSession session_;
};

TEST_F(MgbaThroughTheBridge, FramesAndAudioArriveInTheState) {
    retro::SystemAvInfo av{};
    session_.core().retro_get_system_av_info(&av);
    ASSERT_GT(av.timing.sample_rate, 8000.0);

    std::vector<std::int16_t> audio;
    std::optional<VideoFrame> frame;
    for (int i = 0; i < 120; ++i) {
        frame = session_.run_frame(0, &audio);
    }
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(frame->pixel_format, "rgb565");
    EXPECT_EQ(frame->width, 240u);
    EXPECT_EQ(frame->height, 160u);
    EXPECT_EQ(frame->pitch, 512u);
    EXPECT_EQ(frame->data.size(), 512u * 160);
    EXPECT_TRUE(is_red(pixel565(*frame, 120, 74)));
    EXPECT_TRUE(is(rgba_at(*frame, 120, 74), true, false, false)) << "through RGBA conversion";

    EXPECT_GT(session_.batches(), 0u);
    const double seconds = 120.0 / av.timing.fps;
    const double frames = static_cast<double>(audio.size()) / 2.0;
    EXPECT_NEAR(frames, av.timing.sample_rate * seconds, av.timing.sample_rate * seconds * 0.05);
    CallbackStateLock state;
    EXPECT_GT(state->batch_callback_frames + state->sample_callback_frames, 0u);
    EXPECT_EQ(state->audio_queue.dropped_frames(), 0u);
    EXPECT_EQ(state->pixel_format, PixelFormat::rgb565);
}

TEST_F(MgbaThroughTheBridge, PendingInputForTheAButtonChangesThePicture) {
    for (int i = 0; i < 10; ++i) {
        session_.run_frame();
    }
    EXPECT_TRUE(is_red(pixel565(*session_.run_frame(), 120, 74)));
    std::optional<VideoFrame> frame;
    for (int i = 0; i < 3; ++i) {
        frame = session_.run_frame(kButtonA);
    }
    EXPECT_TRUE(is_green(pixel565(*frame, 120, 74)));
    for (int i = 0; i < 3; ++i) {
        frame = session_.run_frame(1u << retro::joypad::kB);
    }
    EXPECT_TRUE(is_red(pixel565(*frame, 120, 74))) << "only A turns it green";
}

TEST_F(MgbaThroughTheBridge, RestoringAStateReplaysTheSameFrames) {
    for (int i = 0; i < 30; ++i) {
        session_.run_frame();
    }
    auto state = session_.core().serialize();
    ASSERT_TRUE(state.has_value()) << state.error().display();
    auto play = [&] {
        std::vector<std::uint64_t> trace;
        for (int i = 0; i < 20; ++i) {
            const auto frame = session_.run_frame(i >= 5 && i < 12 ? kButtonA : 0);
            trace.push_back(hash_visible(*frame, 2));
        }
        return trace;
    };
    const auto first = play();
    ASSERT_TRUE(session_.core().retro_unserialize(state->data(), state->size()));
    const auto second = play();
    EXPECT_EQ(first, second);
    EXPECT_NE(first[0], first[1]) << "the frames differ over the script";
}

}  // namespace
}  // namespace lk
