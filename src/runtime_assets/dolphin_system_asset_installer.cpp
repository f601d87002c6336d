#include "runtime_assets/dolphin_system_asset_installer.hpp"

#include <utility>

namespace lk {

const SystemAssetLayout& DolphinSystemAssetInstaller::layout() {
    static const SystemAssetLayout kLayout{
        .environment_variable = "LUMENKITE_DOLPHIN_SYS_DIR",
        .staged_directory = "dolphin-system/dolphin-emu/Sys",
        .core_build_directory = ".core-build/source/dolphin/Data/Sys",
        .marker = "GameSettings",
        .marker_kind = AssetMarkerKind::directory,
        .source_probes = {"", "Sys", "dolphin-emu/Sys"},
        .installed_tree = "dolphin-emu/Sys",
        .copied_subdirectory = "",
        .created_directory = "",
        .not_found_message =
            "Dolphin Sys assets were not found. Stage dolphin-system/dolphin-emu/Sys before "
            "launching GameCube/Wii games, or set {variable}. Searched: {searched}.",
    };
    return kLayout;
}

DolphinSystemAssetInstaller DolphinSystemAssetInstaller::desktop_defaults(
    const std::optional<std::filesystem::path>& executable_path) {
    return DolphinSystemAssetInstaller(default_candidates(layout(), executable_path));
}

DolphinSystemAssetInstaller::DolphinSystemAssetInstaller(
    std::vector<std::filesystem::path> source_candidates)
    : SystemAssetInstaller(layout(), std::move(source_candidates)) {}

}  // namespace lk
