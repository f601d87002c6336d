#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "common/error.hpp"
#include "hardware_render/gl/gles2_bindings.hpp"
#include "video/video_frame.hpp"

namespace lk {

// Values above 2,147,483,647 fail with "{label} is too large: {value}".
Result<std::int32_t> u32_to_i32(std::uint32_t value, std::string_view label);

// The offscreen framebuffer a hardware-rendering core draws into: an RGBA8
// colour texture and, when asked for, a 16-bit depth renderbuffer. It only
// ever grows. Used on the runtime thread with its GL context current.
class GlFramebuffer {
  public:
    // A framebuffer of that size, with fresh GL objects.
    static Result<GlFramebuffer> create(std::shared_ptr<Gles2Bindings> gl, std::uint32_t width,
                                        std::uint32_t height, bool depth);

    GlFramebuffer(GlFramebuffer&& other) noexcept;
    GlFramebuffer& operator=(GlFramebuffer&& other) noexcept;
    GlFramebuffer(const GlFramebuffer&) = delete;
    GlFramebuffer& operator=(const GlFramebuffer&) = delete;
    // Deletes the GL objects it still holds.
    ~GlFramebuffer();

    // Replaces the GL objects with new ones of that size; on failure the
    // previous ones stay in use.
    Status recreate(std::uint32_t width, std::uint32_t height);
    // "{operation} failed with GL error 0x{code:04x}" when glGetError reports one.
    Status check_gl_error(std::string_view operation) const;
    // Reads back the bottom-left width × height corner (clamped to the
    // framebuffer) as a top-down "rgba8888" frame with opaque alpha; grows the
    // framebuffer afterwards when it was smaller than asked for.
    Result<VideoFrame> read_frame(std::uint32_t width, std::uint32_t height);
    // Deletes the GL objects now (the context must be current).
    void release();

    [[nodiscard]] std::uint32_t fbo() const { return fbo_; }
    [[nodiscard]] std::uint32_t texture() const { return texture_; }
    [[nodiscard]] std::uint32_t renderbuffer() const { return renderbuffer_; }
    [[nodiscard]] std::uint32_t width() const { return width_; }
    [[nodiscard]] std::uint32_t height() const { return height_; }
    [[nodiscard]] bool depth() const { return depth_; }

  private:
    GlFramebuffer(std::shared_ptr<Gles2Bindings> gl, bool depth)
        : gl_(std::move(gl)), depth_(depth) {}
    void delete_objects(std::uint32_t fbo, std::uint32_t texture, std::uint32_t renderbuffer);

    std::shared_ptr<Gles2Bindings> gl_;
    std::uint32_t fbo_ = 0;
    std::uint32_t texture_ = 0;
    std::uint32_t renderbuffer_ = 0;
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    bool depth_ = false;
};

}  // namespace lk
