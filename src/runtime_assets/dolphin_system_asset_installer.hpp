#pragma once

#include <filesystem>
#include <optional>
#include <vector>

#include "runtime_assets/executable_path.hpp"
#include "runtime_assets/system_asset_installer.hpp"

namespace lk {

// The "Sys" tree of the Dolphin core (GameCube and Wii), installed as
// "dolphin-emu/Sys" in the system directory; "GameSettings" (a directory)
// marks a complete tree.
class DolphinSystemAssetInstaller final : public SystemAssetInstaller {
  public:
    static const SystemAssetLayout& layout();

    // The installer with the candidates of this load: `LUMENKITE_DOLPHIN_SYS_DIR` (read
    // now) and the staged locations around the executable and the working
    // directory.
    static DolphinSystemAssetInstaller desktop_defaults(
        const std::optional<std::filesystem::path>& executable_path = current_executable_path());

    explicit DolphinSystemAssetInstaller(std::vector<std::filesystem::path> source_candidates);
};

}  // namespace lk
