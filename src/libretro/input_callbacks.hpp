#pragma once

#include <array>
#include <cstdint>

#include "input/mapped_input_state.hpp"
#include "libretro/callback_runtime_state.hpp"

namespace lk::callback_bridge {

// C-callable retro_input_poll_t: the input stored since the last poll becomes
// what the core reads.
void input_poll_callback();

// C-callable retro_input_state_t: answers from the polled input of ports 0 to
// 3; anything out of range answers 0. Devices are compared on their base type,
// so subclassed devices answer like their base device.
std::int16_t input_state_callback(unsigned port, unsigned device, unsigned index, unsigned id);

// Stores new input for the core. Until the core has polled for the first time
// it also becomes visible at once, so a core that never polls still sees it.
void set_input_state_by_port(const std::array<std::uint16_t, kInputPortCount>& joypad,
                             const std::array<AnalogStick, kInputPortCount>& left_stick,
                             const CallbackPointerState& pointer,
                             const std::array<AnalogStick, kInputPortCount>& right_stick);
void set_input_state_by_port(const MappedInputState& input);

}  // namespace lk::callback_bridge
