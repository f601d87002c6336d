#pragma once

#include <filesystem>
#include <optional>

namespace lk {

// The path of the running executable, when the system can tell it.
std::optional<std::filesystem::path> current_executable_path();

}  // namespace lk
