#include "runtime/libretro_netplay_core_policy.hpp"

#include <array>
#include <string_view>

#include <fmt/format.h>

#include "libretro/core_api.hpp"

namespace lk {

namespace {

constexpr std::uint32_t kDeviceNone = 0;
constexpr std::uint32_t kDeviceJoypad = 1;

// RETRO_DEVICE_SUBCLASS(RETRO_DEVICE_JOYPAD, n)
constexpr std::uint32_t joypad_subclass(std::uint32_t n) {
    return ((n + 1) << 8) | kDeviceJoypad;
}

struct RequestedDevice {
    std::string_view id;
    std::uint32_t device;
};

constexpr std::array<RequestedDevice, 7> kRequestedDevices{{
    {"joypad", kDeviceJoypad},
    {"dolphin-wiimote", kDeviceJoypad},
    {"dolphin-wiimote-sideways", joypad_subclass(1)},
    {"dolphin-wiimote-nunchuk", joypad_subclass(2)},
    {"dolphin-wiimote-classic-controller", joypad_subclass(3)},
    {"dolphin-wiimote-classic-controller-pro", joypad_subclass(4)},
    {"dolphin-gamecube-on-wii", joypad_subclass(5)},
}};

constexpr std::uint64_t kRefusedQuirks = 0x11;  // incomplete | single session

}  // namespace

std::uint32_t standard_controller_device_for_config(const LibretroRuntimeConfig& config) {
    if (config.controller_device_id) {
        for (const auto& requested : kRequestedDevices) {
            if (*config.controller_device_id == requested.id) {
                return requested.device;
            }
        }
    }
    if (config.core_id == "dolphin") {
        return config.platform_id == "wii" ? joypad_subclass(4) : kDeviceJoypad;
    }
    if (config.core_id == "genesis-plus-gx") {
        if (config.platform_id == "genesis") {
            return joypad_subclass(1);
        }
        if (config.platform_id == "sms" || config.platform_id == "gg") {
            return joypad_subclass(2);
        }
    }
    return kDeviceJoypad;
}

void force_configure_standard_controller_ports(const CoreApi& core,
                                               const LibretroRuntimeConfig& config) {
    const std::uint32_t device = standard_controller_device_for_config(config);
    for (unsigned port = 0; port < kControllerPortCount; ++port) {
        core.retro_set_controller_port_device(port, kDeviceNone);
        core.retro_set_controller_port_device(port, device);
    }
}

std::uint32_t delayed_controller_refresh_frames(const LibretroRuntimeConfig& config) {
    if (config.core_id == "dolphin" || config.platform_id == "gamecube") {
        return 180;
    }
    if (config.core_id == "flycast" || config.platform_id == "dreamcast") {
        return 1;
    }
    return 0;
}

bool delayed_controller_refresh_step(std::uint32_t& remaining) {
    if (remaining == 0) {
        return false;
    }
    const std::uint32_t before = remaining--;
    return before == 1 || before % 30 == 0;
}

Status assert_serialization_quirks_support_netplay(std::uint64_t quirks) {
    if ((quirks & kRefusedQuirks) == 0) {
        return {};
    }
    return fail(fmt::format(
        "This core reports save-state serialization flags that are not safe for netplay: 0x{:x}.",
        quirks));
}

}  // namespace lk
