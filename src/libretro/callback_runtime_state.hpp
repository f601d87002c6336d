#pragma once

// The state the libretro callbacks share with the runtime thread. Callbacks
// are plain C functions without a user pointer, so it is one process-wide
// record, created with its start values on first use and guarded for its whole
// life by one non-re-entrant mutex. Every callback and operation takes the
// lock only to copy data in or out; nothing holds it while calling into the
// core (cores call back into us from inside retro_run and from inside
// environment calls).

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "common/error.hpp"
#include "hardware_render/hardware_render_backend.hpp"
#include "hardware_render/hardware_render_context.hpp"
#include "input/mapped_input_state.hpp"
#include "libretro/abi.hpp"
#include "libretro/audio_callback_queue.hpp"
#include "libretro/core_option_registry.hpp"
#include "libretro/disc_control_interface.hpp"
#include "video/pixel_format.hpp"
#include "video/video_frame.hpp"

namespace lk {

struct CallbackPointerState {
    std::int16_t x = 0;
    std::int16_t y = 0;
    bool pressed = false;
    bool operator==(const CallbackPointerState&) const = default;
};

// What the input callback answers from, per port 0 to 3.
struct CallbackInputState {
    std::array<std::uint16_t, kInputPortCount> joypad{};  // bit i = libretro joypad button i
    std::array<AnalogStick, kInputPortCount> left_stick{};
    std::array<AnalogStick, kInputPortCount> right_stick{};
    CallbackPointerState pointer;  // one pointer, answered on every port
    bool operator==(const CallbackInputState&) const = default;
};

struct PendingHardwareFrame {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

inline constexpr std::string_view kNoHardwareBackendReason =
    "No hardware render backend has been configured.";

// Every field is guarded by the callback state mutex (reach it only through a
// CallbackStateLock).
struct CallbackRuntimeState {
    CallbackRuntimeState();

    std::optional<retro::SystemAvInfo> pending_av_info;  // SET_SYSTEM_AV_INFO, not yet taken
    DiscControlInterface disc_control;
    AudioCallbackQueue audio_queue;
    std::optional<VideoFrame> current_frame;  // newest frame, not yet taken
    CoreOptionRegistry core_options;
    std::unique_ptr<HardwareRenderBackend> hardware_backend;  // never null; kept by reset
    std::uint64_t sample_callback_frames = 0;
    std::uint64_t batch_callback_frames = 0;
    std::unique_ptr<HardwareRenderContext> hardware_context;
    retro::HwContextResetFn context_destroy = nullptr;
    retro::HwContextResetFn context_reset = nullptr;
    bool context_reset_done = false;
    CallbackInputState pending_input;  // written by the runtime
    CallbackInputState active_input;   // read by the core
    bool input_polled = false;
    std::optional<std::string> save_directory;
    std::optional<std::string> system_directory;
    std::uint64_t serialization_quirks = 0;
    std::optional<PendingHardwareFrame> pending_hardware_frame;
    bool sample_callback_logged = false;
    bool batch_callback_logged = false;
    bool av_output_suppressed = false;
    PixelFormat pixel_format = PixelFormat::xrgb8888;  // default when the core never sets one
};

// Exclusive access to the process-wide record for one scope. Never hold one
// while calling into the core.
class CallbackStateLock {
  public:
    CallbackStateLock();
    // Access only if the lock is free right now.
    static std::optional<CallbackStateLock> try_acquire();

    CallbackRuntimeState& operator*() { return *state_; }
    CallbackRuntimeState* operator->() { return state_; }

  private:
    CallbackStateLock(std::unique_lock<std::mutex> lock, CallbackRuntimeState* state)
        : lock_(std::move(lock)), state_(state) {}

    std::unique_lock<std::mutex> lock_;
    CallbackRuntimeState* state_;
};

namespace callback_bridge {

// Prepares the record for a session: the directories handed to the core and
// the session's core option overrides. Fails with "Libretro environment path
// must be valid UTF-8." (or for an interior NUL byte) before storing anything.
Status configure_environment(const std::filesystem::path& system_directory,
                             const std::filesystem::path& save_directory,
                             const std::filesystem::path& core_library_path,
                             const std::filesystem::path& rom_path,
                             std::string_view core_graphics_profile);

// Clears the record between sessions (the hardware backend stays). A hardware
// context is destroyed after the lock is released, calling the core's
// context_destroy first.
void reset();

// The serialization quirk bits the core declared.
std::uint64_t serialization_quirks();

// The AV information the core announced since the last call, if any.
std::optional<retro::SystemAvInfo> take_system_av_info_update();

// While set, frames, hardware marks and audio from the core are discarded.
void set_av_output_suppressed(bool suppressed);

}  // namespace callback_bridge

}  // namespace lk
