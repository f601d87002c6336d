#include "hardware_render/default_hardware_render_backend.hpp"

#include "hardware_render/egl/egl_hardware_render_backend.hpp"
#include "hardware_render/unsupported_hardware_render_backend.hpp"

namespace lk {

std::unique_ptr<HardwareRenderBackend> create_default_hardware_render_backend() {
    auto egl = EglHardwareRenderBackend::create();
    if (!egl) {
        return std::make_unique<UnsupportedHardwareRenderBackend>(
            "EGL backend is unavailable: " + egl.error().display());
    }
    return std::move(*egl);
}

}  // namespace lk
