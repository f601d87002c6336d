#pragma once

// Shared pieces of the callback bridge tests: a fixture that leaves the
// process-wide callback state clean around each test, and a scriptable
// hardware render backend whose contexts record what is done to them.

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "hardware_render/hardware_render_backend.hpp"
#include "libretro/callback_runtime_state.hpp"
#include "libretro/hardware_render_negotiation.hpp"

namespace lk::test {

class CallbackBridgeTest : public ::testing::Test {
  protected:
    void SetUp() override { clean(); }
    void TearDown() override { clean(); }

    static void clean() {
        callback_bridge::configure_hardware_render_backend(nullptr);
        callback_bridge::reset();
    }
};

// What every fake context did, in order, shared with the test.
struct FakeHardwareJournal {
    std::vector<std::string> calls;
};

class FakeHardwareRenderContext final : public HardwareRenderContext {
  public:
    FakeHardwareRenderContext(std::shared_ptr<FakeHardwareJournal> journal, std::string name,
                              std::uint32_t framebuffer)
        : journal_(std::move(journal)), name_(std::move(name)), framebuffer_(framebuffer) {}

    // Functions handed out by name besides the built-in "glClear".
    std::map<std::string, HardwareProcAddress> functions;

    Result<VideoFrame> capture_frame(std::uint32_t width, std::uint32_t height) override {
        note("capture_frame " + std::to_string(width) + "x" + std::to_string(height));
        if (fail_capture) {
            return fail("capture GL framebuffer failed with GL error 0x0502");
        }
        VideoFrame frame;
        frame.pixel_format = "rgba8888";
        frame.data = PixelBuffer::from_vector(
            std::vector<std::uint8_t>(std::size_t{width} * height * 4, 0xff));
        frame.pitch = std::uint64_t{width} * 4;
        frame.width = width;
        frame.height = height;
        return frame;
    }
    std::uint32_t current_framebuffer_id() override { return destroyed_ ? 0 : framebuffer_; }
    Status ensure_framebuffer_size(std::uint32_t width, std::uint32_t height) override {
        note("ensure_framebuffer_size " + std::to_string(width) + "x" + std::to_string(height));
        if (fail_resize) {
            return fail("GL framebuffer is incomplete: status=0x8cdd");
        }
        return {};
    }
    HardwareProcAddress proc_address(const char* name) override {
        note(std::string("proc_address ") + (name != nullptr ? name : "null"));
        if (name != nullptr) {
            if (const auto found = functions.find(name); found != functions.end()) {
                return found->second;
            }
        }
        return name != nullptr && std::string(name) == "glClear" ? &fake_gl_function : nullptr;
    }
    Status reset() override {
        note("reset");
        if (fail_reset) {
            return fail("eglMakeCurrent failed with EGL error 0x3002");
        }
        return {};
    }
    void destroy() override {
        if (!destroyed_) {
            destroyed_ = true;
            note("destroy");
        }
    }

    static void fake_gl_function() {}

    bool fail_capture = false;
    bool fail_resize = false;
    bool fail_reset = false;

  private:
    void note(const std::string& what) { journal_->calls.push_back(name_ + "." + what); }

    std::shared_ptr<FakeHardwareJournal> journal_;
    std::string name_;
    std::uint32_t framebuffer_;
    bool destroyed_ = false;
};

// Grants every request with a fresh context "ctx1", "ctx2", ... whose
// framebuffer ids are 10, 11, ...
class FakeHardwareRenderBackend final : public HardwareRenderBackend {
  public:
    explicit FakeHardwareRenderBackend(std::shared_ptr<FakeHardwareJournal> journal)
        : journal_(std::move(journal)) {}

    HardwareRenderBackendCapability capability() const override {
        return {"fake", {1}, std::nullopt, 1, true};
    }
    Result<std::unique_ptr<HardwareRenderContext>> create_context(
        const HardwareRenderRequest& request) override {
        ++created_;
        journal_->calls.push_back("backend.create_context " + request.description());
        auto context = std::make_unique<FakeHardwareRenderContext>(
            journal_, "ctx" + std::to_string(created_), 9 + created_);
        context->functions = functions;
        last_context = context.get();
        return context;
    }
    std::optional<std::uint32_t> preferred_context_type() const override { return 1; }

    // Given to every context made from now on.
    std::map<std::string, HardwareProcAddress> functions;
    // The context made last (owned by the callback state).
    FakeHardwareRenderContext* last_context = nullptr;

  private:
    std::shared_ptr<FakeHardwareJournal> journal_;
    std::uint32_t created_ = 0;
};

}  // namespace lk::test
