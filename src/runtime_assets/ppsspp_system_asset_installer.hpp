#pragma once

#include <filesystem>
#include <optional>
#include <vector>

#include "runtime_assets/executable_path.hpp"
#include "runtime_assets/system_asset_installer.hpp"

namespace lk {

// The flash and font tree of the PPSSPP core (PSP), installed as "PPSSPP"
// in the system directory; "flash0/font/ltn0.pgf" (a regular file) marks a
// complete tree.
class PpssppSystemAssetInstaller final : public SystemAssetInstaller {
  public:
    static const SystemAssetLayout& layout();

    // The installer with the candidates of this load: `LUMENKITE_PPSSPP_ASSET_DIR` (read
    // now) and the staged locations around the executable and the working
    // directory.
    static PpssppSystemAssetInstaller desktop_defaults(
        const std::optional<std::filesystem::path>& executable_path = current_executable_path());

    explicit PpssppSystemAssetInstaller(std::vector<std::filesystem::path> source_candidates);
};

}  // namespace lk
