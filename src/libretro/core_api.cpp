#include "libretro/core_api.hpp"

#include <dlfcn.h>

#include <cstring>
#include <iterator>
#include <string>
#include <utility>

#include <fmt/format.h>

namespace lk {

namespace {

// The loader's last message, or a fallback when it has none.
Error loader_error(const char* fallback) {
    const char* text = ::dlerror();
    return Error(text != nullptr ? text : fallback);
}

// One entry point to look up and the field that receives it.
struct SymbolSlot {
    const char* name;
    void* field;  // address of a function pointer member
};

}  // namespace

Result<CoreApi> CoreApi::load(const std::filesystem::path& library_path) {
    ::dlerror();
    // RTLD_LAZY alone: the core's symbols stay local to it.
    void* library = ::dlopen(library_path.c_str(), RTLD_LAZY);
    if (library == nullptr) {
        return fail(Error(fmt::format("failed to load libretro core: {}", library_path.native()))
                        .with_cause(loader_error("dlopen failed")));
    }

    EntryPoints entry;
    // Looked up in this order; the first one missing stops the load.
    const SymbolSlot slots[] = {
        {"retro_set_environment", &entry.set_environment},
        {"retro_set_video_refresh", &entry.set_video_refresh},
        {"retro_set_audio_sample", &entry.set_audio_sample},
        {"retro_set_audio_sample_batch", &entry.set_audio_sample_batch},
        {"retro_set_input_poll", &entry.set_input_poll},
        {"retro_set_input_state", &entry.set_input_state},
        {"retro_set_controller_port_device", &entry.set_controller_port_device},
        {"retro_init", &entry.init},
        {"retro_deinit", &entry.deinit},
        {"retro_api_version", &entry.api_version},
        {"retro_get_system_info", &entry.get_system_info},
        {"retro_get_system_av_info", &entry.get_system_av_info},
        {"retro_load_game", &entry.load_game},
        {"retro_unload_game", &entry.unload_game},
        {"retro_run", &entry.run},
        {"retro_reset", &entry.reset},
        {"retro_serialize_size", &entry.serialize_size},
        {"retro_serialize", &entry.serialize},
        {"retro_unserialize", &entry.unserialize},
        {"retro_cheat_reset", &entry.cheat_reset},
        {"retro_cheat_set", &entry.cheat_set},
        {"retro_get_memory_data", &entry.get_memory_data},
        {"retro_get_memory_size", &entry.get_memory_size},
    };
    static_assert(std::size(slots) == 23);
    for (const SymbolSlot& slot : slots) {
        ::dlerror();  // clear any earlier message
        void* symbol = ::dlsym(library, slot.name);
        if (symbol == nullptr) {
            Error cause = loader_error("symbol resolved to NULL");
            ::dlclose(library);
            return fail(Error(fmt::format("missing symbol {}", slot.name), ErrorKind::not_found)
                            .with_cause(std::move(cause)));
        }
        // Every field is a plain function pointer of the size of void*.
        std::memcpy(slot.field, &symbol, sizeof symbol);
    }
    return CoreApi(library, entry);
}

CoreApi::CoreApi(CoreApi&& other) noexcept
    : library_(std::exchange(other.library_, nullptr)), entry_(std::exchange(other.entry_, {})) {}

CoreApi& CoreApi::operator=(CoreApi&& other) noexcept {
    if (this != &other) {
        close();
        library_ = std::exchange(other.library_, nullptr);
        entry_ = std::exchange(other.entry_, {});
    }
    return *this;
}

CoreApi::~CoreApi() {
    close();
}

void CoreApi::close() noexcept {
    if (library_ != nullptr) {
        ::dlclose(library_);
        library_ = nullptr;
        entry_ = {};
    }
}

Result<SystemInfo> CoreApi::system_info() const {
    retro::SystemInfo raw{};
    entry_.get_system_info(&raw);
    return SystemInfo::from_raw(raw);
}

Status CoreApi::load_game(const GameLoadRequest& request) const {
    if (!entry_.load_game(&request.game_info())) {
        return fail(fmt::format("core rejected ROM {}", request.path().native()));
    }
    return {};
}

Result<std::vector<std::uint8_t>> CoreApi::serialize() const {
    const std::size_t size = entry_.serialize_size();
    if (size == 0) {
        return fail("core reported zero-byte serialize size");
    }
    std::vector<std::uint8_t> state(size, 0);
    if (!entry_.serialize(state.data(), state.size())) {
        return fail("core refused to serialize state");
    }
    return state;
}

Status CoreApi::cheat_set(std::uint32_t index, bool enabled, std::string_view code) const {
    if (code.find('\0') != std::string_view::npos) {
        return fail("cheat code contains interior NUL byte", ErrorKind::invalid_data);
    }
    const std::string text(code);
    entry_.cheat_set(index, enabled, text.c_str());
    return {};
}

Status CoreApi::check_api_version() const {
    const unsigned reported = entry_.api_version();
    if (reported != retro::kApiVersion) {
        return fail(fmt::format("Libretro API mismatch: expected {}, core reported {}.",
                                retro::kApiVersion, reported));
    }
    return {};
}

}  // namespace lk
