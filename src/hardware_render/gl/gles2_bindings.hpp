#pragma once

#include <GLES2/gl2.h>

#include <memory>
#include <span>
#include <string_view>

#include "common/error.hpp"
#include "hardware_render/dynamic_library.hpp"
#include "hardware_render/hardware_render_context.hpp"

namespace lk {

// The GL entry points the runner itself calls, resolved from the system's GL
// or GLES library at run time (the runner does not link against GL).
struct Gles2EntryPoints {
    PFNGLBINDFRAMEBUFFERPROC glBindFramebuffer = nullptr;
    PFNGLBINDRENDERBUFFERPROC glBindRenderbuffer = nullptr;
    PFNGLBINDTEXTUREPROC glBindTexture = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC glCheckFramebufferStatus = nullptr;
    PFNGLDELETEFRAMEBUFFERSPROC glDeleteFramebuffers = nullptr;
    PFNGLDELETERENDERBUFFERSPROC glDeleteRenderbuffers = nullptr;
    PFNGLDELETETEXTURESPROC glDeleteTextures = nullptr;
    PFNGLFINISHPROC glFinish = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC glFramebufferRenderbuffer = nullptr;
    PFNGLFRAMEBUFFERTEXTURE2DPROC glFramebufferTexture2D = nullptr;
    PFNGLGENFRAMEBUFFERSPROC glGenFramebuffers = nullptr;
    PFNGLGENRENDERBUFFERSPROC glGenRenderbuffers = nullptr;
    PFNGLGENTEXTURESPROC glGenTextures = nullptr;
    PFNGLGETERRORPROC glGetError = nullptr;
    PFNGLGETINTEGERVPROC glGetIntegerv = nullptr;
    PFNGLPIXELSTOREIPROC glPixelStorei = nullptr;
    PFNGLREADPIXELSPROC glReadPixels = nullptr;
    PFNGLRENDERBUFFERSTORAGEPROC glRenderbufferStorage = nullptr;
    PFNGLTEXIMAGE2DPROC glTexImage2D = nullptr;
    PFNGLTEXPARAMETERIPROC glTexParameteri = nullptr;
};

// The GL library and its entry points, shared by a context and its
// framebuffer; the library stays open while any holder lives.
class Gles2Bindings {
  public:
    // Opens the first candidate that loads and resolves every entry point
    // from it; a missing entry point fails without trying later candidates.
    static Result<std::shared_ptr<Gles2Bindings>> load_with_candidates(
        std::string_view label, std::span<const char* const> candidates);

    // Entry points that do not come from a library (tests).
    explicit Gles2Bindings(const Gles2EntryPoints& entry_points, DynamicLibrary library = nullptr)
        : entry_points_(entry_points), library_(std::move(library)) {}

    [[nodiscard]] const Gles2EntryPoints& api() const { return entry_points_; }

    // The symbol of that name in the opened library, or null.
    HardwareProcAddress proc_address(const char* name) const;

  private:
    Gles2EntryPoints entry_points_;
    DynamicLibrary library_;
};

}  // namespace lk
