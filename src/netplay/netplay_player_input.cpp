#include "netplay/netplay_player_input.hpp"

#include <fmt/format.h>

namespace lk {

namespace {

void put_u16(std::uint8_t* at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value & 0xFFu);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

std::uint16_t get_u16(const std::uint8_t* at) {
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

}  // namespace

std::array<std::uint8_t, kNetplayInputPayloadSize> encode_netplay_input(
    const NetplayPlayerInput& input) {
    std::array<std::uint8_t, kNetplayInputPayloadSize> bytes{};
    put_u16(bytes.data(), input.buttons);
    for (std::size_t axis = 0; axis < input.axes.size(); ++axis) {
        put_u16(bytes.data() + 2 + axis * 2, static_cast<std::uint16_t>(input.axes[axis]));
    }
    return bytes;
}

Result<NetplayPlayerInput> decode_netplay_input(std::span<const std::uint8_t> payload) {
    if (payload.size() != kNetplayInputPayloadSize) {
        return fail(fmt::format("Netplay input payload must be {} bytes.",
                                kNetplayInputPayloadSize),
                    ErrorKind::invalid_data);
    }
    NetplayPlayerInput input;
    input.buttons = get_u16(payload.data());
    for (std::size_t axis = 0; axis < input.axes.size(); ++axis) {
        input.axes[axis] = static_cast<std::int16_t>(get_u16(payload.data() + 2 + axis * 2));
    }
    return input;
}

}  // namespace lk
