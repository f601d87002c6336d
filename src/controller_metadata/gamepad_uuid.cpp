#include "controller_metadata/gamepad_uuid.hpp"

#include <cstddef>

namespace lk {

namespace {
void put_le16(GamepadUuid& uuid, std::size_t offset, std::uint16_t value) {
    uuid[offset] = static_cast<std::uint8_t>(value & 0xff);
    uuid[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}
}  // namespace

GamepadUuid make_gamepad_uuid(std::uint16_t bus, std::uint16_t vendor, std::uint16_t product,
                              std::uint16_t version) {
    GamepadUuid uuid{};
    put_le16(uuid, 0, bus);
    put_le16(uuid, 4, vendor);
    put_le16(uuid, 8, product);
    put_le16(uuid, 12, version);
    return uuid;
}

}  // namespace lk
