#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/error.hpp"
#include "controller_metadata/gamepad_library.hpp"
#include "controller_metadata/udev_handles.hpp"

namespace lk {

// Gamepads from the udev device database and the kernel's event devices: every
// "input" device with ID_INPUT_JOYSTICK=1 and an /dev/input/eventN node. A udev
// monitor on the "input" and "power_supply" subsystems supplies the events; once
// they are all taken, the pads are enumerated again.
class EvdevGamepadLibrary final : public GamepadLibrary {
  public:
    static Result<std::unique_ptr<EvdevGamepadLibrary>> open();

    std::optional<GamepadEvent> take_next_event() override;
    [[nodiscard]] std::vector<GamepadInfo> connected_gamepads() const override;

  private:
    EvdevGamepadLibrary(UdevContextPtr context, UdevMonitorPtr monitor);

    std::optional<GamepadEvent> receive_event();
    void rescan();

    UdevContextPtr context_;
    // Null when no monitor could be set up (netlink refused): every drain then
    // enumerates again.
    UdevMonitorPtr monitor_;
    bool rescan_pending_ = false;
    std::vector<GamepadInfo> gamepads_;  // ordered by id, that is by arrival
    std::map<std::string, std::uint32_t> ids_by_syspath_;
    std::uint32_t next_id_ = 0;
};

}  // namespace lk
