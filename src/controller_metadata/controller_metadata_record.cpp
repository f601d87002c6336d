#include "controller_metadata/controller_metadata_record.hpp"

#include <algorithm>

#include <fmt/format.h>

#include "controller_metadata/gamepad_uuid.hpp"

namespace lk {

namespace {

std::uint8_t clamped_percent(const GamepadPower& power) {
    return std::min<std::uint8_t>(power.percent, 100);
}

std::optional<std::string> format_id(std::optional<std::uint16_t> id) {
    if (!id) {
        return std::nullopt;
    }
    return fmt::format("{:04x}", *id);
}

const char* power_state_text(GamepadPowerState state) {
    switch (state) {
        case GamepadPowerState::wired:
            return "wired";
        case GamepadPowerState::discharging:
            return "discharging";
        case GamepadPowerState::charging:
            return "charging";
        case GamepadPowerState::charged:
            return "charged";
        case GamepadPowerState::unknown:
            break;
    }
    return "unknown";
}

std::optional<std::uint8_t> power_percent(const GamepadPower& power) {
    switch (power.state) {
        case GamepadPowerState::discharging:
        case GamepadPowerState::charging:
            return clamped_percent(power);
        case GamepadPowerState::charged:
            return 100;
        case GamepadPowerState::unknown:
        case GamepadPowerState::wired:
            break;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> format_uuid(const GamepadUuid& uuid) {
    if (std::ranges::all_of(uuid, [](std::uint8_t byte) { return byte == 0; })) {
        return std::nullopt;
    }
    std::string text;
    text.reserve(uuid.size() * 2);
    for (std::uint8_t byte : uuid) {
        fmt::format_to(std::back_inserter(text), "{:02x}", byte);
    }
    return text;
}

std::optional<std::string> format_battery_label(const GamepadPower& power) {
    switch (power.state) {
        case GamepadPowerState::discharging:
            return fmt::format("{}%", clamped_percent(power));
        case GamepadPowerState::charging:
            return fmt::format("{}% charging", clamped_percent(power));
        case GamepadPowerState::charged:
            return "100%";
        case GamepadPowerState::unknown:
        case GamepadPowerState::wired:
            break;
    }
    return std::nullopt;
}

std::string controller_transport(const GamepadUuid& uuid) {
    const auto bus = static_cast<std::uint16_t>(uuid[0] | (uuid[1] << 8));
    switch (bus) {
        case kGamepadBusUsb:
            return "usb";
        case kGamepadBusBluetooth:
            return "bluetooth";
        default:
            return "unknown";
    }
}

NativeControllerMetadataPayload make_controller_metadata_record(const GamepadInfo& gamepad) {
    NativeControllerMetadataPayload record;
    record.name = gamepad.name;
    record.native_id = fmt::format("{}:{}", kControllerMetadataProvider, gamepad.id);
    record.uuid = format_uuid(gamepad.uuid);
    record.vendor_id = format_id(gamepad.vendor_id);
    record.product_id = format_id(gamepad.product_id);
    record.hardware_id = fmt::format("{}:{}:{}:{}:{}", kControllerMetadataProvider,
                                     record.uuid.value_or("unknown-uuid"),
                                     record.vendor_id.value_or("unknown-vendor"),
                                     record.product_id.value_or("unknown-product"), gamepad.name);
    record.transport = controller_transport(gamepad.uuid);

    // A Bluetooth pad cannot draw power from its link: a "wired" reading from
    // one says nothing reliable about its battery.
    GamepadPower power = gamepad.power;
    if (record.transport == "bluetooth" && power.state == GamepadPowerState::wired) {
        power = GamepadPower{};
    }
    record.power_state = power_state_text(power.state);
    record.power_percent = power_percent(power);
    record.battery_label = format_battery_label(power);
    record.is_connected = gamepad.connected;
    record.provider = kControllerMetadataProvider;
    return record;
}

}  // namespace lk
