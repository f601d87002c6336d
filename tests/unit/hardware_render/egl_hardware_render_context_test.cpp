// The EGL backend on the machine's real EGL and GL (Mesa's software
// rasterizer on a headless machine): a context for every supported type,
// the framebuffer the core draws into, and the readback into frames.

#include <GLES2/gl2.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>

#include "hardware_render/egl/egl_hardware_render_backend.hpp"
#include "hardware_render/egl/egl_hardware_render_context.hpp"
#include "hardware_render/gl/gles2_bindings.hpp"

namespace lk {
namespace {

using ClearColorFn = void (*)(GLfloat, GLfloat, GLfloat, GLfloat);
using ClearFn = void (*)(GLbitfield);
using ScissorFn = void (*)(GLint, GLint, GLsizei, GLsizei);
using CapabilityFn = void (*)(GLenum);
using BindFramebufferFn = void (*)(GLenum, GLuint);
using GetStringFn = const GLubyte* (*)(GLenum);

// The few GL calls a core would make, looked up the way a core does.
struct CoreGl {
    explicit CoreGl(HardwareRenderContext& context)
        : clear_color(lookup<ClearColorFn>(context, "glClearColor")),
          clear(lookup<ClearFn>(context, "glClear")),
          scissor(lookup<ScissorFn>(context, "glScissor")),
          enable(lookup<CapabilityFn>(context, "glEnable")),
          disable(lookup<CapabilityFn>(context, "glDisable")),
          bind_framebuffer(lookup<BindFramebufferFn>(context, "glBindFramebuffer")),
          get_string(lookup<GetStringFn>(context, "glGetString")) {}

    template <class F>
    static F lookup(HardwareRenderContext& context, const char* name) {
        HardwareProcAddress address = context.proc_address(name);
        EXPECT_NE(address, nullptr) << name;
        return reinterpret_cast<F>(address);
    }

    // Fills a rectangle (GL coordinates, origin bottom-left) of the
    // context's framebuffer with one colour.
    void fill(HardwareRenderContext& context, std::array<GLint, 4> box,
              std::array<float, 4> rgba) const {
        bind_framebuffer(GL_FRAMEBUFFER, context.current_framebuffer_id());
        enable(GL_SCISSOR_TEST);
        scissor(box[0], box[1], box[2], box[3]);
        clear_color(rgba[0], rgba[1], rgba[2], rgba[3]);
        clear(GL_COLOR_BUFFER_BIT);
        disable(GL_SCISSOR_TEST);
    }

    std::string version() const {
        return reinterpret_cast<const char*>(get_string(GL_VERSION));
    }

    ClearColorFn clear_color;
    ClearFn clear;
    ScissorFn scissor;
    CapabilityFn enable;
    CapabilityFn disable;
    BindFramebufferFn bind_framebuffer;
    GetStringFn get_string;
};

class EglContextTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto backend = EglHardwareRenderBackend::create();
        ASSERT_TRUE(backend.has_value()) << backend.error().display();
        backend_ = std::move(*backend);
    }

    std::unique_ptr<HardwareRenderContext> make(std::uint32_t type, std::uint32_t major = 0,
                                                std::uint32_t minor = 0, bool depth = false) {
        HardwareRenderRequest request;
        request.context_type = type;
        request.version_major = major;
        request.version_minor = minor;
        request.depth = depth;
        auto context = backend_->create_context(request);
        EXPECT_TRUE(context.has_value()) << request.description() << ": "
                                         << (context ? "" : context.error().display());
        return context ? std::move(*context) : nullptr;
    }

    static const EglHardwareRenderContext& egl(const HardwareRenderContext& context) {
        return dynamic_cast<const EglHardwareRenderContext&>(context);
    }

    static std::array<std::uint8_t, 4> pixel(const VideoFrame& frame, std::uint32_t x,
                                             std::uint32_t y) {
        std::array<std::uint8_t, 4> rgba{};
        std::memcpy(rgba.data(), frame.data.data() + y * frame.pitch + x * 4, 4);
        return rgba;
    }

    std::unique_ptr<EglHardwareRenderBackend> backend_;
};

TEST_F(EglContextTest, EverySupportedTypeGetsAContextWithTheVersionItAskedFor) {
    struct Case {
        std::uint32_t type, major, minor;
        std::uint32_t version;       // the major version the context records
        // Part of GL_VERSION: drivers may give a newer compatible version
        // than asked for, but never the wrong API or profile.
        const char* version_text;
    };
    const Case cases[] = {
        {kHwContextOpenGl, 0, 0, 2, "Compatibility Profile"},
        {kHwContextOpenGlEs2, 2, 0, 2, "OpenGL ES "},
        {kHwContextOpenGlCore, 3, 3, 3, "(Core Profile)"},
        {kHwContextOpenGlCore, 4, 5, 4, "4.5 (Core Profile)"},
        {kHwContextOpenGlEs3, 0, 0, 3, "OpenGL ES 3."},
        {kHwContextOpenGlEsVersion, 3, 0, 3, "OpenGL ES 3."},
        {kHwContextOpenGlEsVersion, 2, 0, 2, "OpenGL ES "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " " << c.major << "." << c.minor);
        auto context = make(c.type, c.major, c.minor, /*depth=*/true);
        ASSERT_NE(context, nullptr);
        EXPECT_EQ(egl(*context).version(), c.version);
        ASSERT_NE(egl(*context).framebuffer(), nullptr);
        EXPECT_EQ(egl(*context).framebuffer()->width(), 480u);
        EXPECT_EQ(egl(*context).framebuffer()->height(), 272u);
        EXPECT_NE(egl(*context).framebuffer()->renderbuffer(), 0u) << "depth attachment";
        EXPECT_NE(context->current_framebuffer_id(), 0u);
        ASSERT_TRUE(context->reset().has_value());
        const CoreGl gl(*context);
        EXPECT_NE(gl.version().find(c.version_text), std::string::npos) << gl.version();

        gl.fill(*context, {0, 0, 480, 272}, {0.0f, 0.5f, 1.0f, 0.0f});
        auto frame = context->capture_frame(2, 2);
        ASSERT_TRUE(frame.has_value()) << frame.error().display();
        EXPECT_EQ(pixel(*frame, 1, 1), (std::array<std::uint8_t, 4>{0, 128, 255, 255}));
    }
}

TEST_F(EglContextTest, ReadbackIsTopDownFromTheBottomLeftCornerWithOpaqueAlpha) {
    auto context = make(kHwContextOpenGl);
    ASSERT_NE(context, nullptr);
    const CoreGl gl(*context);
    gl.fill(*context, {0, 0, 480, 272}, {0, 0, 0, 0});
    // GL rows 0..15 (the bottom of a 64x32 picture) blue, rows 16..31 red,
    // and the left half of the top row green.
    gl.fill(*context, {0, 0, 64, 16}, {0, 0, 1, 0.25f});
    gl.fill(*context, {0, 16, 64, 16}, {1, 0, 0, 0.25f});
    gl.fill(*context, {0, 31, 32, 1}, {0, 1, 0, 0.25f});

    auto frame = context->capture_frame(64, 32);
    ASSERT_TRUE(frame.has_value()) << frame.error().display();
    EXPECT_EQ(frame->pixel_format, "rgba8888");
    EXPECT_EQ(frame->width, 64u);
    EXPECT_EQ(frame->height, 32u);
    EXPECT_EQ(frame->pitch, 256u);
    ASSERT_EQ(frame->data.size(), 64u * 32u * 4u);
    using Rgba = std::array<std::uint8_t, 4>;
    EXPECT_EQ(pixel(*frame, 0, 0), (Rgba{0, 255, 0, 255})) << "top row, left half";
    EXPECT_EQ(pixel(*frame, 32, 0), (Rgba{255, 0, 0, 255})) << "top row, right half";
    EXPECT_EQ(pixel(*frame, 63, 15), (Rgba{255, 0, 0, 255}));
    EXPECT_EQ(pixel(*frame, 0, 16), (Rgba{0, 0, 255, 255}));
    EXPECT_EQ(pixel(*frame, 63, 31), (Rgba{0, 0, 255, 255})) << "bottom row";

    // 1x1 and 0x0 both read the single bottom-left pixel.
    for (const std::uint32_t size : {1u, 0u}) {
        auto one = context->capture_frame(size, size);
        ASSERT_TRUE(one.has_value());
        EXPECT_EQ(one->width, 1u);
        EXPECT_EQ(one->height, 1u);
        ASSERT_EQ(one->data.size(), 4u);
        EXPECT_EQ(pixel(*one, 0, 0), (Rgba{0, 0, 255, 255}));
    }
}

TEST_F(EglContextTest, FramebufferOnlyGrowsAndAnOversizedFrameIsClampedOnce) {
    auto context = make(kHwContextOpenGlCore, 3, 3);
    ASSERT_NE(context, nullptr);
    const auto size = [&] {
        const GlFramebuffer* framebuffer = egl(*context).framebuffer();
        return std::pair{framebuffer->width(), framebuffer->height()};
    };
    ASSERT_TRUE(context->ensure_framebuffer_size(0, 0).has_value());
    EXPECT_EQ(size(), (std::pair{480u, 272u}));
    ASSERT_TRUE(context->ensure_framebuffer_size(1024, 100).has_value());
    EXPECT_EQ(size(), (std::pair{1024u, 272u}));
    ASSERT_TRUE(context->ensure_framebuffer_size(200, 200).has_value());
    EXPECT_EQ(size(), (std::pair{1024u, 272u})) << "never shrinks";

    // A 640x480 frame in a 1024x272 framebuffer: this one is read at 640x272,
    // and the framebuffer grows so the next one fits.
    auto first = context->capture_frame(640, 480);
    ASSERT_TRUE(first.has_value()) << first.error().display();
    EXPECT_EQ(first->width, 640u);
    EXPECT_EQ(first->height, 272u);
    EXPECT_EQ(size(), (std::pair{1024u, 480u}));

    const CoreGl gl(*context);
    gl.fill(*context, {0, 0, 640, 480}, {1, 1, 1, 1});
    gl.fill(*context, {0, 479, 640, 1}, {1, 0, 0, 1});
    auto second = context->capture_frame(640, 480);
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(second->width, 640u);
    EXPECT_EQ(second->height, 480u);
    EXPECT_EQ(pixel(*second, 639, 0), (std::array<std::uint8_t, 4>{255, 0, 0, 255}));
    EXPECT_EQ(pixel(*second, 639, 1), (std::array<std::uint8_t, 4>{255, 255, 255, 255}));
}

TEST_F(EglContextTest, RefusesVulkanUnknownTypesAndVersionsTheDriverLacks) {
    for (const std::uint32_t type : {kHwContextVulkan, 0u, 7u}) {
        HardwareRenderRequest request;
        request.context_type = type;
        request.version_major = 1;
        request.version_minor = 2;
        auto refused = backend_->create_context(request);
        ASSERT_FALSE(refused.has_value());
        EXPECT_EQ(refused.error().display(),
                  "Unsupported libretro hardware context type " + std::to_string(type) +
                      "; requested " + request.description() +
                      ". Supported contexts are OpenGL, OpenGL Core, and OpenGL ES.");
    }
    HardwareRenderRequest too_new;
    too_new.context_type = kHwContextOpenGlCore;
    too_new.version_major = 9;
    too_new.version_minor = 9;
    auto refused = backend_->create_context(too_new);
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(refused.error().display().rfind("eglCreateContext failed with EGL error 0x", 0), 0u)
        << refused.error().display();
}

TEST_F(EglContextTest, DestroyReleasesEverythingOnceAndAnotherContextKeepsWorking) {
    auto first = make(kHwContextOpenGl);
    auto second = make(kHwContextOpenGlEs2);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    // Both live on the same EGL display: destroying one must not end the other.
    first->destroy();
    first->destroy();
    EXPECT_EQ(first->current_framebuffer_id(), 0u);
    auto gone = first->capture_frame(4, 4);
    ASSERT_FALSE(gone.has_value());
    EXPECT_EQ(gone.error().display(), "GL framebuffer has not been created.");
    EXPECT_EQ(first->ensure_framebuffer_size(4, 4).error().display(),
              "GL framebuffer has not been created.");

    ASSERT_TRUE(second->reset().has_value());
    const CoreGl gl(*second);
    gl.fill(*second, {0, 0, 8, 8}, {0, 1, 0, 1});
    auto frame = second->capture_frame(8, 8);
    ASSERT_TRUE(frame.has_value()) << frame.error().display();
    EXPECT_EQ(pixel(*frame, 7, 7), (std::array<std::uint8_t, 4>{0, 255, 0, 255}));
}

TEST_F(EglContextTest, ProcAddressFallsBackToTheGlLibraryAndNullStaysNull) {
    auto context = make(kHwContextOpenGlEs3);
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(context->proc_address(nullptr), nullptr);
    EXPECT_NE(context->proc_address("glReadPixels"), nullptr);
    EXPECT_EQ(context->proc_address("lkNoSuchFunction"), nullptr);
}

TEST(EglBackend, CapabilityOffersTheGlFamilyAndPrefersOpenGl) {
    auto backend = EglHardwareRenderBackend::create();
    ASSERT_TRUE(backend.has_value());
    const auto capability = (*backend)->capability();
    EXPECT_EQ(capability.backend_name, "linux-egl-opengl");
    EXPECT_EQ(capability.supported_context_types, (std::vector<std::uint32_t>{1, 3, 2, 4, 5}));
    EXPECT_TRUE(capability.available);
    EXPECT_FALSE(capability.unavailable_reason.has_value());
    EXPECT_EQ(capability.preferred_context_type, 1u);
    EXPECT_EQ((*backend)->preferred_context_type(), 1u);
}

TEST(Gles2Bindings, ALibraryWithoutTheEntryPointsStopsTheSearch) {
    constexpr std::array<const char*, 2> candidates{"libm.so.6", "libGLESv2.so.2"};
    auto loaded = Gles2Bindings::load_with_candidates("GLESv2", candidates);
    ASSERT_FALSE(loaded.has_value()) << "libGLESv2 must not be tried after libm opened";
    EXPECT_NE(loaded.error().display().find("undefined symbol: glBindFramebuffer"),
              std::string::npos)
        << loaded.error().display();

    constexpr std::array<const char*, 2> missing{"lk-none-a.so", "lk-none-b.so"};
    auto none = Gles2Bindings::load_with_candidates("OpenGL", missing);
    ASSERT_FALSE(none.has_value());
    EXPECT_EQ(none.error().display(),
              "Failed to load OpenGL library: lk-none-a.so: lk-none-a.so: cannot open shared "
              "object file: No such file or directory; lk-none-b.so: lk-none-b.so: cannot open "
              "shared object file: No such file or directory");
}

TEST(U32ToI32, RejectsValuesAboveTheSignedRange) {
    EXPECT_EQ(u32_to_i32(2147483647u, "read width").value(), 2147483647);
    auto too_large = u32_to_i32(2147483648u, "framebuffer height");
    ASSERT_FALSE(too_large.has_value());
    EXPECT_EQ(too_large.error().display(), "framebuffer height is too large: 2147483648");
}

}  // namespace
}  // namespace lk
