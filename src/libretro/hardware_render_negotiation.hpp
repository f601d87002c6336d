#pragma once

// The callback-bridge side of hardware rendering: answering a core's
// SET_HW_RENDER through the session's backend, calling the core's
// context_reset and context_destroy at the right moments (always with the
// callback state unlocked), and reading back frames the core marked.

#include <cstdint>
#include <memory>

#include "common/error.hpp"
#include "hardware_render/hardware_render_backend.hpp"
#include "hardware_render/hardware_render_context.hpp"
#include "hardware_render/hardware_render_request.hpp"
#include "libretro/abi.hpp"

namespace lk {

// The runner's copy of a core's request.
HardwareRenderRequest hardware_render_request_from(const retro::HwRenderCallback& callback);

namespace callback_bridge {

// Installs the session's backend; a context made by the previous one is
// destroyed. A null backend installs the refusing one.
void configure_hardware_render_backend(std::unique_ptr<HardwareRenderBackend> backend);

// SET_HW_RENDER with the core's retro_hw_render_callback.
bool set_hw_render(void* data);

// Makes the context current; the first preparation after a context was
// created also calls the core's context_reset (unlocked).
Status prepare_hardware_render_context();

// Reads back the frame the core last marked, into the current frame slot.
Status capture_pending_hardware_frame();

// Calls the core's context_destroy with the context current, then destroys
// the context. Call without holding the callback state lock.
void destroy_hardware_render_context(std::unique_ptr<HardwareRenderContext> context,
                                     retro::HwContextResetFn context_destroy);

// Given to the core as get_current_framebuffer and get_proc_address.
std::uintptr_t get_current_hardware_framebuffer();
retro::ProcAddressFn get_hardware_proc_address(const char* name);

}  // namespace callback_bridge

}  // namespace lk
