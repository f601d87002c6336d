#pragma once

// One player's input for one netplay frame, and its 10-byte wire encoding.

#include <array>
#include <cstdint>
#include <span>

#include "common/error.hpp"

namespace lk {

inline constexpr std::size_t kNetplayMaxPlayers = 4;
inline constexpr std::size_t kNetplayInputPayloadSize = 10;

struct NetplayPlayerInput {
    // Left stick x, y, then right stick x, y.
    std::array<std::int16_t, 4> axes{};
    std::uint16_t buttons = 0;
    bool operator==(const NetplayPlayerInput&) const = default;
};

// The inputs of every player for one frame; players past the session's count stay zero.
using NetplayFrameInputs = std::array<NetplayPlayerInput, kNetplayMaxPlayers>;

// An input with the flag that says whether it is known (an empty slot is all zero).
struct NetplayInputSlot {
    NetplayPlayerInput input;
    bool known = false;
};

// Little-endian: bytes 0-1 the button mask, bytes 2-9 the four axes in order.
std::array<std::uint8_t, kNetplayInputPayloadSize> encode_netplay_input(
    const NetplayPlayerInput& input);
// Anything but exactly 10 bytes fails with "Netplay input payload must be 10 bytes.".
Result<NetplayPlayerInput> decode_netplay_input(std::span<const std::uint8_t> payload);

}  // namespace lk
