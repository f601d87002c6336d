#pragma once

#include <libudev.h>

#include <cstdint>
#include <optional>
#include <string_view>

#include "controller_metadata/gamepad_library.hpp"

namespace lk {

// Power information from a battery's POWER_SUPPLY_STATUS and
// POWER_SUPPLY_CAPACITY values: "Discharging" and "Charging" need a capacity,
// "Full" is charged, "Not charging" (on external power, idle) is wired; anything
// else is unknown.
GamepadPower gamepad_power_from_supply(std::optional<std::string_view> status,
                                       std::optional<std::string_view> capacity);

// Power information of the gamepad whose event node is `event_device`, from a
// battery that belongs to the same physical device (a power_supply device below
// the parent of the pad's input device). A USB pad without a battery is wired.
GamepadPower read_gamepad_power(udev* context, udev_device* event_device, std::uint16_t bus);

}  // namespace lk
