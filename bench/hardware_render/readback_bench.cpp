// What a hardware-rendered frame costs the runtime thread against a software
// frame of the same size: the GL readback (glReadPixels, flip, opaque alpha)
// of an offscreen EGL context, side by side with the video callback's copy
// of a core's xrgb8888 frame, both ending as a VideoFrame in the callback
// state's slot. Report the ratio of the two.
#include <GLES2/gl2.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "hardware_render/egl/egl_hardware_render_backend.hpp"
#include "libretro/abi.hpp"
#include "libretro/environment_callback.hpp"
#include "libretro/callback_runtime_state.hpp"
#include "libretro/hardware_render_negotiation.hpp"
#include "libretro/video_callback.hpp"

namespace lk::bench {
namespace {

constexpr std::uint32_t kWidth = 640;
constexpr std::uint32_t kHeight = 480;
// The video callback's mark for "the frame is in the hardware framebuffer".
const void* const kHardwareFrame = reinterpret_cast<const void*>(retro::kHwFrameBufferValidBits);

// A hardware context installed in the callback bridge, as a core that asked
// for `type` has it, with a picture in its framebuffer.
class HardwareSession {
  public:
    explicit HardwareSession(std::uint32_t type) {
        auto backend = EglHardwareRenderBackend::create();
        if (!backend) {
            error_ = backend.error().display();
            return;
        }
        callback_bridge::reset();
        callback_bridge::configure_hardware_render_backend(std::move(*backend));
        std::memset(&request_, 0, sizeof request_);
        request_.context_type = static_cast<retro::HwContextType>(type);
        if (!callback_bridge::set_hw_render(&request_)) {
            error_ = "the EGL backend refused the context";
            return;
        }
        if (auto prepared = callback_bridge::prepare_hardware_render_context(); !prepared) {
            error_ = prepared.error().display();
            return;
        }
        retro::SystemAvInfo info{};
        info.geometry.base_width = kWidth;
        info.geometry.base_height = kHeight;
        info.timing.fps = 60.0;
        info.timing.sample_rate = 48000.0;
        callback_bridge::environment_callback(retro::env::kSetSystemAvInfo, &info);
        using ClearColorFn = void (*)(GLfloat, GLfloat, GLfloat, GLfloat);
        using ClearFn = void (*)(GLbitfield);
        using BindFn = void (*)(GLenum, GLuint);
        auto bind = reinterpret_cast<BindFn>(request_.get_proc_address("glBindFramebuffer"));
        auto clear_color = reinterpret_cast<ClearColorFn>(request_.get_proc_address("glClearColor"));
        auto clear = reinterpret_cast<ClearFn>(request_.get_proc_address("glClear"));
        bind(GL_FRAMEBUFFER, static_cast<GLuint>(request_.get_current_framebuffer()));
        clear_color(0.25f, 0.5f, 0.75f, 1.0f);
        clear(GL_COLOR_BUFFER_BIT);
    }
    ~HardwareSession() { callback_bridge::reset(); }

    [[nodiscard]] const std::string& error() const { return error_; }

  private:
    retro::HwRenderCallback request_{};
    std::string error_;
};

void BM_SoftwareFrameHandOver(benchmark::State& state) {
    callback_bridge::reset();
    const std::size_t pitch = kWidth * 4;
    std::vector<std::uint8_t> pixels(pitch * kHeight, 0x5a);
    for (auto _ : state) {
        callback_bridge::video_refresh_callback(pixels.data(), kWidth, kHeight, pitch);
        auto frame = callback_bridge::take_current_frame();
        benchmark::DoNotOptimize(frame);
    }
    state.SetLabel("xrgb8888 640x480");
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(pitch * kHeight));
}
BENCHMARK(BM_SoftwareFrameHandOver);

void BM_HardwareFrameReadback(benchmark::State& state) {
    const auto type = static_cast<std::uint32_t>(state.range(0));
    HardwareSession session(type);
    if (!session.error().empty()) {
        state.SkipWithError(session.error().c_str());
        return;
    }
    for (auto _ : state) {
        callback_bridge::video_refresh_callback(kHardwareFrame, kWidth, kHeight, 0);
        if (auto captured = callback_bridge::capture_pending_hardware_frame(); !captured) {
            state.SkipWithError(captured.error().display().c_str());
            return;
        }
        auto frame = callback_bridge::take_current_frame();
        if (!frame || frame->width != kWidth || frame->height != kHeight) {
            state.SkipWithError("the readback did not give a 640x480 frame");
            return;
        }
        benchmark::DoNotOptimize(frame);
    }
    state.SetLabel(std::string(hardware_context_type_name(type)) + " 640x480");
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(std::size_t{kWidth} * kHeight * 4));
}
BENCHMARK(BM_HardwareFrameReadback)
    ->Arg(kHwContextOpenGl)
    ->Arg(kHwContextOpenGlCore)
    ->Arg(kHwContextOpenGlEs2);

}  // namespace
}  // namespace lk::bench

BENCHMARK_MAIN();
