#include "runtime/runtime_system_directories.hpp"

#include <filesystem>
#include <initializer_list>

#include "runtime_assets/dolphin_system_asset_installer.hpp"
#include "runtime_assets/pcsx2_system_asset_installer.hpp"
#include "runtime_assets/ppsspp_system_asset_installer.hpp"

namespace lk {

namespace {

namespace fs = std::filesystem;

Status make_directories(const fs::path& path) {
    std::error_code error;
    fs::create_directories(path, error);
    if (error) {
        return fail(Error::from_error_code(error));
    }
    return {};
}

Status create_all(const fs::path& base, std::initializer_list<const char*> children) {
    for (const char* child : children) {
        if (auto created = make_directories(base / child); !created) {
            return created;
        }
    }
    return {};
}

bool selects(const LibretroRuntimeConfig& config, std::string_view core,
             std::string_view platform) {
    return config.core_id == core || config.platform_id == platform;
}

}  // namespace

Result<RuntimeSystemDirectories> prepare_runtime_system_directories(
    const LibretroRuntimeConfig& config) {
    const fs::path base =
        fs::temp_directory_path() / "lumenkite-desktop" / "libretro" / config.session_id;
    const fs::path system =
        config.system_directory ? fs::path(*config.system_directory) : base / "system";
    const fs::path save = config.save_directory ? fs::path(*config.save_directory) : base / "save";
    for (const fs::path* directory : {&system, &save}) {
        if (auto created = make_directories(*directory); !created) {
            return fail(std::move(created.error()));
        }
    }
    Status prepared;
    if (selects(config, "ppsspp", "psp")) {
        prepared =
            create_all(save, {"PSP/SAVEDATA", "PSP/PPSSPP_STATE", "PSP/SYSTEM", "PSP/TEXTURES"});
    }
    if (prepared && selects(config, "flycast", "dreamcast")) {
        prepared = create_all(system, {"dc"});
        if (prepared) {
            prepared = create_all(save, {"dreamcast"});
        }
    }
    if (prepared && selects(config, "dolphin", "gamecube")) {
        prepared = DolphinSystemAssetInstaller::desktop_defaults().ensure_installed(system);
        if (prepared) {
            prepared = create_all(save, {"dolphin-emu"});
        }
    }
    if (prepared && selects(config, "pcsx2", "ps2")) {
        prepared = Pcsx2SystemAssetInstaller::desktop_defaults().ensure_installed(system);
        if (prepared) {
            prepared = create_all(save, {"pcsx2"});
        }
    }
    if (!prepared) {
        return fail(std::move(prepared.error()));
    }
    return RuntimeSystemDirectories{system.string(), save.string()};
}

}  // namespace lk
