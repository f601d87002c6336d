#include "libretro/core_option_overrides.hpp"

#include <array>
#include <initializer_list>
#include <utility>

#include "common/utf8.hpp"
#include "libretro/core_option_text.hpp"

namespace lk {

namespace {

using Entry = std::pair<std::string_view, std::string_view>;
// One value per graphics level 0 to 3.
using PerLevel = std::array<std::string_view, 4>;

void insert_all(CoreOptionOverrides& overrides, std::initializer_list<Entry> entries) {
    for (const auto& [key, value] : entries) {
        overrides.insert_or_assign(std::string(key), std::string(value));
    }
}

void insert_per_level(CoreOptionOverrides& overrides, std::string_view key, const PerLevel& values,
                      unsigned level) {
    overrides.insert_or_assign(std::string(key), std::string(values[level]));
}

void to_ascii_lower(std::string& text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
}

bool is_n64_extension(std::string_view extension) {
    return extension == "z64" || extension == "n64" || extension == "v64";
}

void insert_mupen64plus(CoreOptionOverrides& overrides) {
    insert_all(overrides, {
                              {"mupen64plus-cpucore", "dynamic_recompiler"},
                              {"mupen64plus-rdp-plugin", "angrylion"},
                              {"mupen64plus-rsp-plugin", "cxd4"},
                              {"mupen64plus-alt-map", "False"},
                              {"mupen64plus-astick-deadzone", "0"},
                              {"mupen64plus-astick-sensitivity", "100"},
                              {"mupen64plus-ThreadedRenderer", "False"},
                              {"mupen64plus-FrameDuping", "False"},
                              {"mupen64plus-parallel-rdp-synchronous", "False"},
                          });
}

void insert_ppsspp(CoreOptionOverrides& overrides, unsigned level) {
    insert_all(overrides, {{"ppsspp_cpu_core", "jit"}});
    insert_per_level(overrides, "ppsspp_internal_resolution",
                     {"480x272", "960x544", "1440x816", "1920x1088"}, level);
    insert_all(overrides, {
                              {"ppsspp_rendering_mode", "buffered"},
                              {"ppsspp_io_timing_method", "Fast"},
                              {"ppsspp_fast_memory", "disabled"},
                              {"ppsspp_analog_deadzone", "0.0"},
                              {"ppsspp_analog_sensitivity", "1.00"},
                              {"ppsspp_block_transfer_gpu", "enabled"},
                              {"ppsspp_gpu_hardware_transform", "enabled"},
                          });
}

void insert_swanstation(CoreOptionOverrides& overrides, unsigned level) {
    if (level == 0) {
        insert_all(overrides, {
                                  {"swanstation_GPU_Renderer", "Software"},
                                  {"swanstation_GPU_UseThread", "true"},
                              });
        return;
    }
    insert_all(overrides, {{"swanstation_GPU_Renderer", "Hardware (OpenGL)"}});
    insert_per_level(overrides, "swanstation_GPU_ResolutionScale",
                     {"", "3x (for 720p)", "5x (for 1080p)", "6x (for 1440p)"}, level);
    insert_all(overrides, {{"swanstation_GPU_TextureFilter", "Bilinear (No Edge Blending)"}});
    if (level >= 2) {
        insert_per_level(overrides, "swanstation_GPU_MSAA", {"", "", "4x MSAA", "8x MSAA"}, level);
    }
    insert_all(overrides, {
                              {"swanstation_GPU_TrueColor", "true"},
                              {"swanstation_GPU_ScaledDithering", "true"},
                              {"swanstation_GPU_PGXPEnable", "true"},
                              {"swanstation_GPU_PGXPTextureCorrection", "true"},
                          });
}

void insert_flycast(CoreOptionOverrides& overrides, unsigned level) {
    constexpr PerLevel kResolution = {"640x480", "800x600", "1024x768", "1280x960"};
    insert_flycast_option_override(overrides, "hle_bios", "enabled");
    insert_flycast_option_override(overrides, "internal_resolution", kResolution[level]);
    insert_flycast_option_override(overrides, "cable_type", "TV (Composite)");
    insert_flycast_option_override(overrides, "enable_dsp", "enabled");
    insert_flycast_option_override(overrides, "threaded_rendering", "enabled");
    insert_flycast_option_override(overrides, "detect_vsync_swap_interval", "enabled");
    insert_flycast_option_override(overrides, "alpha_sorting", "per-triangle (normal)");
    insert_flycast_option_override(overrides, "analog_stick_deadzone", "0%");
    insert_flycast_option_override(overrides, "auto_skip_frame", "disabled");
    insert_flycast_option_override(overrides, "device_port1_slot1", "VMU");
    insert_flycast_option_override(overrides, "per_content_vmus", "VMU A1");
}

void insert_dolphin(CoreOptionOverrides& overrides, unsigned level) {
    insert_all(overrides, {{"dolphin_main_cpu_thread", "disabled"}});
    insert_per_level(overrides, "dolphin_efb_scale",
                     {"1x Native (640x528)", "2x Native (1280x1056) for 720p",
                      "3x Native (1920x1584) for 1080p", "4x Native (2560x2112) for 1440p"},
                     level);
    insert_all(overrides, {{"dolphin_texture_cache_accuracy", "Fast"}});
}

void insert_pcsx2(CoreOptionOverrides& overrides, unsigned level) {
    insert_all(overrides, {{"pcsx2_renderer", "OpenGL"}});
    insert_per_level(
        overrides, "pcsx2_upscale_multiplier",
        {"1x Native (PS2)", "2x Native (~720p)", "3x Native (~1080p)", "4x Native (~1440p/2K)"},
        level);
    insert_all(overrides, {{"pcsx2_texture_filtering", "Bilinear (PS2)"}});
    insert_per_level(overrides, "pcsx2_blending_accuracy", {"Basic", "Basic", "Medium", "High"},
                     level);
}

void insert_desmume(CoreOptionOverrides& overrides) {
    insert_all(overrides, {
                              {"desmume_cpu_mode", "jit"},
                              {"desmume_num_cores", "2"},
                              {"desmume_screens_layout", "top/bottom"},
                              {"desmume_screens_gap", "0"},
                              {"desmume_pointer_mouse", "enabled"},
                              {"desmume_pointer_type", "touch"},
                          });
}

}  // namespace

unsigned graphics_level(std::string_view core_graphics_profile) {
    if (core_graphics_profile == "balanced") {
        return 1;
    }
    if (core_graphics_profile == "sharp") {
        return 2;
    }
    if (core_graphics_profile == "ultra") {
        return 3;
    }
    return 0;
}

std::string lowercase_file_name(const std::filesystem::path& path) {
    std::string_view text = path.native();
    while (!text.empty() && text.back() == '/') {
        text.remove_suffix(1);
    }
    const auto slash = text.rfind('/');
    if (slash != std::string_view::npos) {
        text.remove_prefix(slash + 1);
    }
    if (text.empty() || text == "." || text == ".." || !is_valid_utf8(text)) {
        return {};
    }
    std::string name(text);
    to_ascii_lower(name);
    return name;
}

std::string lowercase_extension(const std::filesystem::path& path) {
    const std::string name = lowercase_file_name(path);
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) {
        return {};
    }
    return name.substr(dot + 1);
}

void insert_flycast_option_override(CoreOptionOverrides& overrides, std::string_view suffix,
                                    std::string_view value) {
    for (const std::string_view prefix : {"reicast_", "flycast_"}) {
        std::string key(prefix);
        key.append(suffix);
        overrides.insert_or_assign(std::move(key), std::string(value));
    }
}

CoreOptionOverrides default_core_option_overrides(const std::filesystem::path& core_library_path,
                                                  const std::filesystem::path& rom_path,
                                                  std::string_view core_graphics_profile) {
    const std::string core = lowercase_file_name(core_library_path);
    const std::string extension = lowercase_extension(rom_path);
    const unsigned level = graphics_level(core_graphics_profile);
    const auto names = [&core](std::string_view part) {
        return core.find(part) != std::string::npos;
    };

    CoreOptionOverrides overrides;
    if (names("mupen64plus") || is_n64_extension(extension)) {
        insert_mupen64plus(overrides);
    }
    if (names("ppsspp")) {
        insert_ppsspp(overrides, level);
    }
    if (names("swanstation")) {
        insert_swanstation(overrides, level);
    }
    if (names("flycast")) {
        insert_flycast(overrides, level);
    }
    if (names("dolphin")) {
        insert_dolphin(overrides, level);
    }
    if (names("pcsx2")) {
        insert_pcsx2(overrides, level);
    }
    if (names("desmume")) {
        insert_desmume(overrides);
    }
    return overrides;
}

void apply_core_option_override_text(CoreOptionOverrides& overrides, std::string_view text) {
    while (true) {
        const auto end = text.find_first_of(",;\n");
        const std::string_view piece = trim_white_space(text.substr(0, end));
        const auto equals = piece.find('=');
        if (equals != std::string_view::npos) {
            const std::string_view key = trim_white_space(piece.substr(0, equals));
            const std::string_view value = trim_white_space(piece.substr(equals + 1));
            if (!key.empty() && !value.empty()) {
                overrides.insert_or_assign(std::string(key), std::string(value));
            }
        }
        if (end == std::string_view::npos) {
            return;
        }
        text.remove_prefix(end + 1);
    }
}

}  // namespace lk
