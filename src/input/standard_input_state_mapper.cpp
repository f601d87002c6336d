#include "input/standard_input_state_mapper.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <string_view>

#include <fmt/format.h>

namespace lk {

namespace {

struct ButtonBit {
    std::string_view id;
    std::uint16_t bit;
};

constexpr std::array<ButtonBit, 17> kButtonBits{{
    {"b", 0},
    {"y", 1},
    {"select", 2},
    {"start", 3},
    {"up", 4},
    {"down", 5},
    {"left", 6},
    {"right", 7},
    {"a", 8},
    {"x", 9},
    {"l", 10},
    {"r", 11},
    {"l2", 12},
    {"z", 12},
    {"r2", 13},
    {"l3", 14},
    {"r3", 15},
}};

std::optional<std::uint16_t> joypad_bit(std::string_view id) {
    for (const auto& entry : kButtonBits) {
        if (entry.id == id) {
            return entry.bit;
        }
    }
    return std::nullopt;
}

void apply_c_button(std::string_view id, AnalogStick& right) {
    if (id == "cUp") {
        right.y = -32768;
    } else if (id == "cDown") {
        right.y = 32767;
    } else if (id == "cLeft") {
        right.x = -32768;
    } else if (id == "cRight") {
        right.x = 32767;
    }
}

AnalogStick map_stick(const EmulatorAnalogStickState& stick) {
    return AnalogStick{map_analog_axis(stick.x.value_or(0.0)),
                       map_analog_axis(stick.y.value_or(0.0))};
}

struct PlayerView {
    std::uint64_t player_index;
    const std::vector<EmulatorButtonState>& buttons;
    const std::optional<EmulatorAnalogInputState>& analog;
};

void map_player(const PlayerView& player, MappedInputState& out) {
    if (player.player_index >= kInputPortCount) {
        return;
    }
    const auto port = static_cast<std::size_t>(player.player_index);
    if (player.analog) {
        if (player.analog->left) {
            out.left_sticks[port] = map_stick(*player.analog->left);
        }
        if (player.analog->right) {
            out.right_sticks[port] = map_stick(*player.analog->right);
        }
    }
    for (const auto& button : player.buttons) {
        if (!button.pressed) {
            continue;
        }
        out.pressed_labels.push_back(
            fmt::format("p{}:{}", player.player_index + 1, button.button_id));
        if (const auto bit = joypad_bit(button.button_id)) {
            out.joypad_masks[port] =
                static_cast<std::uint16_t>(out.joypad_masks[port] | (1U << *bit));
        }
        apply_c_button(button.button_id, out.right_sticks[port]);
    }
}

}  // namespace

std::int16_t map_analog_axis(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    const double clamped = std::clamp(value, -1.0, 1.0);
    const double scaled = std::round(clamped < 0.0 ? clamped * 32768.0 : clamped * 32767.0);
    return static_cast<std::int16_t>(std::clamp(scaled, -32768.0, 32767.0));
}

MappedInputState StandardInputStateMapper::map_input_state(
    const EmulatorInputState& input_state) const {
    MappedInputState out;
    if (input_state.players.empty()) {
        map_player(PlayerView{0, input_state.buttons, input_state.analog}, out);
    } else {
        for (const auto& player : input_state.players) {
            map_player(PlayerView{player.player_index, player.buttons, player.analog}, out);
        }
    }
    if (input_state.pointer) {
        out.pointer_x = input_state.pointer->x;
        out.pointer_y = input_state.pointer->y;
        out.pointer_pressed = input_state.pointer->pressed.value_or(false);
    }
    return out;
}

}  // namespace lk
