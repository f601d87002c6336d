#include "libretro/hardware_render_negotiation.hpp"

#include <utility>

#include "common/diagnostics.hpp"
#include "hardware_render/unsupported_hardware_render_backend.hpp"
#include "libretro/callback_runtime_state.hpp"

namespace lk {

HardwareRenderRequest hardware_render_request_from(const retro::HwRenderCallback& callback) {
    HardwareRenderRequest request;
    request.context_type = static_cast<std::uint32_t>(callback.context_type);
    request.version_major = callback.version_major;
    request.version_minor = callback.version_minor;
    request.bottom_left_origin = callback.bottom_left_origin;
    request.cache_context = callback.cache_context;
    request.debug_context = callback.debug_context;
    request.depth = callback.depth;
    request.stencil = callback.stencil;
    return request;
}

namespace callback_bridge {

void configure_hardware_render_backend(std::unique_ptr<HardwareRenderBackend> backend) {
    if (backend == nullptr) {
        backend = std::make_unique<UnsupportedHardwareRenderBackend>(
            std::string(kNoHardwareBackendReason));
    }
    std::unique_ptr<HardwareRenderContext> context;
    retro::HwContextResetFn context_destroy = nullptr;
    std::unique_ptr<HardwareRenderBackend> old_backend;
    {
        CallbackStateLock state;
        context = std::move(state->hardware_context);
        context_destroy = std::exchange(state->context_destroy, nullptr);
        state->context_reset = nullptr;
        state->context_reset_done = false;
        state->pending_hardware_frame.reset();
        old_backend = std::exchange(state->hardware_backend, std::move(backend));
    }
    // The context was made by the old backend: destroy it first.
    destroy_hardware_render_context(std::move(context), context_destroy);
}

bool set_hw_render(void* data) {
    if (data == nullptr) {
        return false;
    }
    auto& callback = *static_cast<retro::HwRenderCallback*>(data);
    const HardwareRenderRequest request = hardware_render_request_from(callback);

    Result<std::unique_ptr<HardwareRenderContext>> created = fail("");
    {
        CallbackStateLock state;
        created = state->hardware_backend->create_context(request);
    }
    if (!created || *created == nullptr) {
        runner_log(
            "Libretro hardware render rejected: {}",
            created ? std::string("the backend returned no context") : created.error().display());
        return false;
    }
    callback.get_current_framebuffer = &get_current_hardware_framebuffer;
    callback.get_proc_address = &get_hardware_proc_address;

    std::unique_ptr<HardwareRenderContext> previous;
    retro::HwContextResetFn previous_destroy = nullptr;
    {
        CallbackStateLock state;
        previous = std::exchange(state->hardware_context, std::move(*created));
        previous_destroy = std::exchange(state->context_destroy, callback.context_destroy);
        state->context_reset = callback.context_reset;
        state->context_reset_done = false;
        state->pending_hardware_frame.reset();
    }
    destroy_hardware_render_context(std::move(previous), previous_destroy);
    return true;
}

Status prepare_hardware_render_context() {
    retro::HwContextResetFn context_reset = nullptr;
    {
        CallbackStateLock state;
        if (state->hardware_context == nullptr) {
            return {};
        }
        if (auto current = state->hardware_context->reset(); !current) {
            return current;
        }
        if (!state->context_reset_done) {
            state->context_reset_done = true;
            context_reset = state->context_reset;
        }
    }
    if (context_reset != nullptr) {
        context_reset();
    }
    return {};
}

Status capture_pending_hardware_frame() {
    std::optional<VideoFrame> replaced;
    CallbackStateLock state;
    const auto pending = std::exchange(state->pending_hardware_frame, std::nullopt);
    if (!pending || state->hardware_context == nullptr) {
        return {};
    }
    auto frame = state->hardware_context->capture_frame(pending->width, pending->height);
    if (!frame) {
        return fail(std::move(frame.error()));
    }
    replaced = std::exchange(state->current_frame, std::move(*frame));
    return {};
}

void destroy_hardware_render_context(std::unique_ptr<HardwareRenderContext> context,
                                     retro::HwContextResetFn context_destroy) {
    if (context == nullptr) {
        return;
    }
    if (context_destroy != nullptr) {
        if (auto current = context->reset(); !current) {
            runner_log("Failed to make hardware context current before destroy: {}",
                       current.error().display());
        } else {
            context_destroy();
        }
    }
    context->destroy();
    context.reset();
}

std::uintptr_t get_current_hardware_framebuffer() {
    try {
        CallbackStateLock state;
        return state->hardware_context != nullptr
                   ? std::uintptr_t{state->hardware_context->current_framebuffer_id()}
                   : 0;
    } catch (...) {
        return 0;
    }
}

retro::ProcAddressFn get_hardware_proc_address(const char* name) {
    try {
        CallbackStateLock state;
        return state->hardware_context != nullptr ? state->hardware_context->proc_address(name)
                                                  : nullptr;
    } catch (...) {
        return nullptr;
    }
}

}  // namespace callback_bridge

}  // namespace lk
