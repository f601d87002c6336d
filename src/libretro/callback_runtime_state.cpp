#include "libretro/callback_runtime_state.hpp"

#include <utility>

#include "common/utf8.hpp"
#include "hardware_render/unsupported_hardware_render_backend.hpp"
#include "libretro/hardware_render_negotiation.hpp"

namespace lk {

namespace {

struct GlobalCallbackState {
    std::mutex mutex;
    CallbackRuntimeState state;  // guarded by mutex
};

// Created on first use and never destroyed, so a core that calls back during
// process exit still finds it.
GlobalCallbackState& global_state() {
    static GlobalCallbackState* const global = new GlobalCallbackState();
    return *global;
}

Result<std::string> path_to_cstring(const std::filesystem::path& path) {
    const std::string& bytes = path.native();
    if (!is_valid_utf8(bytes)) {
        return fail("Libretro environment path must be valid UTF-8.");
    }
    if (bytes.find('\0') != std::string::npos) {
        return fail("Libretro environment path must not contain a NUL byte.");
    }
    return bytes;
}

}  // namespace

CallbackRuntimeState::CallbackRuntimeState()
    : hardware_backend(std::make_unique<UnsupportedHardwareRenderBackend>(
          std::string(kNoHardwareBackendReason))) {}

CallbackStateLock::CallbackStateLock()
    : lock_(global_state().mutex), state_(&global_state().state) {}

std::optional<CallbackStateLock> CallbackStateLock::try_acquire() {
    GlobalCallbackState& global = global_state();
    std::unique_lock lock(global.mutex, std::try_to_lock);
    if (!lock.owns_lock()) {
        return std::nullopt;
    }
    return CallbackStateLock(std::move(lock), &global.state);
}

namespace callback_bridge {

Status configure_environment(const std::filesystem::path& system_directory,
                             const std::filesystem::path& save_directory,
                             const std::filesystem::path& core_library_path,
                             const std::filesystem::path& rom_path,
                             std::string_view core_graphics_profile) {
    auto system = path_to_cstring(system_directory);
    if (!system) {
        return fail(std::move(system.error()));
    }
    auto save = path_to_cstring(save_directory);
    if (!save) {
        return fail(std::move(save.error()));
    }
    CallbackStateLock state;
    state->system_directory = std::move(*system);
    state->save_directory = std::move(*save);
    state->core_options.configure_overrides(core_library_path, rom_path, core_graphics_profile);
    return {};
}

void reset() {
    std::unique_ptr<HardwareRenderContext> context;
    retro::HwContextResetFn context_destroy = nullptr;
    std::optional<VideoFrame> old_frame;
    {
        CallbackStateLock state;
        context = std::move(state->hardware_context);
        context_destroy = std::exchange(state->context_destroy, nullptr);
        state->context_reset = nullptr;
        state->context_reset_done = false;

        state->audio_queue.clear();
        state->sample_callback_logged = false;
        state->batch_callback_logged = false;
        state->sample_callback_frames = 0;
        state->batch_callback_frames = 0;

        old_frame = std::exchange(state->current_frame, std::nullopt);
        state->disc_control = DiscControlInterface{};
        state->input_polled = false;
        state->pending_hardware_frame.reset();
        state->pending_input = CallbackInputState{};
        state->active_input = CallbackInputState{};
        state->pixel_format = PixelFormat::xrgb8888;

        state->save_directory.reset();
        state->serialization_quirks = 0;
        state->av_output_suppressed = false;
        state->pending_av_info.reset();
        state->system_directory.reset();

        state->core_options.clear();
    }
    destroy_hardware_render_context(std::move(context), context_destroy);
}

std::uint64_t serialization_quirks() {
    CallbackStateLock state;
    return state->serialization_quirks;
}

std::optional<retro::SystemAvInfo> take_system_av_info_update() {
    CallbackStateLock state;
    return std::exchange(state->pending_av_info, std::nullopt);
}

void set_av_output_suppressed(bool suppressed) {
    CallbackStateLock state;
    state->av_output_suppressed = suppressed;
}

}  // namespace callback_bridge

}  // namespace lk
