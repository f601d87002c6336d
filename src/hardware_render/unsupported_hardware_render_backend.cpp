#include "hardware_render/unsupported_hardware_render_backend.hpp"

#include <fmt/format.h>

namespace lk {

namespace {
constexpr std::string_view kAdvice =
    "This runner build supports hardware rendering through Linux EGL/OpenGL. Verify "
    "libEGL/OpenGL drivers are installed and usable by the desktop process.";
}  // namespace

HardwareRenderBackendCapability UnsupportedHardwareRenderBackend::capability() const {
    HardwareRenderBackendCapability capability;
    capability.backend_name = "unsupported";
    capability.unavailable_reason = reason_;
    capability.available = false;
    return capability;
}

Result<std::unique_ptr<HardwareRenderContext>> UnsupportedHardwareRenderBackend::create_context(
    const HardwareRenderRequest& request) {
    return fail(fmt::format("Requested libretro hardware context: {}. {} {}", request.description(),
                            format_hardware_render_backend_capability(capability()), kAdvice));
}

}  // namespace lk
