#include "hardware_render/egl/egl_bindings.hpp"

#include <array>

#include <fmt/format.h>

namespace lk {

Result<std::shared_ptr<EglBindings>> EglBindings::load() {
    static constexpr std::array<const char*, 2> kCandidates{"libEGL.so.1", "libEGL.so"};
    auto library = open_first_dynamic_library("EGL", kCandidates);
    if (!library) {
        return fail(std::move(library.error()));
    }
    EglEntryPoints e;
    const std::array<DynamicSymbolSlot, 12> slots{{
        {"eglBindAPI", &e.eglBindAPI},
        {"eglChooseConfig", &e.eglChooseConfig},
        {"eglCreateContext", &e.eglCreateContext},
        {"eglCreatePbufferSurface", &e.eglCreatePbufferSurface},
        {"eglDestroyContext", &e.eglDestroyContext},
        {"eglDestroySurface", &e.eglDestroySurface},
        {"eglGetDisplay", &e.eglGetDisplay},
        {"eglGetError", &e.eglGetError},
        {"eglGetProcAddress", &e.eglGetProcAddress},
        {"eglInitialize", &e.eglInitialize},
        {"eglMakeCurrent", &e.eglMakeCurrent},
        {"eglTerminate", &e.eglTerminate},
    }};
    if (auto resolved = resolve_dynamic_symbols(*library, slots); !resolved) {
        return fail(std::move(resolved.error()));
    }
    return std::make_shared<EglBindings>(e, std::move(*library));
}

Error EglBindings::egl_error(std::string_view call) const {
    const EGLint code = entry_points_.eglGetError();
    return Error(fmt::format("{} failed with EGL error 0x{:04x}", call,
                             static_cast<std::uint32_t>(code)));
}

}  // namespace lk
