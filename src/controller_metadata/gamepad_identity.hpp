#pragma once

#include <libudev.h>

#include <cstdint>
#include <optional>
#include <string>

namespace lk {

// Name and input ids of one gamepad event device.
struct GamepadIdentity {
    std::string name;
    std::uint16_t bus = 0;
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    std::uint16_t version = 0;
};

// Reads the identity from the event node with libevdev. When the node cannot be
// opened (no permission, or gone), reads the same values from the sysfs
// attributes of the parent input device. Nothing when neither works.
std::optional<GamepadIdentity> read_gamepad_identity(udev_device* event_device);

}  // namespace lk
