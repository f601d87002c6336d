#include "controller_metadata/gamepad_power_supply.hpp"

#include <gtest/gtest.h>

namespace lk {
namespace {

struct SupplyCase {
    std::optional<std::string_view> status;
    std::optional<std::string_view> capacity;
    GamepadPowerState state;
    std::uint8_t percent;
};

TEST(GamepadPowerFromSupply, MapsStatusAndCapacity) {
    using enum GamepadPowerState;
    const SupplyCase cases[] = {
        {"Discharging", "42", discharging, 42},
        {"Charging", "80", charging, 80},
        {"Charging", "0", charging, 0},
        {"Full", std::nullopt, charged, 100},
        {"Full", "97", charged, 100},
        {"Not charging", "100", wired, 0},
        {"Discharging", "150", discharging, 100},
        {"Discharging", "-3", discharging, 0},
        // A level without a usable capacity says nothing.
        {"Discharging", std::nullopt, unknown, 0},
        {"Charging", "", unknown, 0},
        {"Discharging", "42%", unknown, 0},
        {"Discharging", "abc", unknown, 0},
        {"Unknown", "50", unknown, 0},
        {std::nullopt, "50", unknown, 0},
    };
    for (const SupplyCase& c : cases) {
        const GamepadPower power = gamepad_power_from_supply(c.status, c.capacity);
        EXPECT_EQ(power.state, c.state)
            << c.status.value_or("-") << " " << c.capacity.value_or("-");
        if (c.state == discharging || c.state == charging) {
            EXPECT_EQ(power.percent, c.percent)
                << c.status.value_or("-") << " " << c.capacity.value_or("-");
        }
    }
}

}  // namespace
}  // namespace lk
