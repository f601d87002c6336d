#include "input/standard_input_state_mapper.hpp"

#include <gtest/gtest.h>

namespace lk {
namespace {

EmulatorButtonState pressed(std::string id) {
    return {std::move(id), true};
}

TEST(StandardInputStateMapper, ButtonsSetTheirBitsAndLabelsInInputOrder) {
    EmulatorInputState input;
    input.buttons = {pressed("a"), {"b", false}, pressed("start"),
                     pressed("A"), pressed("z"), pressed("r3")};
    const auto mapped = StandardInputStateMapper().map_input_state(input);
    EXPECT_EQ(mapped.joypad_masks[0], 0x0108 | (1u << 12) | (1u << 15));
    EXPECT_EQ(mapped.pressed_labels,
              (std::vector<std::string>{"p1:a", "p1:start", "p1:A", "p1:z", "p1:r3"}));
    EXPECT_EQ(mapped.joypad_masks[1], 0);
}

TEST(StandardInputStateMapper, AxesScaleAsymmetricallyRoundAwayFromZeroAndClamp) {
    const std::pair<double, int> cases[] = {{-1.0, -32768}, {1.0, 32767}, {0.5, 16384},
                                            {-0.5, -16384}, {2.0, 32767}, {-3.0, -32768},
                                            {0.0, 0},       {1e-9, 0}};
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(map_analog_axis(in), out) << in;
    }
}

TEST(StandardInputStateMapper, PlayersMapToPortsAndCButtonsOverrideTheRightStick) {
    EmulatorInputState input;
    input.buttons = {pressed("x")};  // ignored: players are given
    EmulatorPlayerInputState p2;
    p2.player_index = 1;
    p2.buttons = {pressed("cLeft"), pressed("l")};
    p2.analog = EmulatorAnalogInputState{EmulatorAnalogStickState{0.25, std::nullopt},
                                         EmulatorAnalogStickState{0.3, -1.0}};
    EmulatorPlayerInputState p2_again;
    p2_again.player_index = 1;
    p2_again.buttons = {pressed("r")};
    EmulatorPlayerInputState p5;
    p5.player_index = 4;
    p5.buttons = {pressed("a")};
    input.players = {p2, p2_again, p5};
    input.pointer = EmulatorPointerState{-7, 9, std::nullopt};

    const auto mapped = StandardInputStateMapper().map_input_state(input);
    EXPECT_EQ(mapped.joypad_masks[0], 0);
    EXPECT_EQ(mapped.joypad_masks[1], (1u << 10) | (1u << 11));
    EXPECT_EQ(mapped.left_sticks[1], (AnalogStick{8192, 0}));
    EXPECT_EQ(mapped.right_sticks[1], (AnalogStick{-32768, -32768}));
    EXPECT_EQ(mapped.pressed_labels, (std::vector<std::string>{"p2:cLeft", "p2:l", "p2:r"}));
    EXPECT_EQ(mapped.pointer_x, -7);
    EXPECT_EQ(mapped.pointer_y, 9);
    EXPECT_FALSE(mapped.pointer_pressed);
}

}  // namespace
}  // namespace lk
