#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/error.hpp"

namespace lk {

// A gamepad's 16-byte identity; the first two bytes are its little-endian bus type.
using GamepadUuid = std::array<std::uint8_t, 16>;

enum class GamepadPowerState { unknown, wired, discharging, charging, charged };

struct GamepadPower {
    GamepadPowerState state = GamepadPowerState::unknown;
    // Battery level 0..100; meaningful for discharging and charging only.
    std::uint8_t percent = 0;
};

// What the library knows about one connected gamepad.
struct GamepadInfo {
    std::uint32_t id = 0;  // stable while the pad stays connected
    std::string name;
    GamepadUuid uuid{};
    std::optional<std::uint16_t> vendor_id;
    std::optional<std::uint16_t> product_id;
    bool connected = false;
    GamepadPower power;
};

enum class GamepadEventKind { added, removed, changed };

struct GamepadEvent {
    GamepadEventKind kind = GamepadEventKind::changed;
};

// The gamepad library's context. Its view of the connected pads advances only
// while pending events are taken: taking events until none is left brings it up
// to date.
class GamepadLibrary {
  public:
    virtual ~GamepadLibrary() = default;

    // The next pending event, or nothing when none is pending.
    virtual std::optional<GamepadEvent> take_next_event() = 0;
    // The connected gamepads in the library's order.
    [[nodiscard]] virtual std::vector<GamepadInfo> connected_gamepads() const = 0;
};

// Opens the machine's gamepad library.
Result<std::unique_ptr<GamepadLibrary>> open_gamepad_library();

}  // namespace lk
