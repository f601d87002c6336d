#pragma once

#include <string>

#include "common/error.hpp"
#include "runtime/libretro_runtime_config.hpp"

namespace lk {

struct RuntimeSystemDirectories {
    std::string system_directory;
    std::string save_directory;
};

// The session's system and save directories (the shell's, or below
// <tmp>/lumenkite-desktop/libretro/<session>), created with the per-core
// folders and system assets that some cores need before they start.
Result<RuntimeSystemDirectories> prepare_runtime_system_directories(
    const LibretroRuntimeConfig& config);

}  // namespace lk
