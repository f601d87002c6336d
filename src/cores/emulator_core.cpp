#include "cores/emulator_core.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

namespace lk {

bool core_supports(std::string_view own_core_id, const std::vector<std::string>& platform_ids,
                   std::string_view core_id, std::string_view platform_id) {
    return core_id == own_core_id &&
           std::find(platform_ids.begin(), platform_ids.end(), platform_id) != platform_ids.end();
}

Result<RomFile> check_rom_file(const LoadRomCommandPayload& payload) {
    const auto* file = std::get_if<FileRomSource>(&payload.source);
    if (file == nullptr) {
        return fail(kZipEntryUnsupported);
    }
    struct stat info {};
    if (::stat(file->file_path.c_str(), &info) != 0) {
        return fail(Error::from_errno(errno));
    }
    return RomFile{*file, static_cast<std::uint64_t>(info.st_size)};
}

LoadedRom loaded_rom_for(const LoadRomCommandPayload& payload, const std::string& session_id,
                         const std::string& core_graphics_profile, const RomFile& rom) {
    LoadedRom loaded;
    auto& s = loaded.session;
    s.core_id = payload.core_id;
    s.core_graphics_profile = core_graphics_profile;
    s.game_id = payload.game_id;
    s.platform_id = payload.platform_id;
    s.run_state = payload.start_paused ? kRunStatePaused : kRunStateRunning;
    s.save_data_mode = payload.save_data_mode;
    s.session_id = session_id;
    s.netplay_player_index = payload.netplay_player_index;
    s.netplay_session_key = payload.netplay_session_key;
    s.source = rom.source;
    s.title = payload.title;
    loaded.rom_size_bytes = rom.size_bytes;
    return loaded;
}

}  // namespace lk
