#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace lk {

inline constexpr std::size_t kInputPortCount = 4;

struct AnalogStick {
    std::int16_t x = 0;
    std::int16_t y = 0;
    bool operator==(const AnalogStick&) const = default;
};

// The shell's input turned into what the core's input callback answers.
struct MappedInputState {
    std::vector<std::string> pressed_labels;  // "p{n}:{buttonId}", n = player index + 1
    std::array<std::uint16_t, kInputPortCount> joypad_masks{};
    std::array<AnalogStick, kInputPortCount> left_sticks{};
    std::array<AnalogStick, kInputPortCount> right_sticks{};
    std::int16_t pointer_x = 0;
    std::int16_t pointer_y = 0;
    bool pointer_pressed = false;
};

}  // namespace lk
