#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/error.hpp"
#include "libretro/abi.hpp"

namespace lk {

// The ROM handed to retro_load_game. The core may keep the pointers it gets
// until retro_unload_game, so every pointed-to buffer lives on the heap and
// keeps its address when the request is moved; drop the request only after the
// game has been unloaded.
class GameLoadRequest {
  public:
    // Reads the whole file unless the core wants a full path.
    static Result<GameLoadRequest> from_path(const std::filesystem::path& rom_path,
                                             bool need_fullpath);

    const std::filesystem::path& path() const { return path_; }
    // The path as NUL-terminated text (the same address as game_info().path).
    const char* path_c() const { return path_c_.get(); }
    // The ROM bytes; absent when the core loads from the path itself.
    const std::optional<std::vector<std::uint8_t>>& data() const { return data_; }
    // path -> path_c, data -> the bytes or NULL, size -> byte count or 0, meta NULL.
    const retro::GameInfo& game_info() const { return *game_info_; }

  private:
    GameLoadRequest() = default;

    std::filesystem::path path_;
    std::unique_ptr<char[]> path_c_;
    std::optional<std::vector<std::uint8_t>> data_;
    std::unique_ptr<retro::GameInfo> game_info_;
};

}  // namespace lk
