#pragma once

#include <memory>

#include "hardware_render/egl/egl_bindings.hpp"
#include "hardware_render/hardware_render_backend.hpp"

namespace lk {

// Hardware rendering through EGL: OpenGL (compatibility and core profile)
// and OpenGL ES 2/3 contexts rendering into an offscreen framebuffer.
class EglHardwareRenderBackend final : public HardwareRenderBackend {
  public:
    // Loads EGL; fails when the library or one of its entry points is missing.
    static Result<std::unique_ptr<EglHardwareRenderBackend>> create();

    explicit EglHardwareRenderBackend(std::shared_ptr<EglBindings> egl) : egl_(std::move(egl)) {}

    HardwareRenderBackendCapability capability() const override;
    // Loads the GL or GLES library for the request's type and creates an
    // EglHardwareRenderContext; Vulkan and unknown types are refused.
    Result<std::unique_ptr<HardwareRenderContext>> create_context(
        const HardwareRenderRequest& request) override;
    std::optional<std::uint32_t> preferred_context_type() const override {
        return kHwContextOpenGl;
    }

  private:
    std::shared_ptr<EglBindings> egl_;
};

}  // namespace lk
