// Checks that our test inputs are what they claim to be. The general fixture
// core (tests/fixtures/cores/lk_test_core.c) does what its header comment
// promises, read through the runner's own ABI declarations: the fixture
// declares the ABI independently, so these tests also cross-check the two.
// The GBA ROM carries a valid cartridge header.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "fixtures.hpp"
#include "libretro/core_api.hpp"
#include "test_frontend.hpp"

namespace lk {
namespace {

using test::core_journal;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

struct Rgb {
    unsigned r, g, b;
    bool operator==(const Rgb&) const = default;
};

// A pixel of the fixture's frame as 8-bit channels (low bits of 5/6-bit
// channels are zero because the core draws only full or zero intensity).
Rgb pixel(const test::RecordedFrame& frame, unsigned format, unsigned x, unsigned y) {
    const std::uint8_t* row = frame.bytes.data() + y * frame.pitch;
    if (format == 1) {
        std::uint32_t word;
        std::memcpy(&word, row + x * 4, 4);
        return {(word >> 16) & 0xff, (word >> 8) & 0xff, word & 0xff};
    }
    std::uint16_t half;
    std::memcpy(&half, row + x * 2, 2);
    const unsigned value = half;
    if (format == 2) {
        return {((value >> 11) & 0x1fu) * 255 / 31, ((value >> 5) & 0x3fu) * 255 / 63,
                (value & 0x1fu) * 255 / 31};
    }
    return {((value >> 10) & 0x1fu) * 255 / 31, ((value >> 5) & 0x1fu) * 255 / 31,
            (value & 0x1fu) * 255 / 31};
}

// The fixture core with a game loaded from the given ROM text.
class FixtureSession {
  public:
    explicit FixtureSession(const std::string& rom_text, test::TestFrontend& frontend)
        : api_(std::move(*CoreApi::load(test::fixture_core("test_core")))) {
        frontend.attach(api_);
        api_.retro_init();
        request_.emplace(
            std::move(*GameLoadRequest::from_path(dir_.write("g.lktest", rom_text), false)));
        loaded_ = api_.load_game(*request_).has_value();
        EXPECT_TRUE(loaded_);
    }
    ~FixtureSession() {
        api_.retro_unload_game();
        api_.retro_deinit();
    }
    const CoreApi& api() const { return api_; }
    std::string journal() const { return core_journal(test::fixture_core("test_core")); }

  private:
    test::TempDir dir_;
    CoreApi api_;
    std::optional<GameLoadRequest> request_;
    bool loaded_ = false;
};

TEST(TestCoreFixture, DrawsKnownPicturesInEveryPixelFormat) {
    struct Case {
        const char* directive;
        std::optional<unsigned> announced;
        unsigned drawn;
        std::size_t bytes_per_pixel;
    };
    const Case cases[] = {
        {"0rgb1555", 0, 0, 2},
        {"xrgb8888", 1, 1, 4},
        {"rgb565", 2, 2, 2},
        {"unset", std::nullopt, 1, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.directive);
        test::TestFrontend frontend;
        FixtureSession session(std::string("pixel_format=") + c.directive + "\nwidth=80\n",
                               frontend);
        session.api().retro_run();
        frontend.joypad[0] = 1u << retro::joypad::kA;
        session.api().retro_run();

        EXPECT_EQ(frontend.pixel_format, c.announced);
        ASSERT_TRUE(frontend.frame.has_value());
        const auto& frame = *frontend.frame;
        EXPECT_EQ(frame.width, 80u);
        EXPECT_EQ(frame.height, 48u);
        EXPECT_EQ(frame.pitch, 80 * c.bytes_per_pixel + 16);
        EXPECT_EQ(frame.bytes[frame.pitch - 1], 0xA5) << "row padding";
        EXPECT_EQ(pixel(frame, c.drawn, 0, 0), (Rgb{255, 0, 0}));
        EXPECT_EQ(pixel(frame, c.drawn, 20, 10), (Rgb{0, 255, 0}));
        EXPECT_EQ(pixel(frame, c.drawn, 40, 23), (Rgb{0, 0, 255}));
        EXPECT_EQ(pixel(frame, c.drawn, 79, 0), (Rgb{255, 255, 255}));
        EXPECT_EQ(pixel(frame, c.drawn, 5, 30), (Rgb{255, 255, 0})) << "A held: yellow";
        // Frame counter 1 in the last row: bit 0 white, bit 1 black.
        EXPECT_EQ(pixel(frame, c.drawn, 0, 47), (Rgb{255, 255, 255}));
        EXPECT_EQ(pixel(frame, c.drawn, 1, 47), (Rgb{0, 0, 0}));
    }
}

TEST(TestCoreFixture, PlaysAKnownToneThroughBatchOrSingleSamples) {
    for (const char* style : {"batch", "sample"}) {
        SCOPED_TRACE(style);
        test::TestFrontend frontend;
        FixtureSession session(std::string("audio=") + style + "\n", frontend);
        session.api().retro_run();
        session.api().retro_run();
        ASSERT_EQ(frontend.audio.size(), 2u * 2 * 735) << "44100 Hz at 60 fps";
        EXPECT_EQ(frontend.batch_calls, std::string(style) == "batch" ? 2u : 0u);
        EXPECT_EQ(frontend.sample_calls, std::string(style) == "sample" ? 2u * 735 : 0u);
        for (std::size_t n : {0u, 25u, 100u, 1000u}) {
            const auto left = static_cast<std::int16_t>(
                std::lrint(8000.0 * std::sin(2.0 * M_PI * 441.0 * double(n) / 44100.0)));
            EXPECT_EQ(frontend.audio[2 * n], left);
            EXPECT_EQ(frontend.audio[2 * n + 1], left / 2);
        }
    }
}

TEST(TestCoreFixture, DeclaresOptionsInEveryStyleAndReadsThemBack) {
    for (const char* style : {"variables", "v1", "v1_intl", "v2", "v2_intl"}) {
        SCOPED_TRACE(style);
        test::TestFrontend frontend;
        frontend.variables = {{"lk_test_speed", "slow"}};
        FixtureSession session(std::string("options=") + style + "\n", frontend);

        ASSERT_EQ(frontend.options.size(), 3u);
        EXPECT_EQ(frontend.options[0].key, "lk_test_speed");
        EXPECT_THAT(frontend.options[0].values, ElementsAre("normal", "fast", "slow"));
        EXPECT_THAT(frontend.options[2].values, ElementsAre("red", "green", "blue"));
        if (std::string(style) != "variables") {
            EXPECT_EQ(frontend.options[0].default_value, "fast");
            EXPECT_EQ(frontend.options[1].default_value, "");
        }
        if (std::string(style).starts_with("v2")) {
            EXPECT_THAT(frontend.option_categories, ElementsAre("video"));
            EXPECT_EQ(frontend.options[2].category, "video");
        }
        const std::string journal = session.journal();
        EXPECT_THAT(journal, HasSubstr("var lk_test_speed=slow"));
        EXPECT_THAT(journal, HasSubstr("var lk_test_level unset"));
    }
}

TEST(TestCoreFixture, OffersDiscControlTablesOfEachVersion) {
    {
        test::TestFrontend frontend;
        FixtureSession session("disk=v0\n", frontend);
        EXPECT_EQ(frontend.disk_control_version, 1u);
        EXPECT_EQ(frontend.disk_control.get_num_images(), 3u);
        EXPECT_EQ(frontend.disk_control.get_image_label, nullptr) << "only 7 slots in v0";
    }
    {
        test::TestFrontend frontend;
        FixtureSession session("disk=v1\ndisk_images=2\n", frontend);
        ASSERT_EQ(frontend.disk_control_version, 2u);
        const auto& disk = frontend.disk_control;
        EXPECT_TRUE(disk.set_eject_state(true));
        EXPECT_TRUE(disk.set_image_index(1));
        EXPECT_TRUE(disk.set_eject_state(false));
        EXPECT_EQ(disk.get_image_index(), 1u);
        char text[64] = {};
        ASSERT_TRUE(disk.get_image_label(1, text, sizeof text));
        EXPECT_STREQ(text, "Disc 2");
        ASSERT_TRUE(disk.get_image_path(0, text, sizeof text));
        EXPECT_STREQ(text, "/lk-test/disc1.cue");
        EXPECT_THAT(session.journal(),
                    HasSubstr("disk.set_eject_state(1)\ndisk.set_image_index(1)\n"
                              "disk.set_eject_state(0)\n"));
    }
    {
        test::TestFrontend frontend;
        FixtureSession session("disk=v1_incomplete\ndisk_refuse=index\n", frontend);
        EXPECT_EQ(frontend.disk_control.get_eject_state, nullptr);
        EXPECT_FALSE(frontend.disk_control.set_image_index(0));
    }
}

TEST(TestCoreFixture, ChangesTimingDupesFramesAndRestoresState) {
    test::TestFrontend frontend;
    FixtureSession session("av_change_at=2\nnew_width=96\nnew_fps=50\ndupe_every=4\nquirks=0x11\n",
                           frontend);
    EXPECT_EQ(frontend.serialization_quirks, 0x11u);
    EXPECT_THAT(session.journal(), HasSubstr("after=0x11"));
    for (int i = 0; i < 3; ++i) {
        session.api().retro_run();
    }
    ASSERT_TRUE(frontend.av_update.has_value());
    EXPECT_EQ(frontend.av_update->geometry.base_width, 96u);
    EXPECT_EQ(frontend.av_update->geometry.base_height, 96u);
    EXPECT_EQ(frontend.av_update->timing.fps, 50.0);
    EXPECT_EQ(frontend.frame->width, 96u);

    auto state = session.api().serialize();
    ASSERT_TRUE(state.has_value());
    session.api().retro_run();  // frame 3: a dupe
    EXPECT_EQ(frontend.dupe_calls, 1u);
    session.api().retro_run();
    const auto after_save = frontend.frame->bytes;
    ASSERT_TRUE(session.api().retro_unserialize(state->data(), state->size()));
    session.api().retro_run();
    session.api().retro_run();
    EXPECT_EQ(frontend.frame->bytes, after_save);
    EXPECT_EQ(frontend.dupe_calls, 2u);
}

TEST(TestCoreFixture, ReadsInputThroughTheInputCallback) {
    for (const bool bitmasks : {true, false}) {
        test::TestFrontend frontend;
        frontend.input_bitmasks = bitmasks;
        FixtureSession session("", frontend);
        frontend.joypad[0] = 0x0108;  // A and Start
        session.api().retro_run();
        EXPECT_THAT(session.journal(), HasSubstr("input frame=0 mask=0x0108"));
        EXPECT_EQ(frontend.poll_calls, 1u);
    }
    test::TestFrontend frontend;
    FixtureSession session("poll=never\n", frontend);
    session.api().retro_run();
    EXPECT_EQ(frontend.poll_calls, 0u);
}

TEST(TestCoreFixture, DrawsInSoftwareWhenHardwareRenderingIsRefused) {
    test::TestFrontend frontend;  // answers SET_HW_RENDER with false
    FixtureSession session("hw_render=opengl\n", frontend);
    session.api().retro_run();
    EXPECT_THAT(session.journal(), HasSubstr("env.set_hw_render opengl -> 0"));
    EXPECT_THAT(session.journal(), Not(HasSubstr("hw.context_reset")));
    ASSERT_TRUE(frontend.frame.has_value());
    EXPECT_EQ(frontend.frame->width, 64u);
}

TEST(TestRomFixture, HasAValidCartridgeHeader) {
    std::ifstream file(test::test_rom_path(), std::ios::binary);
    const std::string rom((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_GE(rom.size(), 0xC0u);
    EXPECT_EQ(static_cast<unsigned char>(rom[3]), 0xEA) << "starts with an ARM branch";
    EXPECT_EQ(rom.substr(0xA0, 9), "LKTESTROM");
    EXPECT_EQ(static_cast<unsigned char>(rom[0xB2]), 0x96);
    unsigned sum = 0;
    for (std::size_t i = 0xA0; i <= 0xBC; ++i) {
        sum += static_cast<unsigned char>(rom[i]);
    }
    EXPECT_EQ((sum + 0x19 + static_cast<unsigned char>(rom[0xBD])) & 0xFF, 0u)
        << "complement check";
}

}  // namespace
}  // namespace lk
