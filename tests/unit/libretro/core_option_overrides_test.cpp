#include "libretro/core_option_overrides.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>

namespace lk {
namespace {

using ::testing::IsEmpty;

TEST(CoreOptionOverrides, GraphicsLevelComparesTheProfileExactly) {
    EXPECT_EQ(graphics_level("native"), 0u);
    EXPECT_EQ(graphics_level("balanced"), 1u);
    EXPECT_EQ(graphics_level("sharp"), 2u);
    EXPECT_EQ(graphics_level("ultra"), 3u);
    EXPECT_EQ(graphics_level("Sharp"), 0u);
    EXPECT_EQ(graphics_level(" ultra"), 0u);
    EXPECT_EQ(graphics_level(""), 0u);
}

TEST(CoreOptionOverrides, RecognisesCoresByFileNameAndRomsByExtension) {
    const std::pair<const char*, const char*> names[] = {
        {"/c/Mupen64Plus_Next_libretro.so", "mupen64plus_next_libretro.so"},
        {"relative.SO", "relative.so"},
        {"/cores/dir/", "dir"},
        {"/", ""},
        {"/c/..", ""},
        {"/c/\xff_libretro.so", ""},
    };
    for (const auto& [path, name] : names) {
        EXPECT_EQ(lowercase_file_name(path), name) << path;
    }
    const std::pair<const char*, const char*> extensions[] = {
        {"/roms/GAME.Z64", "z64"}, {"a.tar.Gz", "gz"}, {".n64", ""},
        {"/roms.d/game", ""},      {"game.", ""},      {"/roms/\xffgame.n64", ""},
    };
    for (const auto& [path, extension] : extensions) {
        EXPECT_EQ(lowercase_extension(path), extension) << path;
    }
}

TEST(CoreOptionOverrides, BuiltInBlocksFollowCoreRomAndGraphicsLevel) {
    struct Case {
        const char* core;
        const char* rom;
        const char* profile;
        const char* key;
        const char* value;  // nullptr: no override for the key
    };
    const Case cases[] = {
        {"/c/mupen64plus_next_libretro.so", "g.bin", "ultra", "mupen64plus-rdp-plugin",
         "angrylion"},
        {"/c/mgba_libretro.so", "/r/GAME.Z64", "native", "mupen64plus-cpucore",
         "dynamic_recompiler"},
        {"/c/mgba_libretro.so", "/r/game.N64", "native", "mupen64plus-ThreadedRenderer", "False"},
        {"/c/mgba_libretro.so", "/r/game.v64", "native", "mupen64plus-astick-sensitivity", "100"},
        {"/c/mgba_libretro.so", "/r/game.gba", "native", "mupen64plus-cpucore", nullptr},
        {"/c/PPSSPP_libretro.so", "g.iso", "native", "ppsspp_internal_resolution", "480x272"},
        {"/c/ppsspp_libretro.so", "g.iso", "balanced", "ppsspp_internal_resolution", "960x544"},
        {"/c/ppsspp_libretro.so", "g.iso", "ultra", "ppsspp_internal_resolution", "1920x1088"},
        {"/c/ppsspp_libretro.so", "g.iso", "ultra", "ppsspp_analog_sensitivity", "1.00"},
        {"/c/swanstation_libretro.so", "g.cue", "native", "swanstation_GPU_Renderer", "Software"},
        {"/c/swanstation_libretro.so", "g.cue", "Sharp", "swanstation_GPU_UseThread", "true"},
        {"/c/swanstation_libretro.so", "g.cue", "native", "swanstation_GPU_TrueColor", nullptr},
        {"/c/swanstation_libretro.so", "g.cue", "balanced", "swanstation_GPU_Renderer",
         "Hardware (OpenGL)"},
        {"/c/swanstation_libretro.so", "g.cue", "balanced", "swanstation_GPU_ResolutionScale",
         "3x (for 720p)"},
        {"/c/swanstation_libretro.so", "g.cue", "balanced", "swanstation_GPU_MSAA", nullptr},
        {"/c/swanstation_libretro.so", "g.cue", "balanced", "swanstation_GPU_UseThread", nullptr},
        {"/c/swanstation_libretro.so", "g.cue", "sharp", "swanstation_GPU_MSAA", "4x MSAA"},
        {"/c/swanstation_libretro.so", "g.cue", "ultra", "swanstation_GPU_MSAA", "8x MSAA"},
        {"/c/swanstation_libretro.so", "g.cue", "ultra", "swanstation_GPU_ResolutionScale",
         "6x (for 1440p)"},
        {"/c/flycast_libretro.so", "g.gdi", "native", "reicast_internal_resolution", "640x480"},
        {"/c/flycast_libretro.so", "g.gdi", "sharp", "flycast_internal_resolution", "1024x768"},
        {"/c/flycast_libretro.so", "g.gdi", "native", "flycast_per_content_vmus", "VMU A1"},
        {"/c/flycast_libretro.so", "g.gdi", "native", "reicast_analog_stick_deadzone", "0%"},
        {"/c/dolphin_libretro.so", "g.iso", "native", "dolphin_efb_scale", "1x Native (640x528)"},
        {"/c/dolphin_libretro.so", "g.iso", "ultra", "dolphin_efb_scale",
         "4x Native (2560x2112) for 1440p"},
        {"/c/dolphin_libretro.so", "g.iso", "ultra", "dolphin_main_cpu_thread", "disabled"},
        {"/c/pcsx2_libretro.so", "g.iso", "balanced", "pcsx2_blending_accuracy", "Basic"},
        {"/c/pcsx2_libretro.so", "g.iso", "sharp", "pcsx2_blending_accuracy", "Medium"},
        {"/c/pcsx2_libretro.so", "g.iso", "ultra", "pcsx2_upscale_multiplier",
         "4x Native (~1440p/2K)"},
        {"/c/desmume_libretro.so", "g.nds", "ultra", "desmume_screens_layout", "top/bottom"},
        {"/c/desmume_libretro.so", "g.nds", "native", "desmume_pointer_type", "touch"},
        {"/c/ppsspp_libretro.so", "g.z64", "native", "mupen64plus-alt-map", "False"},
    };
    for (const auto& c : cases) {
        const auto overrides = default_core_option_overrides(c.core, c.rom, c.profile);
        const auto found = overrides.find(c.key);
        const std::optional<std::string> value =
            found != overrides.end() ? std::optional(found->second) : std::nullopt;
        EXPECT_EQ(value, c.value != nullptr ? std::optional<std::string>(c.value) : std::nullopt)
            << c.core << " " << c.rom << " " << c.profile << " " << c.key;
    }

    EXPECT_THAT(default_core_option_overrides("/c/mgba_libretro.so", "g.gba", "ultra"), IsEmpty());
    EXPECT_EQ(default_core_option_overrides("/c/swanstation_libretro.so", "g", "native").size(),
              2u);
    EXPECT_EQ(default_core_option_overrides("/c/swanstation_libretro.so", "g", "balanced").size(),
              7u);
    EXPECT_EQ(default_core_option_overrides("/c/flycast_libretro.so", "g", "native").size(), 22u);
}

TEST(CoreOptionOverrides, ParsesEnvironmentEntries) {
    using Map = CoreOptionOverrides;
    const std::pair<const char*, Map> cases[] = {
        {"a=1, b = 2 ;c;=3;d=", Map{{"a", "1"}, {"b", "2"}}},
        {"a=1\nb=2\r\n \n", Map{{"a", "1"}, {"b", "2"}}},
        {"a=1;a=2", Map{{"a", "2"}}},
        {" k = x=y ", Map{{"k", "x=y"}}},
        {"gpu renderer = Hardware (OpenGL)", Map{{"gpu renderer", "Hardware (OpenGL)"}}},
        {" \t ,;\n", Map{}},
        {"", Map{}},
    };
    for (const auto& [text, expected] : cases) {
        Map overrides;
        apply_core_option_override_text(overrides, text);
        EXPECT_EQ(overrides, expected) << text;
    }
    Map built_in{{"a", "built-in"}, {"b", "kept"}};
    apply_core_option_override_text(built_in, "a=mine");
    EXPECT_EQ(built_in, (Map{{"a", "mine"}, {"b", "kept"}}));
}

}  // namespace
}  // namespace lk
