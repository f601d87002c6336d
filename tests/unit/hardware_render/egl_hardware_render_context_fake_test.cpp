// The EGL context's own decisions, on EGL and GL tables that record every
// call: errors named after the failing call, the GLES3 to GLES2 fallback,
// an incomplete framebuffer, and a destroy that releases everything once.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <utility>
#include <string>
#include <vector>

#include "common/diagnostics.hpp"
#include "hardware_render/egl/egl_hardware_render_context.hpp"

namespace lk {
namespace {

// What the fake EGL and GL answer, and what they were asked.
struct FakeDriver {
    bool display = true;
    bool initialize = true;
    bool gles3_configs = true;
    bool make_current = true;
    EGLint error = EGL_SUCCESS;
    GLenum framebuffer_status = GL_FRAMEBUFFER_COMPLETE;

    std::vector<EGLint> renderable_types_asked;
    std::vector<EGLint> client_versions_asked;
    int terminates = 0;
    int context_destroys = 0;
    int surface_destroys = 0;
    int surfaces_created = 0;
    GLuint next_name = 1;
    std::vector<GLuint> deleted_framebuffers;
};

FakeDriver driver;

// The debug switch is read once per process, on first use.
const bool kDebugLogsOn = ::setenv("LUMENKITE_RUNNER_DEBUG_LOGS", "1", 1) == 0;
int fake_display_object;
int fake_surface_object;
int fake_context_object;
int fake_config_object;

EglEntryPoints fake_egl() {
    EglEntryPoints e;
    e.eglBindAPI = [](EGLenum) -> EGLBoolean { return EGL_TRUE; };
    e.eglChooseConfig = [](EGLDisplay, const EGLint* attributes, EGLConfig* config, EGLint,
                           EGLint* count) -> EGLBoolean {
        const EGLint renderable = attributes[3];
        driver.renderable_types_asked.push_back(renderable);
        const bool offered = renderable != EGL_OPENGL_ES3_BIT || driver.gles3_configs;
        *count = offered ? 1 : 0;
        *config = offered ? &fake_config_object : nullptr;
        return EGL_TRUE;
    };
    e.eglCreateContext = [](EGLDisplay, EGLConfig, EGLContext,
                            const EGLint* attributes) -> EGLContext {
        if (attributes[0] == EGL_CONTEXT_CLIENT_VERSION) {
            driver.client_versions_asked.push_back(attributes[1]);
        }
        return &fake_context_object;
    };
    e.eglCreatePbufferSurface = [](EGLDisplay, EGLConfig, const EGLint*) -> EGLSurface {
        ++driver.surfaces_created;
        return &fake_surface_object;
    };
    e.eglDestroyContext = [](EGLDisplay, EGLContext) -> EGLBoolean {
        ++driver.context_destroys;
        return EGL_TRUE;
    };
    e.eglDestroySurface = [](EGLDisplay, EGLSurface) -> EGLBoolean {
        ++driver.surface_destroys;
        return EGL_TRUE;
    };
    e.eglGetDisplay = [](EGLNativeDisplayType) -> EGLDisplay {
        if (!driver.display) {
            driver.error = EGL_BAD_DISPLAY;
            return EGL_NO_DISPLAY;
        }
        return &fake_display_object;
    };
    e.eglGetError = []() -> EGLint { return std::exchange(driver.error, EGL_SUCCESS); };
    e.eglGetProcAddress = [](const char*) -> __eglMustCastToProperFunctionPointerType {
        return nullptr;
    };
    e.eglInitialize = [](EGLDisplay, EGLint*, EGLint*) -> EGLBoolean {
        if (!driver.initialize) {
            driver.error = EGL_NOT_INITIALIZED;
            return EGL_FALSE;
        }
        return EGL_TRUE;
    };
    e.eglMakeCurrent = [](EGLDisplay, EGLSurface, EGLSurface, EGLContext context) -> EGLBoolean {
        if (context != EGL_NO_CONTEXT && !driver.make_current) {
            driver.error = EGL_BAD_ACCESS;
            return EGL_FALSE;
        }
        return EGL_TRUE;
    };
    e.eglTerminate = [](EGLDisplay) -> EGLBoolean {
        ++driver.terminates;
        return EGL_TRUE;
    };
    return e;
}

Gles2EntryPoints fake_gl() {
    Gles2EntryPoints g;
    g.glBindFramebuffer = [](GLenum, GLuint) {};
    g.glBindRenderbuffer = [](GLenum, GLuint) {};
    g.glBindTexture = [](GLenum, GLuint) {};
    g.glCheckFramebufferStatus = [](GLenum) -> GLenum { return driver.framebuffer_status; };
    g.glDeleteFramebuffers = [](GLsizei, const GLuint* names) {
        driver.deleted_framebuffers.push_back(*names);
    };
    g.glDeleteRenderbuffers = [](GLsizei, const GLuint*) {};
    g.glDeleteTextures = [](GLsizei, const GLuint*) {};
    g.glFinish = []() {};
    g.glFramebufferRenderbuffer = [](GLenum, GLenum, GLenum, GLuint) {};
    g.glFramebufferTexture2D = [](GLenum, GLenum, GLenum, GLuint, GLint) {};
    g.glGenFramebuffers = [](GLsizei, GLuint* names) { *names = driver.next_name++; };
    g.glGenRenderbuffers = [](GLsizei, GLuint* names) { *names = driver.next_name++; };
    g.glGenTextures = [](GLsizei, GLuint* names) { *names = driver.next_name++; };
    g.glGetError = []() -> GLenum { return GL_NO_ERROR; };
    g.glGetIntegerv = [](GLenum, GLint* value) { *value = 0; };
    g.glPixelStorei = [](GLenum, GLint) {};
    g.glReadPixels = [](GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void*) {};
    g.glRenderbufferStorage = [](GLenum, GLenum, GLsizei, GLsizei) {};
    g.glTexImage2D = [](GLenum, GLint, GLint, GLsizei, GLsizei, GLint, GLenum, GLenum,
                        const void*) {};
    g.glTexParameteri = [](GLenum, GLenum, GLint) {};
    return g;
}

class FakeEglContextTest : public ::testing::Test {
  protected:
    void SetUp() override { driver = FakeDriver{}; }

    Result<std::unique_ptr<EglHardwareRenderContext>> create(std::uint32_t type,
                                                             std::uint32_t major = 0) {
        HardwareRenderRequest request;
        request.context_type = type;
        request.version_major = major;
        return EglHardwareRenderContext::create(std::make_shared<EglBindings>(fake_egl()),
                                                std::make_shared<Gles2Bindings>(fake_gl()),
                                                request);
    }
};

TEST_F(FakeEglContextTest, NoDisplayOrNoInitializationIsReportedWithTheEglCode) {
    driver.display = false;
    auto no_display = create(kHwContextOpenGl);
    ASSERT_FALSE(no_display.has_value());
    EXPECT_EQ(no_display.error().display(), "eglGetDisplay failed with EGL error 0x3008");

    driver = FakeDriver{};
    driver.initialize = false;
    auto uninitialized = create(kHwContextOpenGl);
    ASSERT_FALSE(uninitialized.has_value());
    EXPECT_EQ(uninitialized.error().display(), "eglInitialize failed with EGL error 0x3001");
    EXPECT_EQ(driver.surfaces_created, 0);
}

TEST_F(FakeEglContextTest, Gles3FallsBackToGles2ButGles2IsNotRetried) {
    driver.gles3_configs = false;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(kDebugLogsOn);
    auto context = create(kHwContextOpenGlEs3);
    const std::string log = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(context.has_value()) << context.error().display();
    EXPECT_EQ((*context)->version(), 2u);
    EXPECT_EQ(driver.renderable_types_asked,
              (std::vector<EGLint>{EGL_OPENGL_ES3_BIT, EGL_OPENGL_ES2_BIT}));
    EXPECT_EQ(driver.client_versions_asked, (std::vector<EGLint>{2}));
    EXPECT_THAT(log, testing::HasSubstr(
                         "[lumenkite-runner] EGL requested context unavailable, falling back to "
                         "GLES2: No EGL pbuffer GLES3 config is available.\n"));
    EXPECT_THAT(log, testing::HasSubstr("[lumenkite-runner] EGL hardware render context ready: "
                                        "api=OpenGL ES version=2 pbuffer=480x272 fbo=1\n"));
    context->reset();  // dropped now: the next case counts from zero

    // GLES 2 has nothing to fall back to; neither has the versioned type
    // when it asked for 2.
    driver = FakeDriver{};
    driver.make_current = false;
    auto refused = create(kHwContextOpenGlEsVersion, 2);
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(refused.error().display(), "eglMakeCurrent failed with EGL error 0x3002");
    EXPECT_EQ(driver.client_versions_asked, (std::vector<EGLint>{2}));
    EXPECT_EQ(driver.context_destroys, 1);
    EXPECT_EQ(driver.surface_destroys, 1);
    EXPECT_EQ(driver.terminates, 0) << "the process-wide display stays initialized";
}

TEST_F(FakeEglContextTest, AnIncompleteFramebufferNamesItsStatusAndKeepsTheOldOne) {
    auto context = create(kHwContextOpenGl);
    ASSERT_TRUE(context.has_value());
    const std::uint32_t fbo = (*context)->current_framebuffer_id();
    driver.framebuffer_status = 0x8cdd;  // GL_FRAMEBUFFER_UNSUPPORTED
    auto grown = (*context)->ensure_framebuffer_size(1024, 1024);
    ASSERT_FALSE(grown.has_value());
    EXPECT_EQ(grown.error().display(), "GL framebuffer is incomplete: status=0x8cdd");
    EXPECT_EQ((*context)->current_framebuffer_id(), fbo);
    EXPECT_EQ((*context)->framebuffer()->width(), 480u);
    EXPECT_EQ(driver.deleted_framebuffers, (std::vector<GLuint>{fbo + 2})) << "only the new one";

    // A context whose first framebuffer cannot be made is not handed out.
    auto never = create(kHwContextOpenGl);
    ASSERT_FALSE(never.has_value());
    EXPECT_EQ(never.error().display(), "GL framebuffer is incomplete: status=0x8cdd");
}

TEST_F(FakeEglContextTest, DestroyReleasesEachHandleOnceEvenWhenCalledAgainOrDropped) {
    {
        auto context = create(kHwContextOpenGl);
        ASSERT_TRUE(context.has_value());
        (*context)->destroy();
        (*context)->destroy();
        EXPECT_EQ(driver.context_destroys, 1);
        EXPECT_EQ(driver.surface_destroys, 1);
        EXPECT_EQ(driver.deleted_framebuffers.size(), 1u);
    }
    EXPECT_EQ(driver.context_destroys, 1) << "dropping a destroyed context does nothing more";
    EXPECT_EQ(driver.surface_destroys, 1);

    { auto dropped = create(kHwContextOpenGlEs2); }
    EXPECT_EQ(driver.context_destroys, 2) << "dropping destroys";
    EXPECT_EQ(driver.surface_destroys, 2);
    EXPECT_EQ(driver.deleted_framebuffers.size(), 2u);
    EXPECT_EQ(driver.terminates, 0);
}

}  // namespace
}  // namespace lk
