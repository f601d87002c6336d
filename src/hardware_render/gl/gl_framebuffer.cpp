#include "hardware_render/gl/gl_framebuffer.hpp"

#include <algorithm>
#include <limits>
#include <utility>

#include <fmt/format.h>

namespace lk {

namespace {

std::uint32_t as_name(GLint value) {
    return static_cast<std::uint32_t>(value);
}

}  // namespace

Result<std::int32_t> u32_to_i32(std::uint32_t value, std::string_view label) {
    if (value > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())) {
        return fail(fmt::format("{} is too large: {}", label, value));
    }
    return static_cast<std::int32_t>(value);
}

Result<GlFramebuffer> GlFramebuffer::create(std::shared_ptr<Gles2Bindings> gl,
                                            std::uint32_t width, std::uint32_t height,
                                            bool depth) {
    GlFramebuffer framebuffer(std::move(gl), depth);
    if (auto created = framebuffer.recreate(width, height); !created) {
        return fail(std::move(created.error()));
    }
    return framebuffer;
}

GlFramebuffer::GlFramebuffer(GlFramebuffer&& other) noexcept
    : gl_(std::move(other.gl_)),
      fbo_(std::exchange(other.fbo_, 0)),
      texture_(std::exchange(other.texture_, 0)),
      renderbuffer_(std::exchange(other.renderbuffer_, 0)),
      width_(other.width_),
      height_(other.height_),
      depth_(other.depth_) {}

GlFramebuffer& GlFramebuffer::operator=(GlFramebuffer&& other) noexcept {
    if (this != &other) {
        release();
        gl_ = std::move(other.gl_);
        fbo_ = std::exchange(other.fbo_, 0);
        texture_ = std::exchange(other.texture_, 0);
        renderbuffer_ = std::exchange(other.renderbuffer_, 0);
        width_ = other.width_;
        height_ = other.height_;
        depth_ = other.depth_;
    }
    return *this;
}

GlFramebuffer::~GlFramebuffer() {
    release();
}

void GlFramebuffer::release() {
    delete_objects(std::exchange(fbo_, 0), std::exchange(texture_, 0),
                   std::exchange(renderbuffer_, 0));
}

void GlFramebuffer::delete_objects(std::uint32_t fbo, std::uint32_t texture,
                                   std::uint32_t renderbuffer) {
    if (gl_ == nullptr) {
        return;
    }
    const Gles2EntryPoints& gl = gl_->api();
    if (fbo != 0) {
        gl.glDeleteFramebuffers(1, &fbo);
    }
    if (texture != 0) {
        gl.glDeleteTextures(1, &texture);
    }
    if (renderbuffer != 0) {
        gl.glDeleteRenderbuffers(1, &renderbuffer);
    }
}

Status GlFramebuffer::check_gl_error(std::string_view operation) const {
    const GLenum code = gl_->api().glGetError();
    if (code != GL_NO_ERROR) {
        return fail(fmt::format("{} failed with GL error 0x{:04x}", operation, code));
    }
    return {};
}

Status GlFramebuffer::recreate(std::uint32_t width, std::uint32_t height) {
    const auto gl_width = u32_to_i32(width, "framebuffer width");
    if (!gl_width) {
        return fail(gl_width.error());
    }
    const auto gl_height = u32_to_i32(height, "framebuffer height");
    if (!gl_height) {
        return fail(gl_height.error());
    }
    const Gles2EntryPoints& gl = gl_->api();

    GLint saved_framebuffer = 0;
    GLint saved_texture = 0;
    GLint saved_renderbuffer = 0;
    gl.glGetIntegerv(GL_FRAMEBUFFER_BINDING, &saved_framebuffer);
    gl.glGetIntegerv(GL_TEXTURE_BINDING_2D, &saved_texture);
    gl.glGetIntegerv(GL_RENDERBUFFER_BINDING, &saved_renderbuffer);

    GLuint fbo = 0;
    GLuint texture = 0;
    GLuint renderbuffer = 0;
    gl.glGenFramebuffers(1, &fbo);
    gl.glGenTextures(1, &texture);
    gl.glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    gl.glBindTexture(GL_TEXTURE_2D, texture);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    gl.glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, *gl_width, *gl_height, 0, GL_RGBA,
                    GL_UNSIGNED_BYTE, nullptr);
    gl.glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    if (depth_) {
        gl.glGenRenderbuffers(1, &renderbuffer);
        gl.glBindRenderbuffer(GL_RENDERBUFFER, renderbuffer);
        gl.glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, *gl_width, *gl_height);
        gl.glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER,
                                     renderbuffer);
    }
    const GLenum status = gl.glCheckFramebufferStatus(GL_FRAMEBUFFER);
    gl.glBindFramebuffer(GL_FRAMEBUFFER, as_name(saved_framebuffer));
    gl.glBindTexture(GL_TEXTURE_2D, as_name(saved_texture));
    gl.glBindRenderbuffer(GL_RENDERBUFFER, as_name(saved_renderbuffer));

    if (status != GL_FRAMEBUFFER_COMPLETE) {
        delete_objects(fbo, texture, renderbuffer);
        return fail(fmt::format("GL framebuffer is incomplete: status=0x{:04x}", status));
    }
    if (auto checked = check_gl_error("create GL framebuffer"); !checked) {
        delete_objects(fbo, texture, renderbuffer);
        return checked;
    }
    delete_objects(fbo_, texture_, renderbuffer_);
    fbo_ = fbo;
    texture_ = texture;
    renderbuffer_ = renderbuffer;
    width_ = width;
    height_ = height;
    return {};
}

Result<VideoFrame> GlFramebuffer::read_frame(std::uint32_t width, std::uint32_t height) {
    const std::uint32_t read_width = std::clamp<std::uint32_t>(width, 1, std::max(width_, 1u));
    const std::uint32_t read_height = std::clamp<std::uint32_t>(height, 1, std::max(height_, 1u));
    const bool undersized = width_ < width || height_ < height;
    const auto gl_width = u32_to_i32(read_width, "read width");
    if (!gl_width) {
        return fail(gl_width.error());
    }
    const auto gl_height = u32_to_i32(read_height, "read height");
    if (!gl_height) {
        return fail(gl_height.error());
    }
    const std::size_t row_bytes = std::size_t{read_width} * 4;
    const std::size_t size = row_bytes * read_height;
    // Read straight into the frame's own bytes (one allocation per frame:
    // a second buffer of this size would double the fresh pages touched).
    auto bytes = std::make_unique_for_overwrite<std::uint8_t[]>(size);

    const Gles2EntryPoints& gl = gl_->api();
    GLint saved_framebuffer = 0;
    GLint saved_pack_alignment = 4;
    gl.glGetIntegerv(GL_FRAMEBUFFER_BINDING, &saved_framebuffer);
    gl.glGetIntegerv(GL_PACK_ALIGNMENT, &saved_pack_alignment);
    gl.glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    gl.glPixelStorei(GL_PACK_ALIGNMENT, 1);
    gl.glReadPixels(0, 0, *gl_width, *gl_height, GL_RGBA, GL_UNSIGNED_BYTE, bytes.get());
    gl.glPixelStorei(GL_PACK_ALIGNMENT, saved_pack_alignment);
    gl.glBindFramebuffer(GL_FRAMEBUFFER, as_name(saved_framebuffer));
    if (auto checked = check_gl_error("capture GL framebuffer"); !checked) {
        return fail(std::move(checked.error()));
    }
    if (undersized) {
        if (auto grown = recreate(std::max(width_, width), std::max(height_, height)); !grown) {
            return fail(std::move(grown.error()));
        }
    }

    // GL's first row is the bottom one: flip in place, then make every pixel
    // opaque.
    for (std::size_t top = 0, bottom = read_height - 1; top < bottom; ++top, --bottom) {
        std::swap_ranges(bytes.get() + top * row_bytes, bytes.get() + (top + 1) * row_bytes,
                         bytes.get() + bottom * row_bytes);
    }
    for (std::size_t alpha = 3; alpha < size; alpha += 4) {
        bytes[alpha] = 255;
    }

    VideoFrame frame;
    frame.pixel_format = "rgba8888";
    frame.data = PixelBuffer::from_array(std::move(bytes), size);
    frame.pitch = row_bytes;
    frame.width = read_width;
    frame.height = read_height;
    return frame;
}

}  // namespace lk
