#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

#include "common/error.hpp"
#include "libretro/abi.hpp"
#include "libretro/game_load_request.hpp"
#include "libretro/system_info.hpp"

namespace lk {

// One opened libretro core: the shared library and its 23 entry points.
// Owned by the runtime thread for a whole session; moved, never shared or
// copied. Dropping it closes the library, so unload the game and deinitialise
// the core first.
class CoreApi {
  public:
    // Opens the library (lazy binding, symbols kept local) and resolves every
    // entry point. Calls nothing in the core.
    static Result<CoreApi> load(const std::filesystem::path& library_path);

    CoreApi(CoreApi&& other) noexcept;
    CoreApi& operator=(CoreApi&& other) noexcept;
    CoreApi(const CoreApi&) = delete;
    CoreApi& operator=(const CoreApi&) = delete;
    ~CoreApi();

    Result<SystemInfo> system_info() const;
    // Fails with "core rejected ROM {path}" when retro_load_game returns false.
    Status load_game(const GameLoadRequest& request) const;
    // The core's state, exactly retro_serialize_size() bytes.
    Result<std::vector<std::uint8_t>> serialize() const;
    Status cheat_set(std::uint32_t index, bool enabled, std::string_view code) const;
    // retro_api_version must report kApiVersion; otherwise
    // "Libretro API mismatch: expected 1, core reported {n}.".
    Status check_api_version() const;

    // The raw entry points, called directly where no checking is needed.
    void retro_set_environment(retro::EnvironmentFn fn) const { entry_.set_environment(fn); }
    void retro_set_video_refresh(retro::VideoRefreshFn fn) const { entry_.set_video_refresh(fn); }
    void retro_set_audio_sample(retro::AudioSampleFn fn) const { entry_.set_audio_sample(fn); }
    void retro_set_audio_sample_batch(retro::AudioSampleBatchFn fn) const {
        entry_.set_audio_sample_batch(fn);
    }
    void retro_set_input_poll(retro::InputPollFn fn) const { entry_.set_input_poll(fn); }
    void retro_set_input_state(retro::InputStateFn fn) const { entry_.set_input_state(fn); }
    void retro_set_controller_port_device(unsigned port, unsigned device) const {
        entry_.set_controller_port_device(port, device);
    }
    void retro_init() const { entry_.init(); }
    void retro_deinit() const { entry_.deinit(); }
    unsigned retro_api_version() const { return entry_.api_version(); }
    void retro_get_system_info(retro::SystemInfo* info) const { entry_.get_system_info(info); }
    void retro_get_system_av_info(retro::SystemAvInfo* info) const {
        entry_.get_system_av_info(info);
    }
    bool retro_load_game(const retro::GameInfo* game) const { return entry_.load_game(game); }
    void retro_unload_game() const { entry_.unload_game(); }
    void retro_run() const { entry_.run(); }
    void retro_reset() const { entry_.reset(); }
    std::size_t retro_serialize_size() const { return entry_.serialize_size(); }
    bool retro_serialize(void* data, std::size_t size) const {
        return entry_.serialize(data, size);
    }
    bool retro_unserialize(const void* data, std::size_t size) const {
        return entry_.unserialize(data, size);
    }
    void retro_cheat_reset() const { entry_.cheat_reset(); }
    void retro_cheat_set(unsigned index, bool enabled, const char* code) const {
        entry_.cheat_set(index, enabled, code);
    }
    void* retro_get_memory_data(unsigned id) const { return entry_.get_memory_data(id); }
    std::size_t retro_get_memory_size(unsigned id) const { return entry_.get_memory_size(id); }

  private:
    struct EntryPoints {
        retro::ApiVersionFn api_version = nullptr;
        retro::CheatResetFn cheat_reset = nullptr;
        retro::CheatSetFn cheat_set = nullptr;
        retro::DeinitFn deinit = nullptr;
        retro::GetMemoryDataFn get_memory_data = nullptr;
        retro::GetMemorySizeFn get_memory_size = nullptr;
        retro::GetSystemAvInfoFn get_system_av_info = nullptr;
        retro::GetSystemInfoFn get_system_info = nullptr;
        retro::InitFn init = nullptr;
        retro::LoadGameFn load_game = nullptr;
        retro::ResetFn reset = nullptr;
        retro::RunFn run = nullptr;
        retro::SerializeFn serialize = nullptr;
        retro::SerializeSizeFn serialize_size = nullptr;
        retro::UnloadGameFn unload_game = nullptr;
        retro::UnserializeFn unserialize = nullptr;
        retro::SetAudioSampleFn set_audio_sample = nullptr;
        retro::SetAudioSampleBatchFn set_audio_sample_batch = nullptr;
        retro::SetControllerPortDeviceFn set_controller_port_device = nullptr;
        retro::SetEnvironmentFn set_environment = nullptr;
        retro::SetInputPollFn set_input_poll = nullptr;
        retro::SetInputStateFn set_input_state = nullptr;
        retro::SetVideoRefreshFn set_video_refresh = nullptr;
    };
    static_assert(sizeof(EntryPoints) == 23 * sizeof(void*));

    CoreApi(void* library, const EntryPoints& entry) : library_(library), entry_(entry) {}
    void close() noexcept;

    void* library_ = nullptr;  // dlopen handle; null once moved from
    EntryPoints entry_;
};

}  // namespace lk
