#pragma once

#include <EGL/egl.h>

#include <cstdint>
#include <memory>
#include <optional>

#include "common/error.hpp"
#include "hardware_render/egl/egl_bindings.hpp"
#include "hardware_render/gl/gl_framebuffer.hpp"
#include "hardware_render/gl/gles2_bindings.hpp"
#include "hardware_render/hardware_render_context.hpp"
#include "hardware_render/hardware_render_request.hpp"

namespace lk {

// An offscreen EGL context: a small pbuffer surface to make it current and
// an offscreen framebuffer that the core renders into and the runner reads
// back. Created, made current and used only on the runtime thread.
class EglHardwareRenderContext final : public HardwareRenderContext {
  public:
    static constexpr std::uint32_t kPbufferWidth = 480;
    static constexpr std::uint32_t kPbufferHeight = 272;

    // Initializes the display, creates the surface and context for the
    // request, makes them current and creates the framebuffer at 480 × 272.
    static Result<std::unique_ptr<EglHardwareRenderContext>> create(
        std::shared_ptr<EglBindings> egl, std::shared_ptr<Gles2Bindings> gl,
        const HardwareRenderRequest& request);

    EglHardwareRenderContext(const EglHardwareRenderContext&) = delete;
    EglHardwareRenderContext& operator=(const EglHardwareRenderContext&) = delete;
    ~EglHardwareRenderContext() override;

    Result<VideoFrame> capture_frame(std::uint32_t width, std::uint32_t height) override;
    std::uint32_t current_framebuffer_id() override;
    Status ensure_framebuffer_size(std::uint32_t width, std::uint32_t height) override;
    HardwareProcAddress proc_address(const char* name) override;
    Status reset() override;
    void destroy() override;

    // The GL or GLES major version the context was created with.
    [[nodiscard]] std::uint32_t version() const { return version_; }
    // The framebuffer, or null once destroyed.
    [[nodiscard]] const GlFramebuffer* framebuffer() const {
        return framebuffer_ ? &*framebuffer_ : nullptr;
    }

  private:
    EglHardwareRenderContext(std::shared_ptr<EglBindings> egl, std::shared_ptr<Gles2Bindings> gl,
                             EGLDisplay display, EGLSurface surface, EGLContext context,
                             std::uint32_t version);

    std::optional<GlFramebuffer> framebuffer_;  // absent once destroyed
    std::shared_ptr<EglBindings> egl_;
    std::shared_ptr<Gles2Bindings> gl_;
    EGLDisplay display_ = EGL_NO_DISPLAY;
    EGLSurface surface_ = EGL_NO_SURFACE;
    EGLContext context_ = EGL_NO_CONTEXT;
    std::uint32_t version_ = 0;
    bool destroyed_ = false;
};

}  // namespace lk
