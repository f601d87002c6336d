// Hardware render negotiation on the callback-bridge side, against a
// scriptable backend: granting and refusing SET_HW_RENDER, the core's
// context_reset/context_destroy (exactly once, never under the lock), marked
// frames read back once, and framebuffer growth on AV updates.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "callback_bridge_test_support.hpp"
#include "hardware_render/unsupported_hardware_render_backend.hpp"
#include "libretro/abi.hpp"
#include "libretro/callback_runtime_state.hpp"
#include "libretro/environment_callback.hpp"
#include "libretro/hardware_render_negotiation.hpp"
#include "libretro/video_callback.hpp"

namespace lk {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
namespace bridge = callback_bridge;

// What the fake core's context functions saw.
struct CoreSide {
    int resets = 0;
    int destroys = 0;
    int second_resets = 0;
    int second_destroys = 0;
    bool lock_was_free = true;
    std::uintptr_t framebuffer_seen = 0;
    retro::ProcAddressFn gl_clear = nullptr;
};
CoreSide core;

void note_lock() {
    core.lock_was_free = core.lock_was_free && CallbackStateLock::try_acquire().has_value();
}
void core_context_reset() {
    ++core.resets;
    note_lock();
    // A core looks up GL functions and its framebuffer from inside context_reset.
    core.gl_clear = bridge::get_hardware_proc_address("glClear");
    core.framebuffer_seen = bridge::get_current_hardware_framebuffer();
}
void core_context_destroy() {
    ++core.destroys;
    note_lock();
    unsigned version = 0;
    bridge::environment_callback(retro::env::kGetCoreOptionsVersion, &version);
}
void second_context_reset() {
    ++core.second_resets;
}
void second_context_destroy() {
    ++core.second_destroys;
}

retro::ProcAddressFn sentinel_proc(const char*) {
    return nullptr;
}

retro::HwRenderCallback opengl_request() {
    retro::HwRenderCallback request{};
    request.context_type = retro::HwContextType::kOpenGl;
    request.context_reset = core_context_reset;
    request.context_destroy = core_context_destroy;
    request.depth = true;
    request.version_major = 3;
    request.version_minor = 3;
    return request;
}

class HardwareRenderNegotiation : public test::CallbackBridgeTest {
  protected:
    void SetUp() override {
        test::CallbackBridgeTest::SetUp();
        core = CoreSide{};
    }

    // Installs the fake backend and grants one OpenGL context.
    void grant() {
        auto backend = std::make_unique<test::FakeHardwareRenderBackend>(journal_);
        backend_ = backend.get();
        bridge::configure_hardware_render_backend(std::move(backend));
        request_ = opengl_request();
        ASSERT_TRUE(bridge::environment_callback(retro::env::kSetHwRender, &request_));
        journal_->calls.clear();
    }

    std::shared_ptr<test::FakeHardwareJournal> journal_ =
        std::make_shared<test::FakeHardwareJournal>();
    test::FakeHardwareRenderBackend* backend_ = nullptr;
    retro::HwRenderCallback request_{};
};

TEST_F(HardwareRenderNegotiation, TheRefusingBackendRejectsWithTheFullExplanation) {
    bridge::configure_hardware_render_backend(std::make_unique<UnsupportedHardwareRenderBackend>(
        "EGL backend is unavailable: Failed to load EGL library: libEGL.so.1: missing"));
    retro::HwRenderCallback request{};
    request.context_type = retro::HwContextType::kVulkan;
    request.get_proc_address = sentinel_proc;
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(bridge::environment_callback(retro::env::kSetHwRender, &request));
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err,
              "[lumenkite-runner] Libretro hardware render rejected: Requested libretro hardware "
              "context: Vulkan (6), version 0.0, depth=false, stencil=false, cacheContext=false, "
              "debugContext=false, bottomLeftOrigin=false. Hardware render backend 'unsupported' "
              "is unavailable: EGL backend is unavailable: Failed to load EGL library: "
              "libEGL.so.1: missing. Supported contexts: none. This runner build supports "
              "hardware rendering through Linux EGL/OpenGL. Verify libEGL/OpenGL drivers are "
              "installed and usable by the desktop process.\n");
    EXPECT_EQ(request.get_proc_address, &sentinel_proc) << "the core's structure is unchanged";
    EXPECT_EQ(request.get_current_framebuffer, nullptr);
    EXPECT_EQ(bridge::get_current_hardware_framebuffer(), 0u);
    EXPECT_TRUE(bridge::prepare_hardware_render_context().has_value()) << "nothing to prepare";

    // The start-up backend refuses too, naming why.
    bridge::configure_hardware_render_backend(nullptr);
    ::testing::internal::CaptureStderr();
    request.context_type = retro::HwContextType::kOpenGl;
    EXPECT_FALSE(bridge::environment_callback(retro::env::kSetHwRender, &request));
    EXPECT_THAT(::testing::internal::GetCapturedStderr(),
                HasSubstr("No hardware render backend has been configured."));
}

TEST_F(HardwareRenderNegotiation, AGrantedContextIsResetOnceWithoutTheLock) {
    auto backend = std::make_unique<test::FakeHardwareRenderBackend>(journal_);
    bridge::configure_hardware_render_backend(std::move(backend));
    EXPECT_EQ(bridge::get_current_hardware_framebuffer(), 0u) << "no context yet";
    request_ = opengl_request();
    ASSERT_TRUE(bridge::environment_callback(retro::env::kSetHwRender, &request_));
    EXPECT_EQ(request_.get_current_framebuffer, &bridge::get_current_hardware_framebuffer);
    EXPECT_EQ(request_.get_proc_address, &bridge::get_hardware_proc_address);
    EXPECT_EQ(core.resets, 0) << "context_reset waits for the first preparation";

    for (int frame = 0; frame < 3; ++frame) {
        ASSERT_TRUE(bridge::prepare_hardware_render_context().has_value());
    }
    EXPECT_EQ(core.resets, 1);
    EXPECT_TRUE(core.lock_was_free);
    EXPECT_EQ(core.framebuffer_seen, 10u);
    EXPECT_EQ(core.gl_clear, &test::FakeHardwareRenderContext::fake_gl_function);
    EXPECT_EQ(bridge::get_hardware_proc_address("glMissing"), nullptr);
    EXPECT_THAT(journal_->calls,
                ElementsAre("backend.create_context OpenGL (1), version 3.3, depth=true, "
                            "stencil=false, cacheContext=false, debugContext=false, "
                            "bottomLeftOrigin=false",
                            "ctx1.reset", "ctx1.proc_address glClear", "ctx1.reset", "ctx1.reset",
                            "ctx1.proc_address glMissing"));
}

TEST_F(HardwareRenderNegotiation, AMarkedFrameIsReadBackOnceAtTheLatestSize) {
    grant();
    EXPECT_TRUE(bridge::capture_pending_hardware_frame().has_value()) << "nothing marked";
    const void* valid = reinterpret_cast<const void*>(retro::kHwFrameBufferValidBits);
    bridge::video_refresh_callback(valid, 320, 240, 0);
    bridge::video_refresh_callback(valid, 640, 480, 0);
    ASSERT_TRUE(bridge::capture_pending_hardware_frame().has_value());
    ASSERT_TRUE(bridge::capture_pending_hardware_frame().has_value());
    EXPECT_THAT(journal_->calls, ElementsAre("ctx1.capture_frame 640x480"));
    const auto frame = bridge::take_current_frame();
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(frame->pixel_format, "rgba8888");
    EXPECT_EQ(frame->width, 640u);
    EXPECT_EQ(frame->height, 480u);

    // A failed readback is reported, the mark is gone and no frame appears.
    backend_->last_context->fail_capture = true;
    bridge::video_refresh_callback(valid, 64, 64, 0);
    const auto failed = bridge::capture_pending_hardware_frame();
    ASSERT_FALSE(failed.has_value());
    EXPECT_EQ(failed.error().message(), "capture GL framebuffer failed with GL error 0x0502");
    EXPECT_TRUE(bridge::capture_pending_hardware_frame().has_value());
    EXPECT_FALSE(bridge::take_current_frame().has_value());
}

TEST_F(HardwareRenderNegotiation, AvUpdatesGrowTheFramebufferToTheLargerSize) {
    grant();
    retro::SystemAvInfo info{{320, 240, 0, 0, 0.0f}, {60.0, 48000.0}};
    EXPECT_TRUE(bridge::environment_callback(retro::env::kSetSystemAvInfo, &info));
    info.geometry = {100, 50, 1024, 40, 0.0f};
    EXPECT_TRUE(bridge::environment_callback(retro::env::kSetSystemAvInfo, &info));
    info.geometry = {0, 0, 0, 0, 0.0f};
    EXPECT_TRUE(bridge::environment_callback(retro::env::kSetSystemAvInfo, &info));
    EXPECT_THAT(journal_->calls, ElementsAre("ctx1.ensure_framebuffer_size 320x240",
                                             "ctx1.ensure_framebuffer_size 1024x50",
                                             "ctx1.ensure_framebuffer_size 1x1"));

    backend_->last_context->fail_resize = true;
    info.geometry = {320, 240, 0, 0, 0.0f};
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(bridge::environment_callback(retro::env::kSetSystemAvInfo, &info));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "[lumenkite-runner] Libretro hardware framebuffer resize failed: GL framebuffer is "
              "incomplete: status=0x8cdd\n");
    const auto stored = bridge::take_system_av_info_update();
    ASSERT_TRUE(stored.has_value()) << "the update stays stored";
    EXPECT_EQ(stored->geometry.base_width, 320u);
    EXPECT_EQ(stored->geometry.max_width, 0u) << "stored unchanged";
}

TEST_F(HardwareRenderNegotiation, ASecondRequestReplacesTheContext) {
    grant();
    ASSERT_TRUE(bridge::prepare_hardware_render_context().has_value());
    retro::HwRenderCallback second = opengl_request();
    second.context_reset = second_context_reset;
    second.context_destroy = second_context_destroy;
    ASSERT_TRUE(bridge::environment_callback(retro::env::kSetHwRender, &second));
    EXPECT_EQ(core.destroys, 1) << "the old context gets the old context_destroy";
    EXPECT_TRUE(core.lock_was_free);
    EXPECT_EQ(bridge::get_current_hardware_framebuffer(), 11u);
    ASSERT_TRUE(bridge::prepare_hardware_render_context().has_value());
    EXPECT_EQ(core.second_resets, 1);
    EXPECT_EQ(core.resets, 1);

    bridge::reset();
    EXPECT_EQ(core.second_destroys, 1);
    EXPECT_EQ(core.destroys, 1);
    EXPECT_EQ(bridge::get_current_hardware_framebuffer(), 0u) << "none after reset";
    EXPECT_EQ(bridge::get_hardware_proc_address("glClear"), nullptr);
    EXPECT_THAT(journal_->calls,
                ::testing::IsSupersetOf({"ctx1.destroy", "ctx2.reset", "ctx2.destroy"}));
}

TEST_F(HardwareRenderNegotiation, ResetAndNewBackendsDestroyTheContextOutsideTheLock) {
    grant();
    ASSERT_TRUE(bridge::prepare_hardware_render_context().has_value());
    journal_->calls.clear();
    bridge::reset();
    EXPECT_EQ(core.destroys, 1);
    EXPECT_TRUE(core.lock_was_free);
    EXPECT_THAT(journal_->calls, ElementsAre("ctx1.reset", "ctx1.destroy"))
        << "made current before the core's context_destroy";
    {
        CallbackStateLock state;
        EXPECT_EQ(state->hardware_backend.get(), backend_) << "reset keeps the backend";
    }

    // Installing another backend destroys a context made by the old one.
    ASSERT_TRUE(bridge::environment_callback(retro::env::kSetHwRender, &request_));
    bridge::configure_hardware_render_backend(nullptr);
    EXPECT_EQ(core.destroys, 2);
    EXPECT_EQ(bridge::get_current_hardware_framebuffer(), 0u);
}

TEST_F(HardwareRenderNegotiation, FailuresToMakeTheContextCurrent) {
    grant();
    backend_->last_context->fail_reset = true;
    const auto prepared = bridge::prepare_hardware_render_context();
    ASSERT_FALSE(prepared.has_value());
    EXPECT_EQ(prepared.error().message(), "eglMakeCurrent failed with EGL error 0x3002");
    EXPECT_EQ(core.resets, 0);

    ::testing::internal::CaptureStderr();
    bridge::reset();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "[lumenkite-runner] Failed to make hardware context current before destroy: "
              "eglMakeCurrent failed with EGL error 0x3002\n");
    EXPECT_EQ(core.destroys, 0) << "the core's context_destroy is skipped";
    EXPECT_EQ(journal_->calls.back(), "ctx1.destroy") << "the context is destroyed anyway";
}

}  // namespace
}  // namespace lk
