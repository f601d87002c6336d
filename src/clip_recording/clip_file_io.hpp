#pragma once

// Small file helpers of clip recording that report failures as error values.

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "common/error.hpp"

namespace lk {

// Creates, truncates and writes the whole file (permission bits 0666 before the umask).
Status write_clip_file(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);
Result<std::vector<std::uint8_t>> read_clip_file(const std::filesystem::path& path);
// Creates the directory and every missing parent (0777 before the umask).
Status create_clip_directories(const std::filesystem::path& path);
// Removes a tree, ignoring every failure.
void remove_clip_tree(const std::filesystem::path& path) noexcept;

}  // namespace lk
