#pragma once

#include <EGL/egl.h>

#include <memory>
#include <string>
#include <string_view>

#include "common/error.hpp"
#include "hardware_render/dynamic_library.hpp"

namespace lk {

// The EGL entry points the runner calls, resolved at run time (the runner
// does not link against EGL).
struct EglEntryPoints {
    PFNEGLBINDAPIPROC eglBindAPI = nullptr;
    PFNEGLCHOOSECONFIGPROC eglChooseConfig = nullptr;
    PFNEGLCREATECONTEXTPROC eglCreateContext = nullptr;
    PFNEGLCREATEPBUFFERSURFACEPROC eglCreatePbufferSurface = nullptr;
    PFNEGLDESTROYCONTEXTPROC eglDestroyContext = nullptr;
    PFNEGLDESTROYSURFACEPROC eglDestroySurface = nullptr;
    PFNEGLGETDISPLAYPROC eglGetDisplay = nullptr;
    PFNEGLGETERRORPROC eglGetError = nullptr;
    PFNEGLGETPROCADDRESSPROC eglGetProcAddress = nullptr;
    PFNEGLINITIALIZEPROC eglInitialize = nullptr;
    PFNEGLMAKECURRENTPROC eglMakeCurrent = nullptr;
    PFNEGLTERMINATEPROC eglTerminate = nullptr;
};

// The EGL library and its entry points, shared by a backend and every
// context it creates; the library stays open while any holder lives.
class EglBindings {
  public:
    // Opens "libEGL.so.1", else "libEGL.so", and resolves every entry point.
    static Result<std::shared_ptr<EglBindings>> load();

    // Entry points that do not come from a library (tests).
    explicit EglBindings(const EglEntryPoints& entry_points, DynamicLibrary library = nullptr)
        : entry_points_(entry_points), library_(std::move(library)) {}

    [[nodiscard]] const EglEntryPoints& api() const { return entry_points_; }

    // "{call} failed with EGL error 0x{code:04x}" with the code of eglGetError.
    [[nodiscard]] Error egl_error(std::string_view call) const;

  private:
    EglEntryPoints entry_points_;
    DynamicLibrary library_;
};

}  // namespace lk
