// Drives real libretro cores (Debian's packaged builds, fetched by
// scripts/fetch-test-cores.sh) through CoreApi: mGBA runs our homebrew ROM,
// and every fetched core declares its options in the layouts we read.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/utf8.hpp"
#include "fixtures.hpp"
#include "libretro/core_api.hpp"
#include "test_frontend.hpp"

namespace lk {
namespace {

using test::real_cores_dir;
using test::RecordedFrame;

constexpr std::uint16_t kButtonA = 1u << retro::joypad::kA;

// The path of a fetched core; empty when it is missing.
std::optional<std::filesystem::path> real_core(const std::string& file) {
    const auto path = real_cores_dir() / file;
    if (!std::filesystem::exists(path)) {
        return std::nullopt;
    }
    return path;
}

std::string missing_core_message(const std::string& file) {
    return "Real core " + (real_cores_dir() / file).string() +
           " is missing: run scripts/fetch-test-cores.sh " + real_cores_dir().string() +
           " first (the LK_TEST_CORES_DIR environment variable overrides the directory).";
}

// One RGB565 pixel split into its 5-, 6- and 5-bit channels.
struct Rgb565 {
    unsigned r, g, b;
};

Rgb565 pixel_at(const RecordedFrame& frame, unsigned x, unsigned y) {
    const std::uint8_t* at = frame.bytes.data() + y * frame.pitch + x * 2;
    const unsigned value = at[0] | (at[1] << 8);
    return {value >> 11, (value >> 5) & 0x3f, value & 0x1f};
}

bool is_red(Rgb565 p) {
    return p.r >= 28 && p.g < 8 && p.b < 4;
}
bool is_green(Rgb565 p) {
    return p.g >= 56 && p.r < 4 && p.b < 4;
}

// The ROM draws its frame counter as 16 cells, white for 1, least significant first.
unsigned drawn_counter(const RecordedFrame& frame) {
    unsigned value = 0;
    for (unsigned bit = 0; bit < 16; ++bit) {
        const Rgb565 cell = pixel_at(frame, 8 + 14 * bit + 4, 144);
        if (cell.r >= 28 && cell.g >= 56 && cell.b >= 28) {
            value |= 1u << bit;
        }
    }
    return value;
}

class MgbaWithOurRom : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto path = real_core("mgba_libretro.so");
        ASSERT_TRUE(path.has_value()) << missing_core_message("mgba_libretro.so");
        auto loaded = CoreApi::load(*path);
        ASSERT_TRUE(loaded.has_value()) << loaded.error().display_chain();
        core_.emplace(std::move(*loaded));
        frontend_.system_directory = dir_.path().string();
        frontend_.save_directory = dir_.path().string();
        frontend_.attach(*core_);
        core_->retro_init();
        initialized_ = true;
        ASSERT_TRUE(core_->check_api_version().has_value());

        auto info = core_->system_info();
        ASSERT_TRUE(info.has_value()) << info.error().display();
        EXPECT_FALSE(info->need_fullpath);
        auto request = GameLoadRequest::from_path(test::test_rom_path(), info->need_fullpath);
        ASSERT_TRUE(request.has_value()) << request.error().display_chain();
        request_.emplace(std::move(*request));
        auto status = core_->load_game(*request_);
        ASSERT_TRUE(status.has_value()) << status.error().display();
        game_loaded_ = true;
    }

    void TearDown() override {
        if (game_loaded_) {
            core_->retro_unload_game();
        }
        if (initialized_) {
            core_->retro_deinit();
        }
    }

    // Runs one frame with the given port-0 buttons; returns that frame's audio.
    std::vector<std::int16_t> run_frame(std::uint16_t buttons = 0) {
        frontend_.joypad[0] = buttons;
        frontend_.audio.clear();
        core_->retro_run();
        return frontend_.audio;
    }

    const RecordedFrame& frame() {
        EXPECT_TRUE(frontend_.frame.has_value());
        return *frontend_.frame;
    }

    test::TestFrontend frontend_;
    test::TempDir dir_;
    std::optional<CoreApi> core_;
    std::optional<GameLoadRequest> request_;
    bool initialized_ = false;
    bool game_loaded_ = false;
};

TEST_F(MgbaWithOurRom, ShowsOurPictureAndPlaysOurTone) {
    retro::SystemAvInfo av{};
    core_->retro_get_system_av_info(&av);
    EXPECT_EQ(av.geometry.base_width, 240u);
    EXPECT_EQ(av.geometry.base_height, 160u);
    EXPECT_NEAR(av.timing.fps, 59.7275, 0.01);
    ASSERT_GT(av.timing.sample_rate, 8000.0);

    std::vector<std::int16_t> audio;
    std::vector<unsigned> counters;
    for (int i = 0; i < 120; ++i) {
        const auto chunk = run_frame();
        audio.insert(audio.end(), chunk.begin(), chunk.end());
        if (frontend_.frame) {
            counters.push_back(drawn_counter(*frontend_.frame));
        }
    }

    EXPECT_EQ(frontend_.pixel_format, 2u) << "mGBA renders RGB565";
    const RecordedFrame& picture = frame();
    EXPECT_EQ(picture.width, 240u);
    EXPECT_EQ(picture.height, 160u);
    EXPECT_EQ(picture.pitch, 512u) << "rows are padded to 256 pixels";
    EXPECT_EQ(picture.bytes.size(), picture.pitch * picture.height);
    EXPECT_TRUE(is_red(pixel_at(picture, 120, 74)));
    EXPECT_FALSE(is_red(pixel_at(picture, 20, 74))) << "background outside the rectangle";

    // The ROM's frame counter advances by one per emulated frame.
    ASSERT_GE(counters.size(), 100u);
    for (std::size_t i = counters.size() - 60; i < counters.size(); ++i) {
        EXPECT_EQ(counters[i], counters[i - 1] + 1) << "at frame " << i;
    }

    // Two seconds of stereo audio at the reported rate, carrying a ~440 Hz tone.
    const double seconds = 120.0 / av.timing.fps;
    const double frames = static_cast<double>(audio.size()) / 2.0;
    EXPECT_NEAR(frames, av.timing.sample_rate * seconds, av.timing.sample_rate * seconds * 0.05);
    std::vector<double> left;
    for (std::size_t i = audio.size() / 2; i + 1 < audio.size(); i += 2) {
        left.push_back(audio[i]);  // second half: the tone has settled
    }
    const auto [low, high] = std::minmax_element(left.begin(), left.end());
    ASSERT_GT(*high - *low, 1000.0) << "the tone is audible";
    const double middle = (*low + *high) / 2.0;
    int crossings = 0;
    for (std::size_t i = 1; i < left.size(); ++i) {
        crossings += (left[i - 1] < middle) != (left[i] < middle);
    }
    const double hertz =
        crossings / 2.0 / (static_cast<double>(left.size()) / av.timing.sample_rate);
    EXPECT_NEAR(hertz, 440.0, 15.0);
}

TEST_F(MgbaWithOurRom, HoldingAChangesTheRectangle) {
    for (int i = 0; i < 10; ++i) {
        run_frame();
    }
    EXPECT_TRUE(is_red(pixel_at(frame(), 120, 74)));
    for (int i = 0; i < 3; ++i) {
        run_frame(kButtonA);
    }
    EXPECT_TRUE(is_green(pixel_at(frame(), 120, 74)));
    // Only A counts: other buttons leave it red.
    for (int i = 0; i < 3; ++i) {
        run_frame(1u << retro::joypad::kB | 1u << retro::joypad::kStart);
    }
    EXPECT_TRUE(is_red(pixel_at(frame(), 120, 74)));

    // The same through per-button queries, for frontends without bit masks.
    frontend_.input_bitmasks = false;
    for (int i = 0; i < 3; ++i) {
        run_frame(kButtonA);
    }
    EXPECT_TRUE(is_green(pixel_at(frame(), 120, 74)));
}

TEST_F(MgbaWithOurRom, RestoringAStateReplaysTheSameFrames) {
    for (int i = 0; i < 30; ++i) {
        run_frame();
    }
    auto state = core_->serialize();
    ASSERT_TRUE(state.has_value()) << state.error().display();
    EXPECT_GT(state->size(), 1000u);
    const unsigned counter_at_save = drawn_counter(frame());

    // A script with A held in the middle, recorded as per-frame picture
    // fingerprints. (Sound is not compared: mGBA's state leaves out its audio
    // buffer, so the first frames after a restore sound slightly different.)
    auto play = [&] {
        std::vector<std::uint64_t> trace;
        for (int i = 0; i < 20; ++i) {
            run_frame(i >= 5 && i < 12 ? kButtonA : 0);
            trace.push_back(test::hash_visible_pixels(frame(), 2));
        }
        return trace;
    };
    const auto first = play();
    ASSERT_TRUE(core_->retro_unserialize(state->data(), state->size()));
    run_frame();
    EXPECT_EQ(drawn_counter(frame()), counter_at_save + 1);
    ASSERT_TRUE(core_->retro_unserialize(state->data(), state->size()));
    const auto second = play();

    EXPECT_EQ(first, second);
    EXPECT_NE(first[0], first[1]) << "the frames differ over the script";
}

TEST_F(MgbaWithOurRom, InputDescriptorsUseOurLayout) {
    ASSERT_FALSE(frontend_.input_descriptors.empty());
    for (std::size_t i = 0; i < frontend_.input_descriptors.size(); ++i) {
        const auto& d = frontend_.input_descriptors[i];
        EXPECT_LE(d.port, 3u);
        EXPECT_THAT((std::vector<unsigned>{retro::device::kJoypad, retro::device::kAnalog}),
                    ::testing::Contains(d.device & retro::kDeviceMask));
        EXPECT_TRUE(is_valid_utf8(frontend_.input_descriptions[i]));
        EXPECT_FALSE(frontend_.input_descriptions[i].empty());
    }
}

// Every fetched core, asked for each options version, declares options that
// read back sensibly through our record layouts. (DeSmuME is left out: the
// packaged 0.9.11 leaks about 80 MB per init/deinit and frees objects with
// mismatched delete forms, which sanitizer builds report; its options are of
// the legacy variables kind that mGBA already covers.)
TEST(RealCores, DeclareOptionsInTheLayoutsWeRead) {
    struct Expectation {
        const char* file;
        const char* key_prefix;
    };
    const Expectation cores[] = {
        {"mgba_libretro.so", "mgba_"},
        {"nestopia_libretro.so", "nestopia_"},
        {"gambatte_libretro.so", "gambatte_"},
    };
    for (const auto& expectation : cores) {
        const auto path = real_core(expectation.file);
        if (!path) {
            ADD_FAILURE() << missing_core_message(expectation.file);
            continue;
        }
        std::vector<std::string> styles;
        for (const unsigned version : {0u, 1u, 2u}) {
            SCOPED_TRACE(std::string(expectation.file) + " options version " +
                         std::to_string(version));
            auto core = CoreApi::load(*path);
            ASSERT_TRUE(core.has_value()) << core.error().display_chain();
            test::TestFrontend frontend;
            frontend.core_options_version = version;
            frontend.attach(*core);
            core->retro_init();
            auto info = core->system_info();
            EXPECT_TRUE(info.has_value());
            core->retro_deinit();

            styles.push_back(frontend.options_style);
            for (const auto& option : frontend.options) {
                EXPECT_TRUE(is_valid_utf8(option.key));
                EXPECT_TRUE(option.key.starts_with(expectation.key_prefix)) << option.key;
                EXPECT_FALSE(option.values.empty()) << option.key;
                EXPECT_LE(option.values.size(), retro::kNumCoreOptionValuesMax);
                for (const auto& value : option.values) {
                    EXPECT_TRUE(is_valid_utf8(value)) << option.key;
                }
                if (option.default_value && !option.default_value->empty()) {
                    EXPECT_THAT(option.values, ::testing::Contains(*option.default_value))
                        << option.key;
                }
                if (option.category) {
                    EXPECT_THAT(frontend.option_categories, ::testing::Contains(*option.category))
                        << option.key;
                }
            }
            if (!frontend.options_style.empty()) {
                EXPECT_FALSE(frontend.options.empty());
            }
        }
        SCOPED_TRACE(expectation.file);
        EXPECT_THAT(styles, ::testing::Contains(::testing::Not(::testing::IsEmpty())))
            << "declares options in some style";
        if (std::string(expectation.file) == "mgba_libretro.so") {
            // mGBA follows the version it is told: all three layouts get read.
            EXPECT_THAT(styles, ::testing::ElementsAre("variables", "v1", "v2"));
        }
    }
}

}  // namespace
}  // namespace lk
