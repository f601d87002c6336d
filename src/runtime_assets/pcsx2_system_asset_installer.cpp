#include "runtime_assets/pcsx2_system_asset_installer.hpp"

#include <utility>

namespace lk {

const SystemAssetLayout& Pcsx2SystemAssetInstaller::layout() {
    static const SystemAssetLayout kLayout{
        .environment_variable = "LUMENKITE_PCSX2_ASSET_DIR",
        .staged_directory = "pcsx2-system/pcsx2",
        .core_build_directory = ".core-build/system/pcsx2/pcsx2",
        .marker = "resources/GameIndex.yaml",
        .marker_kind = AssetMarkerKind::regular_file,
        .source_probes = {"", "pcsx2"},
        .installed_tree = "pcsx2",
        .copied_subdirectory = "resources",
        .created_directory = "pcsx2/bios",
        .not_found_message =
            "PCSX2/LRPS2 assets were not found. Run download-libretro-system-assets.sh or "
            "package pcsx2-system/pcsx2 before launching PS2 games, or set {variable}. Searched: "
            "{searched}.",
    };
    return kLayout;
}

Pcsx2SystemAssetInstaller Pcsx2SystemAssetInstaller::desktop_defaults(
    const std::optional<std::filesystem::path>& executable_path) {
    return Pcsx2SystemAssetInstaller(default_candidates(layout(), executable_path));
}

Pcsx2SystemAssetInstaller::Pcsx2SystemAssetInstaller(
    std::vector<std::filesystem::path> source_candidates)
    : SystemAssetInstaller(layout(), std::move(source_candidates)) {}

}  // namespace lk
