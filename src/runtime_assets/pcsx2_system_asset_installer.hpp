#pragma once

#include <filesystem>
#include <optional>
#include <vector>

#include "runtime_assets/executable_path.hpp"
#include "runtime_assets/system_asset_installer.hpp"

namespace lk {

// The "resources" tree of the PCSX2 core (PlayStation 2), installed as
// "pcsx2/resources" in the system directory beside an empty "pcsx2/bios";
// "resources/GameIndex.yaml" (a regular file) marks a complete tree.
class Pcsx2SystemAssetInstaller final : public SystemAssetInstaller {
  public:
    static const SystemAssetLayout& layout();

    // The installer with the candidates of this load: `LUMENKITE_PCSX2_ASSET_DIR` (read
    // now) and the staged locations around the executable and the working
    // directory.
    static Pcsx2SystemAssetInstaller desktop_defaults(
        const std::optional<std::filesystem::path>& executable_path = current_executable_path());

    explicit Pcsx2SystemAssetInstaller(std::vector<std::filesystem::path> source_candidates);
};

}  // namespace lk
