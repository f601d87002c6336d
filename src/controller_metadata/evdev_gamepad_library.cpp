#include "controller_metadata/evdev_gamepad_library.hpp"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <string_view>

#include <fmt/format.h>

#include "controller_metadata/gamepad_identity.hpp"
#include "controller_metadata/gamepad_power_supply.hpp"
#include "controller_metadata/gamepad_uuid.hpp"

namespace lk {

namespace {

constexpr int kMaxEmptyReceives = 256;

UdevMonitorPtr open_monitor(udev* context) {
    UdevMonitorPtr monitor(udev_monitor_new_from_netlink(context, "udev"));
    if (!monitor ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "input", nullptr) < 0 ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "power_supply", nullptr) <
            0 ||
        udev_monitor_enable_receiving(monitor.get()) < 0) {
        return nullptr;
    }
    return monitor;
}

bool has_pending_input(int fd) {
    pollfd entry{.fd = fd, .events = POLLIN, .revents = 0};
    int ready = 0;
    do {
        ready = ::poll(&entry, 1, 0);
    } while (ready < 0 && errno == EINTR);
    return ready > 0 && (entry.revents & POLLIN) != 0;
}

GamepadEventKind event_kind(const char* action) {
    const std::string_view text = action != nullptr ? action : "";
    if (text == "add") {
        return GamepadEventKind::added;
    }
    if (text == "remove") {
        return GamepadEventKind::removed;
    }
    return GamepadEventKind::changed;
}

bool is_event_node(udev_device* device) {
    const char* sysname = udev_device_get_sysname(device);
    return sysname != nullptr && std::string_view(sysname).starts_with("event") &&
           udev_device_get_devnode(device) != nullptr;
}

}  // namespace

Result<std::unique_ptr<GamepadLibrary>> open_gamepad_library() {
    Result<std::unique_ptr<EvdevGamepadLibrary>> library = EvdevGamepadLibrary::open();
    if (!library) {
        return fail(std::move(library.error()));
    }
    return std::unique_ptr<GamepadLibrary>(std::move(*library));
}

Result<std::unique_ptr<EvdevGamepadLibrary>> EvdevGamepadLibrary::open() {
    errno = 0;
    UdevContextPtr context(udev_new());
    if (!context) {
        const int error_number = errno != 0 ? errno : ENOMEM;
        return fail(fmt::format("Could not create the udev context ({}).",
                                Error::from_errno(error_number).message()));
    }
    // The monitor starts before the first enumeration so that no change is missed.
    UdevMonitorPtr monitor = open_monitor(context.get());
    std::unique_ptr<EvdevGamepadLibrary> library(
        new EvdevGamepadLibrary(std::move(context), std::move(monitor)));
    library->rescan();
    return library;
}

EvdevGamepadLibrary::EvdevGamepadLibrary(UdevContextPtr context, UdevMonitorPtr monitor)
    : context_(std::move(context)), monitor_(std::move(monitor)) {}

std::optional<GamepadEvent> EvdevGamepadLibrary::take_next_event() {
    if (std::optional<GamepadEvent> event = receive_event()) {
        rescan_pending_ = true;
        return event;
    }
    if (rescan_pending_ || !monitor_) {
        rescan_pending_ = false;
        rescan();
    }
    return std::nullopt;
}

std::vector<GamepadInfo> EvdevGamepadLibrary::connected_gamepads() const {
    return gamepads_;
}

std::optional<GamepadEvent> EvdevGamepadLibrary::receive_event() {
    if (!monitor_) {
        return std::nullopt;
    }
    const int fd = udev_monitor_get_fd(monitor_.get());
    // A message that the monitor filters out yields no device: look again, but
    // never spin on a socket that keeps reporting input without delivering any.
    for (int attempt = 0; attempt < kMaxEmptyReceives && has_pending_input(fd); ++attempt) {
        if (UdevDevicePtr device{udev_monitor_receive_device(monitor_.get())}) {
            return GamepadEvent{event_kind(udev_device_get_action(device.get()))};
        }
    }
    return std::nullopt;
}

void EvdevGamepadLibrary::rescan() {
    UdevEnumeratePtr enumerate(udev_enumerate_new(context_.get()));
    if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.get(), "input") < 0 ||
        udev_enumerate_add_match_property(enumerate.get(), "ID_INPUT_JOYSTICK", "1") < 0 ||
        udev_enumerate_scan_devices(enumerate.get()) < 0) {
        // Keep the previous view; the next drain tries again.
        rescan_pending_ = true;
        return;
    }
    std::vector<GamepadInfo> gamepads;
    std::map<std::string, std::uint32_t> ids_by_syspath;
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get())) {
        const char* syspath = udev_list_entry_get_name(entry);
        UdevDevicePtr device(udev_device_new_from_syspath(context_.get(), syspath));
        if (!device || !is_event_node(device.get())) {
            continue;
        }
        const std::optional<GamepadIdentity> identity = read_gamepad_identity(device.get());
        if (!identity) {
            continue;
        }
        // A pad keeps its id while it stays connected; a new arrival gets the next one.
        const auto known = ids_by_syspath_.find(syspath);
        const std::uint32_t id = known != ids_by_syspath_.end() ? known->second : next_id_++;
        ids_by_syspath.emplace(syspath, id);
        gamepads.push_back(GamepadInfo{
            .id = id,
            .name = identity->name,
            .uuid = make_gamepad_uuid(identity->bus, identity->vendor, identity->product,
                                      identity->version),
            .vendor_id = identity->vendor != 0 ? std::optional(identity->vendor) : std::nullopt,
            .product_id = identity->product != 0 ? std::optional(identity->product) : std::nullopt,
            .connected = true,
            .power = read_gamepad_power(context_.get(), device.get(), identity->bus),
        });
    }
    std::ranges::sort(gamepads, {}, &GamepadInfo::id);
    gamepads_ = std::move(gamepads);
    ids_by_syspath_ = std::move(ids_by_syspath);
}

}  // namespace lk
