#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/error.hpp"
#include "libretro/abi.hpp"

namespace lk {

// The runner's copy of what a core reports in retro_system_info.
struct SystemInfo {
    std::string library_name;                    // "unknown" when the core gave NULL
    std::optional<std::string> library_version;  // absent when NULL
    std::vector<std::string> valid_extensions;   // split at "|", empty pieces dropped
    bool need_fullpath = false;
    bool block_extract = false;

    // Copies the core's record; fails when a text is not UTF-8.
    static Result<SystemInfo> from_raw(const retro::SystemInfo& raw);
};

// A core-owned C string as text: NULL gives no text; other bytes must be UTF-8
// ("core returned non UTF-8 string").
Result<std::optional<std::string>> ptr_to_string(const char* pointer);

// Splits a "|"-separated extension list, dropping empty pieces, keeping order.
std::vector<std::string> split_valid_extensions(std::string_view text);

}  // namespace lk
