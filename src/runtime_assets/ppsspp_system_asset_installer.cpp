#include "runtime_assets/ppsspp_system_asset_installer.hpp"

#include <utility>

namespace lk {

const SystemAssetLayout& PpssppSystemAssetInstaller::layout() {
    static const SystemAssetLayout kLayout{
        .environment_variable = "LUMENKITE_PPSSPP_ASSET_DIR",
        .staged_directory = "ppsspp-system/PPSSPP",
        .core_build_directory = ".core-build/source/ppsspp/assets",
        .marker = "flash0/font/ltn0.pgf",
        .marker_kind = AssetMarkerKind::regular_file,
        .source_probes = {"", "PPSSPP"},
        .installed_tree = "PPSSPP",
        .copied_subdirectory = "",
        .created_directory = "",
        .not_found_message =
            "PPSSPP assets were not found. Build or package ppsspp-system/PPSSPP before "
            "launching PSP games, or set {variable}. Searched: {searched}.",
    };
    return kLayout;
}

PpssppSystemAssetInstaller PpssppSystemAssetInstaller::desktop_defaults(
    const std::optional<std::filesystem::path>& executable_path) {
    return PpssppSystemAssetInstaller(default_candidates(layout(), executable_path));
}

PpssppSystemAssetInstaller::PpssppSystemAssetInstaller(
    std::vector<std::filesystem::path> source_candidates)
    : SystemAssetInstaller(layout(), std::move(source_candidates)) {}

}  // namespace lk
