#pragma once

#include <cstdint>

#include "controller_metadata/gamepad_library.hpp"

namespace lk {

// Bus types of <linux/input.h> that the records tell apart.
inline constexpr std::uint16_t kGamepadBusUsb = 0x03;
inline constexpr std::uint16_t kGamepadBusBluetooth = 0x05;

// Builds a gamepad UUID from its input ids, as eight little-endian 16-bit fields:
//
//   bytes  0-1  bus type     bytes  2-3  zero
//   bytes  4-5  vendor id    bytes  6-7  zero
//   bytes  8-9  product id   bytes 10-11 zero
//   bytes 12-13 version      bytes 14-15 zero
//
// Two pads of one model on one bus share a UUID; ids tell them apart.
GamepadUuid make_gamepad_uuid(std::uint16_t bus, std::uint16_t vendor, std::uint16_t product,
                              std::uint16_t version);

}  // namespace lk
