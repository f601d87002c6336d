#pragma once

// Where option overrides come from: the runner's built-in table, which tunes
// well-known cores for the desktop runner and the session's graphics profile,
// and the LUMENKITE_CORE_OPTION_OVERRIDES environment variable.

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace lk {

// Option key to the value the runner prefers for it.
using CoreOptionOverrides = std::map<std::string, std::string, std::less<>>;

// The graphics level of a core graphics profile, compared exactly: "balanced"
// 1, "sharp" 2, "ultra" 3, anything else ("native" included) 0.
unsigned graphics_level(std::string_view core_graphics_profile);

// The built-in overrides for the core library (recognised by its lower-cased
// file name) and the ROM (by its lower-cased extension) at the profile's
// graphics level.
CoreOptionOverrides default_core_option_overrides(const std::filesystem::path& core_library_path,
                                                  const std::filesystem::path& rom_path,
                                                  std::string_view core_graphics_profile);

// Inserts the Flycast option under both its "reicast_" and "flycast_" names,
// so older and newer builds of the core both find it.
void insert_flycast_option_override(CoreOptionOverrides& overrides, std::string_view suffix,
                                    std::string_view value);

// Applies "key=value" entries separated by ",", ";" or newlines on top of
// `overrides`, in order. Pieces and their key and value are trimmed; empty
// pieces and entries without "=", key or value are skipped.
void apply_core_option_override_text(CoreOptionOverrides& overrides, std::string_view text);

// The lower-cased (ASCII) file name of a path; empty when the path has no
// file name or is not valid UTF-8.
std::string lowercase_file_name(const std::filesystem::path& path);

// The lower-cased (ASCII) extension of a path's file name, without the dot;
// empty when there is none.
std::string lowercase_extension(const std::filesystem::path& path);

}  // namespace lk
