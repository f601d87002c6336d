#include "hardware_render/egl/egl_hardware_render_context.hpp"

#include <EGL/eglext.h>

#include <algorithm>
#include <array>
#include <utility>

#include "common/diagnostics.hpp"

namespace lk {

namespace {

bool is_desktop_gl(std::uint32_t context_type) {
    return context_type == kHwContextOpenGl || context_type == kHwContextOpenGlCore;
}

// The default display; with no window system to reach (a headless machine),
// Mesa's surfaceless platform, which needs none. The default display's error
// is the one reported when neither initializes.
Result<EGLDisplay> open_display(const EglBindings& egl) {
    const EglEntryPoints& api = egl.api();
    EGLint major = 0;
    EGLint minor = 0;
    Error failure;
    EGLDisplay display = api.eglGetDisplay(EGL_DEFAULT_DISPLAY);
    if (display == EGL_NO_DISPLAY) {
        failure = egl.egl_error("eglGetDisplay");
    } else if (api.eglInitialize(display, &major, &minor) == EGL_FALSE) {
        failure = egl.egl_error("eglInitialize");
    } else {
        return display;
    }
    const auto get_platform_display = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        api.eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (get_platform_display != nullptr) {
        EGLDisplay surfaceless =
            get_platform_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (surfaceless != EGL_NO_DISPLAY &&
            api.eglInitialize(surfaceless, &major, &minor) == EGL_TRUE) {
            runner_debug("EGL default display unavailable, using the surfaceless platform: {}",
                         failure.display());
            return surfaceless;
        }
    }
    return fail(std::move(failure));
}

struct SurfaceAndContext {
    EGLSurface surface;
    EGLContext context;
};

Result<SurfaceAndContext> create_surface_and_context(const EglBindings& egl, EGLDisplay display,
                                                     const HardwareRenderRequest& request,
                                                     std::uint32_t version) {
    const EglEntryPoints& api = egl.api();
    const EGLint renderable = is_desktop_gl(request.context_type) ? EGL_OPENGL_BIT
                              : version >= 3                      ? EGL_OPENGL_ES3_BIT
                                                                  : EGL_OPENGL_ES2_BIT;
    const std::array<EGLint, 17> config_attributes{
        EGL_SURFACE_TYPE, EGL_PBUFFER_BIT,
        EGL_RENDERABLE_TYPE, renderable,
        EGL_RED_SIZE, 8,
        EGL_GREEN_SIZE, 8,
        EGL_BLUE_SIZE, 8,
        EGL_ALPHA_SIZE, 8,
        EGL_DEPTH_SIZE, request.depth ? 16 : 0,
        EGL_STENCIL_SIZE, request.stencil ? 8 : 0,
        EGL_NONE,
    };
    EGLConfig config = nullptr;
    EGLint count = 0;
    if (api.eglChooseConfig(display, config_attributes.data(), &config, 1, &count) == EGL_FALSE) {
        return fail(egl.egl_error("eglChooseConfig"));
    }
    if (count < 1 || config == nullptr) {
        return fail(fmt::format("No EGL pbuffer GLES{} config is available.", version));
    }
    const std::array<EGLint, 5> surface_attributes{
        EGL_WIDTH, static_cast<EGLint>(EglHardwareRenderContext::kPbufferWidth),
        EGL_HEIGHT, static_cast<EGLint>(EglHardwareRenderContext::kPbufferHeight),
        EGL_NONE,
    };
    EGLSurface surface = api.eglCreatePbufferSurface(display, config, surface_attributes.data());
    if (surface == EGL_NO_SURFACE) {
        return fail(egl.egl_error("eglCreatePbufferSurface"));
    }
    std::array<EGLint, 7> context_attributes{EGL_NONE};
    if (request.context_type == kHwContextOpenGlCore) {
        context_attributes = {EGL_CONTEXT_MAJOR_VERSION,
                              static_cast<EGLint>(version),
                              EGL_CONTEXT_MINOR_VERSION,
                              static_cast<EGLint>(request.version_minor),
                              EGL_CONTEXT_OPENGL_PROFILE_MASK,
                              EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                              EGL_NONE};
    } else if (!is_desktop_gl(request.context_type)) {
        context_attributes = {EGL_CONTEXT_CLIENT_VERSION, static_cast<EGLint>(version), EGL_NONE};
    }
    EGLContext context =
        api.eglCreateContext(display, config, EGL_NO_CONTEXT, context_attributes.data());
    if (context == EGL_NO_CONTEXT) {
        Error error = egl.egl_error("eglCreateContext");
        api.eglDestroySurface(display, surface);
        return fail(std::move(error));
    }
    return SurfaceAndContext{surface, context};
}

std::uint32_t context_version(const HardwareRenderRequest& request) {
    switch (request.context_type) {
        case kHwContextOpenGlEsVersion:
            return request.version_major >= 3 ? 3 : 2;
        case kHwContextOpenGlEs3:
            return 3;
        case kHwContextOpenGlCore:
            return request.version_major >= 4 ? request.version_major : 3;
        default:
            return 2;
    }
}

}  // namespace

EglHardwareRenderContext::EglHardwareRenderContext(std::shared_ptr<EglBindings> egl,
                                                   std::shared_ptr<Gles2Bindings> gl,
                                                   EGLDisplay display, EGLSurface surface,
                                                   EGLContext context, std::uint32_t version)
    : egl_(std::move(egl)),
      gl_(std::move(gl)),
      display_(display),
      surface_(surface),
      context_(context),
      version_(version) {}

Result<std::unique_ptr<EglHardwareRenderContext>> EglHardwareRenderContext::create(
    std::shared_ptr<EglBindings> egl, std::shared_ptr<Gles2Bindings> gl,
    const HardwareRenderRequest& request) {
    const EglEntryPoints& api = egl->api();
    auto display = open_display(*egl);
    if (!display) {
        return fail(std::move(display.error()));
    }
    const EGLenum client_api = is_desktop_gl(request.context_type) ? EGL_OPENGL_API
                                                                   : EGL_OPENGL_ES_API;
    if (api.eglBindAPI(client_api) == EGL_FALSE) {
        return fail(egl->egl_error("eglBindAPI"));
    }
    std::uint32_t version = context_version(request);
    auto created = create_surface_and_context(*egl, *display, request, version);
    if (!created &&
        (request.context_type == kHwContextOpenGlEs3 ||
         request.context_type == kHwContextOpenGlEsVersion) &&
        version == 3) {
        runner_debug("EGL requested context unavailable, falling back to GLES2: {}",
                     created.error().display());
        version = 2;
        created = create_surface_and_context(*egl, *display, request, version);
    }
    if (!created) {
        return fail(std::move(created.error()));
    }
    // From here on the context object owns the handles and cleans up after
    // a failure.
    std::unique_ptr<EglHardwareRenderContext> context(new EglHardwareRenderContext(
        egl, gl, *display, created->surface, created->context, version));
    if (auto current = context->reset(); !current) {
        context->destroy();
        return fail(std::move(current.error()));
    }
    auto framebuffer =
        GlFramebuffer::create(gl, kPbufferWidth, kPbufferHeight, request.depth);
    if (!framebuffer) {
        context->destroy();
        return fail(std::move(framebuffer.error()));
    }
    context->framebuffer_.emplace(std::move(*framebuffer));
    runner_debug(
        "EGL hardware render context ready: api={} version={} pbuffer={}x{} fbo={}",
        is_desktop_gl(request.context_type) ? "OpenGL" : "OpenGL ES", version,
        context->framebuffer_->width(), context->framebuffer_->height(),
        context->framebuffer_->fbo());
    return context;
}

EglHardwareRenderContext::~EglHardwareRenderContext() {
    destroy();
}

Status EglHardwareRenderContext::reset() {
    if (egl_->api().eglMakeCurrent(display_, surface_, surface_, context_) == EGL_FALSE) {
        return fail(egl_->egl_error("eglMakeCurrent"));
    }
    return {};
}

Result<VideoFrame> EglHardwareRenderContext::capture_frame(std::uint32_t width,
                                                           std::uint32_t height) {
    if (!framebuffer_) {
        return fail("GL framebuffer has not been created.");
    }
    if (auto current = reset(); !current) {
        return fail(std::move(current.error()));
    }
    return framebuffer_->read_frame(width, height);
}

std::uint32_t EglHardwareRenderContext::current_framebuffer_id() {
    return framebuffer_ ? framebuffer_->fbo() : 0;
}

Status EglHardwareRenderContext::ensure_framebuffer_size(std::uint32_t width,
                                                         std::uint32_t height) {
    if (!framebuffer_) {
        return fail("GL framebuffer has not been created.");
    }
    if (auto current = reset(); !current) {
        return current;
    }
    width = std::max(width, 1u);
    height = std::max(height, 1u);
    if (framebuffer_->width() >= width && framebuffer_->height() >= height) {
        return {};
    }
    if (auto grown = framebuffer_->recreate(std::max(framebuffer_->width(), width),
                                            std::max(framebuffer_->height(), height));
        !grown) {
        return grown;
    }
    runner_debug("EGL hardware render framebuffer resized: {}x{} fbo={}", framebuffer_->width(),
                 framebuffer_->height(), framebuffer_->fbo());
    return {};
}

HardwareProcAddress EglHardwareRenderContext::proc_address(const char* name) {
    if (name == nullptr) {
        return nullptr;
    }
    if (HardwareProcAddress address = egl_->api().eglGetProcAddress(name); address != nullptr) {
        return address;
    }
    return gl_->proc_address(name);
}

void EglHardwareRenderContext::destroy() {
    if (destroyed_) {
        return;
    }
    const EglEntryPoints& api = egl_->api();
    if (context_ != EGL_NO_CONTEXT) {
        (void)api.eglMakeCurrent(display_, surface_, surface_, context_);
    }
    if (framebuffer_) {
        framebuffer_->release();
        framebuffer_.reset();
    }
    if (display_ != EGL_NO_DISPLAY) {
        api.eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    }
    if (context_ != EGL_NO_CONTEXT) {
        api.eglDestroyContext(display_, context_);
    }
    if (surface_ != EGL_NO_SURFACE) {
        api.eglDestroySurface(display_, surface_);
    }
    // The display is not terminated: it is one object per process, shared
    // by every context on it (a core that asks again gets its new context
    // before the old one is destroyed), and terminating it unloads the
    // driver, which leaks on every unload and costs a reload next session.
    display_ = EGL_NO_DISPLAY;
    surface_ = EGL_NO_SURFACE;
    context_ = EGL_NO_CONTEXT;
    destroyed_ = true;
}

}  // namespace lk
