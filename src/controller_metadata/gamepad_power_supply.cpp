#include "controller_metadata/gamepad_power_supply.hpp"

#include <algorithm>
#include <charconv>

#include "controller_metadata/gamepad_uuid.hpp"
#include "controller_metadata/udev_handles.hpp"

namespace lk {

namespace {

// The capacity clamped to 0..100, or -1 when absent or not a number.
int parse_capacity(std::optional<std::string_view> text) {
    int value = 0;
    if (!text || text->empty()) {
        return -1;
    }
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (error != std::errc{} || end != text->data() + text->size()) {
        return -1;
    }
    return std::clamp(value, 0, 100);
}

// A udev property, else the sysfs attribute of the same meaning.
std::optional<std::string_view> supply_value(udev_device* supply, const char* property,
                                             const char* attribute) {
    const char* value = udev_device_get_property_value(supply, property);
    if (value == nullptr) {
        value = udev_device_get_sysattr_value(supply, attribute);
    }
    if (value == nullptr) {
        return std::nullopt;
    }
    return std::string_view(value);
}

bool is_battery(udev_device* supply) {
    const std::optional<std::string_view> type = supply_value(supply, "POWER_SUPPLY_TYPE", "type");
    return !type || *type == "Battery";
}

// The first battery below `owner`, the device that the pad's input device hangs from.
UdevDevicePtr find_battery(udev* context, udev_device* owner) {
    UdevEnumeratePtr enumerate(udev_enumerate_new(context));
    if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.get(), "power_supply") < 0 ||
        udev_enumerate_add_match_parent(enumerate.get(), owner) < 0 ||
        udev_enumerate_scan_devices(enumerate.get()) < 0) {
        return nullptr;
    }
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get())) {
        UdevDevicePtr supply(
            udev_device_new_from_syspath(context, udev_list_entry_get_name(entry)));
        if (supply && is_battery(supply.get())) {
            return supply;
        }
    }
    return nullptr;
}

}  // namespace

GamepadPower gamepad_power_from_supply(std::optional<std::string_view> status,
                                       std::optional<std::string_view> capacity) {
    const int percent = parse_capacity(capacity);
    if (percent >= 0 && (status == "Discharging" || status == "Charging")) {
        return {status == "Charging" ? GamepadPowerState::charging : GamepadPowerState::discharging,
                static_cast<std::uint8_t>(percent)};
    }
    if (status == "Full") {
        return {GamepadPowerState::charged, 100};
    }
    if (status == "Not charging") {
        return {GamepadPowerState::wired, 0};
    }
    return {};
}

GamepadPower read_gamepad_power(udev* context, udev_device* event_device, std::uint16_t bus) {
    // event node -> input device -> the device that owns it (HID device or USB
    // interface); the pad's battery, if any, is registered below that owner.
    // Devices without a subsystem (such as /devices/virtual) own nothing: their
    // descendants are unrelated supplies.
    udev_device* input =
        udev_device_get_parent_with_subsystem_devtype(event_device, "input", nullptr);
    udev_device* owner = input != nullptr ? udev_device_get_parent(input) : nullptr;
    if (owner != nullptr && udev_device_get_subsystem(owner) != nullptr) {
        if (UdevDevicePtr battery = find_battery(context, owner)) {
            return gamepad_power_from_supply(
                supply_value(battery.get(), "POWER_SUPPLY_STATUS", "status"),
                supply_value(battery.get(), "POWER_SUPPLY_CAPACITY", "capacity"));
        }
    }
    if (bus == kGamepadBusUsb) {
        return {GamepadPowerState::wired, 0};
    }
    return {};
}

}  // namespace lk
