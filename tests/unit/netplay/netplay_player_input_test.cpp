#include "netplay/netplay_player_input.hpp"

#include <gtest/gtest.h>

namespace lk {
namespace {

TEST(NetplayPlayerInput, EncodesLittleEndianButtonsThenAxesAndDecodesBack) {
    NetplayPlayerInput input;
    input.buttons = 0x0102;
    input.axes = {-2, 0x0304, 32767, -32768};
    const auto bytes = encode_netplay_input(input);
    const std::array<std::uint8_t, 10> expected = {0x02, 0x01, 0xFE, 0xFF, 0x04,
                                                   0x03, 0xFF, 0x7F, 0x00, 0x80};
    EXPECT_EQ(bytes, expected);
    auto decoded = decode_netplay_input(bytes);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(*decoded, input);
}

TEST(NetplayPlayerInput, AnythingButTenBytesIsRejected) {
    for (std::size_t size : {0u, 1u, 9u, 11u, 64u}) {
        const std::vector<std::uint8_t> payload(size, 0);
        auto decoded = decode_netplay_input(payload);
        ASSERT_FALSE(decoded.has_value()) << size;
        EXPECT_EQ(decoded.error().message(), "Netplay input payload must be 10 bytes.");
    }
}

}  // namespace
}  // namespace lk
