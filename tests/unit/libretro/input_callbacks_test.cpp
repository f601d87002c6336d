// The input callbacks: answers per port, device, index and id from the polled
// input; the pending/active flow around polling; out-of-range requests.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "callback_bridge_test_support.hpp"
#include "input/mapped_input_state.hpp"
#include "libretro/abi.hpp"
#include "libretro/input_callbacks.hpp"

namespace lk {
namespace {

using callback_bridge::input_poll_callback;
using callback_bridge::input_state_callback;
using callback_bridge::set_input_state_by_port;
namespace device = retro::device;
namespace joypad = retro::joypad;
namespace analog = retro::analog;

class InputCallbacks : public test::CallbackBridgeTest {};

MappedInputState sample_input() {
    MappedInputState input;
    input.joypad_masks = {0x0108, 0x3000, 0x0001, 0xffff};  // port 0: A and Start
    input.left_sticks = {AnalogStick{100, -200}, AnalogStick{1, 2}, AnalogStick{},
                         AnalogStick{-32768, 32767}};
    input.right_sticks = {AnalogStick{-300, 400}, AnalogStick{3, 4}, AnalogStick{},
                          AnalogStick{7, 8}};
    input.pointer_x = -1234;
    input.pointer_y = 4321;
    input.pointer_pressed = true;
    return input;
}

TEST_F(InputCallbacks, AnswersEachDeviceFromThePortsState) {
    set_input_state_by_port(sample_input());
    input_poll_callback();
    struct Case {
        unsigned port, device, index, id;
        std::int16_t expected;
    };
    const Case cases[] = {
        // Joypad: the whole mask, single buttons, ids beyond the buttons.
        {0, device::kJoypad, 0, joypad::kMask, 0x0108},
        {0, device::kJoypad, 0, joypad::kStart, 1},
        {0, device::kJoypad, 0, joypad::kA, 1},
        {0, device::kJoypad, 0, joypad::kB, 0},
        {3, device::kJoypad, 0, joypad::kMask, -1},  // 0xffff as a signed 16-bit value
        {3, device::kJoypad, 0, 16, 0},
        {3, device::kJoypad, 0, 255, 0},
        {0, device::kJoypad, 1, joypad::kA, 0},  // only index 0
        // A subclassed joypad answers like a joypad.
        {0, retro::device_subclass(device::kJoypad, 1), 0, joypad::kStart, 1},
        // Analog sticks.
        {0, device::kAnalog, analog::kIndexLeft, analog::kX, 100},
        {0, device::kAnalog, analog::kIndexLeft, analog::kY, -200},
        {0, device::kAnalog, analog::kIndexRight, analog::kX, -300},
        {0, device::kAnalog, analog::kIndexRight, analog::kY, 400},
        {1, device::kAnalog, analog::kIndexRight, analog::kY, 4},
        {3, device::kAnalog, analog::kIndexLeft, analog::kX, -32768},
        {0, device::kAnalog, analog::kIndexLeft, 2, 0},
        {0, device::kAnalog, 3, analog::kX, 0},
        // Analog triggers follow the L2/R2 joypad bits.
        {1, device::kAnalog, analog::kIndexButton, joypad::kL2, 32767},
        {1, device::kAnalog, analog::kIndexButton, joypad::kR2, 32767},
        {0, device::kAnalog, analog::kIndexButton, joypad::kL2, 0},
        {1, device::kAnalog, analog::kIndexButton, joypad::kA, 0},
        // The one pointer answers on every port, index 0 only.
        {0, device::kPointer, 0, retro::pointer::kX, -1234},
        {2, device::kPointer, 0, retro::pointer::kY, 4321},
        {3, device::kPointer, 0, retro::pointer::kPressed, 1},
        {0, device::kPointer, 0, retro::pointer::kCount, 0},
        {0, device::kPointer, 1, retro::pointer::kX, 0},
        // Other devices.
        {0, device::kNone, 0, 0, 0},
        {0, device::kMouse, 0, 0, 0},
        {0, device::kKeyboard, 0, 0, 0},
        {0, device::kLightgun, 0, 0, 0},
        {0, 0xff, 0, 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(input_state_callback(c.port, c.device, c.index, c.id), c.expected)
            << "port " << c.port << " device " << c.device << " index " << c.index << " id "
            << c.id;
    }
}

TEST_F(InputCallbacks, PortsBeyondThreeAnswerZeroForEveryDevice) {
    set_input_state_by_port(sample_input());
    input_poll_callback();
    for (const unsigned port : {4u, 5u, 16u, 0xffffffffu}) {
        for (const unsigned dev : {device::kJoypad, device::kAnalog, device::kPointer}) {
            for (const unsigned id : {0u, 1u, 2u, joypad::kMask}) {
                EXPECT_EQ(input_state_callback(port, dev, 0, id), 0) << port << " " << dev;
            }
        }
    }
}

TEST_F(InputCallbacks, NewInputIsSeenAtOnceUntilTheCoreFirstPollsThenFromEachPoll) {
    MappedInputState a_held;
    a_held.joypad_masks[0] = 1u << joypad::kA;
    set_input_state_by_port(a_held);
    EXPECT_EQ(input_state_callback(0, device::kJoypad, 0, joypad::kA), 1)
        << "a core that never polls sees input immediately";

    input_poll_callback();
    MappedInputState released;
    set_input_state_by_port(released);
    EXPECT_EQ(input_state_callback(0, device::kJoypad, 0, joypad::kA), 1)
        << "after polling, new input waits for the next poll";
    input_poll_callback();
    EXPECT_EQ(input_state_callback(0, device::kJoypad, 0, joypad::kA), 0);

    // The four-part form stores the same way.
    std::array<std::uint16_t, kInputPortCount> masks{0, 0, 1u << joypad::kX, 0};
    std::array<AnalogStick, kInputPortCount> left{};
    std::array<AnalogStick, kInputPortCount> right{};
    right[2] = AnalogStick{9, -9};
    set_input_state_by_port(masks, left, CallbackPointerState{1, 2, false}, right);
    input_poll_callback();
    EXPECT_EQ(input_state_callback(2, device::kJoypad, 0, joypad::kX), 1);
    EXPECT_EQ(input_state_callback(2, device::kAnalog, analog::kIndexRight, analog::kY), -9);
    EXPECT_EQ(input_state_callback(1, device::kPointer, 0, retro::pointer::kY), 2);

    // After reset the core is again treated as not having polled.
    callback_bridge::reset();
    EXPECT_EQ(input_state_callback(2, device::kJoypad, 0, joypad::kX), 0);
    set_input_state_by_port(a_held);
    EXPECT_EQ(input_state_callback(0, device::kJoypad, 0, joypad::kA), 1);
}

}  // namespace
}  // namespace lk
