#pragma once

#include <optional>
#include <string>

#include "controller_metadata/gamepad_library.hpp"
#include "protocol/shared_payloads.hpp"

namespace lk {

// Names the gamepad backend in snapshots, controller records and the first
// component of their native and hardware ids.
inline constexpr const char* kControllerMetadataProvider = "evdev";

// 32 lowercase hex digits, or nothing for an all-zero UUID.
std::optional<std::string> format_uuid(const GamepadUuid& uuid);

// "42%", "42% charging", "100%" when charged; nothing for unknown or wired.
std::optional<std::string> format_battery_label(const GamepadPower& power);

// "usb", "bluetooth" or "unknown", from the bus type in the UUID's first two bytes.
std::string controller_transport(const GamepadUuid& uuid);

// The record the shell sees for one gamepad.
NativeControllerMetadataPayload make_controller_metadata_record(const GamepadInfo& gamepad);

}  // namespace lk
