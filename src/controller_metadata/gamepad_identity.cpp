#include "controller_metadata/gamepad_identity.hpp"

#include <fcntl.h>
#include <libevdev/libevdev.h>
#include <unistd.h>

#include <charconv>
#include <string_view>

namespace lk {

namespace {

std::optional<GamepadIdentity> read_with_libevdev(const char* devnode) {
    const int fd = ::open(devnode, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    libevdev* device = nullptr;
    std::optional<GamepadIdentity> identity;
    if (libevdev_new_from_fd(fd, &device) == 0) {
        const char* name = libevdev_get_name(device);
        identity = GamepadIdentity{
            .name = name != nullptr ? name : "",
            .bus = static_cast<std::uint16_t>(libevdev_get_id_bustype(device)),
            .vendor = static_cast<std::uint16_t>(libevdev_get_id_vendor(device)),
            .product = static_cast<std::uint16_t>(libevdev_get_id_product(device)),
            .version = static_cast<std::uint16_t>(libevdev_get_id_version(device)),
        };
        libevdev_free(device);
    }
    ::close(fd);
    return identity;
}

// The "id/..." attributes of an input device hold 4 hex digits.
std::optional<std::uint16_t> hex_attribute(udev_device* input, const char* attribute) {
    const char* value = udev_device_get_sysattr_value(input, attribute);
    if (value == nullptr) {
        return std::nullopt;
    }
    const std::string_view text(value);
    std::uint16_t number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number, 16);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return number;
}

std::optional<GamepadIdentity> read_from_sysfs(udev_device* event_device) {
    udev_device* input =
        udev_device_get_parent_with_subsystem_devtype(event_device, "input", nullptr);
    if (input == nullptr) {
        return std::nullopt;
    }
    const char* name = udev_device_get_sysattr_value(input, "name");
    const auto bus = hex_attribute(input, "id/bustype");
    const auto vendor = hex_attribute(input, "id/vendor");
    const auto product = hex_attribute(input, "id/product");
    const auto version = hex_attribute(input, "id/version");
    if (name == nullptr || !bus || !vendor || !product || !version) {
        return std::nullopt;
    }
    return GamepadIdentity{name, *bus, *vendor, *product, *version};
}

}  // namespace

std::optional<GamepadIdentity> read_gamepad_identity(udev_device* event_device) {
    const char* devnode = udev_device_get_devnode(event_device);
    if (devnode == nullptr) {
        return std::nullopt;
    }
    if (std::optional<GamepadIdentity> identity = read_with_libevdev(devnode)) {
        return identity;
    }
    return read_from_sysfs(event_device);
}

}  // namespace lk
