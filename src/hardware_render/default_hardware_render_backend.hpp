#pragma once

#include <memory>

#include "hardware_render/hardware_render_backend.hpp"

namespace lk {

// The EGL backend, or, when EGL cannot be loaded, a backend that refuses
// every request with the reason "EGL backend is unavailable: {error}".
// Never fails.
std::unique_ptr<HardwareRenderBackend> create_default_hardware_render_backend();

}  // namespace lk
