#include "libretro/input_callbacks.hpp"

#include <atomic>
#include <chrono>

#include "common/diagnostics.hpp"
#include "common/switches.hpp"
#include "libretro/abi.hpp"

namespace lk::callback_bridge {

namespace {

constexpr std::int16_t kAnalogButtonPressed = 32767;
constexpr std::uint64_t kTraceIntervalMs = 250;

// Wall-clock time of the last trace line in milliseconds, 0 before the first;
// shared by all ports.
std::atomic<std::uint64_t> last_analog_callback_trace_at_ms{0};

std::uint64_t wall_clock_ms() {
    const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(since_epoch).count();
    return ms > 0 ? static_cast<std::uint64_t>(ms) : 0;
}

// True for at most one caller per 250 ms.
bool claim_trace_slot() {
    const std::uint64_t now = wall_clock_ms();
    std::uint64_t last = last_analog_callback_trace_at_ms.load(std::memory_order_relaxed);
    do {
        if (last != 0 && now < last + kTraceIntervalMs) {
            return false;
        }
    } while (!last_analog_callback_trace_at_ms.compare_exchange_weak(last, now,
                                                                     std::memory_order_relaxed));
    return true;
}

void write_input_trace(unsigned port, std::uint16_t mask, AnalogStick left, AnalogStick right) {
    log_line(kInputTraceTag,
             "stage=libretro-callback port={} left=({},{}) right=({},{}) joypadBits=0x{:04x}", port,
             left.x, left.y, right.x, right.y, mask);
    log_line(kInputTraceJsonTag,
             "{{\"joypadBits\":{},\"left\":{{\"x\":{},\"y\":{}}},\"port\":{},"
             "\"right\":{{\"x\":{},\"y\":{}}},\"stage\":\"libretro-callback\"}}",
             mask, left.x, left.y, port, right.x, right.y);
}

std::int16_t stick_axis(AnalogStick stick, unsigned id) {
    switch (id) {
        case retro::analog::kX:
            return stick.x;
        case retro::analog::kY:
            return stick.y;
        default:
            return 0;
    }
}

std::int16_t answer(const CallbackInputState& input, unsigned port, unsigned device, unsigned index,
                    unsigned id) {
    const std::uint16_t mask = input.joypad[port];
    switch (device) {
        case retro::device::kJoypad:
            if (index != 0) {
                return 0;
            }
            if (id == retro::joypad::kMask) {
                return static_cast<std::int16_t>(mask);
            }
            return id < 16 ? static_cast<std::int16_t>((mask >> id) & 1u) : std::int16_t{0};
        case retro::device::kAnalog:
            switch (index) {
                case retro::analog::kIndexLeft:
                    return stick_axis(input.left_stick[port], id);
                case retro::analog::kIndexRight:
                    return stick_axis(input.right_stick[port], id);
                case retro::analog::kIndexButton:
                    if (id == retro::joypad::kL2 || id == retro::joypad::kR2) {
                        return ((mask >> id) & 1u) != 0 ? kAnalogButtonPressed : std::int16_t{0};
                    }
                    return 0;
                default:
                    return 0;
            }
        case retro::device::kPointer:
            if (index != 0) {
                return 0;
            }
            switch (id) {
                case retro::pointer::kX:
                    return input.pointer.x;
                case retro::pointer::kY:
                    return input.pointer.y;
                case retro::pointer::kPressed:
                    return input.pointer.pressed ? 1 : 0;
                default:
                    return 0;
            }
        default:
            return 0;
    }
}

}  // namespace

void input_poll_callback() {
    try {
        CallbackStateLock state;
        state->input_polled = true;
        state->active_input = state->pending_input;
    } catch (...) {
    }
}

std::int16_t input_state_callback(unsigned port, unsigned device, unsigned index, unsigned id) {
    if (port >= kInputPortCount) {
        return 0;
    }
    try {
        CallbackInputState input;
        {
            CallbackStateLock state;
            input = state->active_input;
        }
        const unsigned base = device & retro::kDeviceMask;
        if (base == retro::device::kAnalog && index == retro::analog::kIndexLeft &&
            id == retro::analog::kX && callback_input_trace_enabled() && claim_trace_slot()) {
            write_input_trace(port, input.joypad[port], input.left_stick[port],
                              input.right_stick[port]);
        }
        return answer(input, port, base, index, id);
    } catch (...) {
        return 0;
    }
}

void set_input_state_by_port(const std::array<std::uint16_t, kInputPortCount>& joypad,
                             const std::array<AnalogStick, kInputPortCount>& left_stick,
                             const CallbackPointerState& pointer,
                             const std::array<AnalogStick, kInputPortCount>& right_stick) {
    CallbackStateLock state;
    state->pending_input = CallbackInputState{joypad, left_stick, right_stick, pointer};
    if (!state->input_polled) {
        state->active_input = state->pending_input;
    }
}

void set_input_state_by_port(const MappedInputState& input) {
    set_input_state_by_port(
        input.joypad_masks, input.left_sticks,
        CallbackPointerState{input.pointer_x, input.pointer_y, input.pointer_pressed},
        input.right_sticks);
}

}  // namespace lk::callback_bridge
