#include "hardware_render/egl/egl_hardware_render_backend.hpp"

#include <array>

#include <fmt/format.h>

#include "hardware_render/egl/egl_hardware_render_context.hpp"
#include "hardware_render/gl/gles2_bindings.hpp"

namespace lk {

Result<std::unique_ptr<EglHardwareRenderBackend>> EglHardwareRenderBackend::create() {
    auto egl = EglBindings::load();
    if (!egl) {
        return fail(std::move(egl.error()));
    }
    return std::make_unique<EglHardwareRenderBackend>(std::move(*egl));
}

HardwareRenderBackendCapability EglHardwareRenderBackend::capability() const {
    HardwareRenderBackendCapability capability;
    capability.backend_name = "linux-egl-opengl";
    capability.supported_context_types = {kHwContextOpenGl, kHwContextOpenGlCore,
                                          kHwContextOpenGlEs2, kHwContextOpenGlEs3,
                                          kHwContextOpenGlEsVersion};
    capability.preferred_context_type = kHwContextOpenGl;
    capability.available = true;
    return capability;
}

Result<std::unique_ptr<HardwareRenderContext>> EglHardwareRenderBackend::create_context(
    const HardwareRenderRequest& request) {
    if (request.context_type < kHwContextOpenGl ||
        request.context_type > kHwContextOpenGlEsVersion) {
        return fail(fmt::format(
            "Unsupported libretro hardware context type {}; requested {}. Supported contexts are "
            "OpenGL, OpenGL Core, and OpenGL ES.",
            request.context_type, request.description()));
    }
    static constexpr std::array<const char*, 3> kOpenGlCandidates{"libGL.so.1", "libGL.so",
                                                                  "libOpenGL.so.0"};
    static constexpr std::array<const char*, 2> kGlesCandidates{"libGLESv2.so.2",
                                                                "libGLESv2.so"};
    const bool desktop =
        request.context_type == kHwContextOpenGl || request.context_type == kHwContextOpenGlCore;
    auto gl = desktop ? Gles2Bindings::load_with_candidates("OpenGL", kOpenGlCandidates)
                      : Gles2Bindings::load_with_candidates("GLESv2", kGlesCandidates);
    if (!gl) {
        return fail(std::move(gl.error()));
    }
    auto context = EglHardwareRenderContext::create(egl_, std::move(*gl), request);
    if (!context) {
        return fail(std::move(context.error()));
    }
    return std::unique_ptr<HardwareRenderContext>(std::move(*context));
}

}  // namespace lk
