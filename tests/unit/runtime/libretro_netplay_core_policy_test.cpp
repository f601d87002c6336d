#include "runtime/libretro_netplay_core_policy.hpp"

#include <gtest/gtest.h>

namespace lk {
namespace {

LibretroRuntimeConfig config(std::string core, std::string platform,
                             std::optional<std::string> device = std::nullopt) {
    LibretroRuntimeConfig c;
    c.core_id = std::move(core);
    c.platform_id = std::move(platform);
    c.controller_device_id = std::move(device);
    return c;
}

TEST(NetplayCorePolicy, StandardDeviceFromRequestThenCoreDefault) {
    struct Case {
        LibretroRuntimeConfig config;
        std::uint32_t device;
    };
    const Case cases[] = {
        {config("genesis-plus-gx", "gg"), 0x301},
        {config("genesis-plus-gx", "GG"), 1},
        {config("genesis-plus-gx", "genesis"), 0x201},
        {config("genesis-plus-gx", "sms"), 0x301},
        {config("dolphin", "wii"), 0x501},
        {config("dolphin", "gamecube"), 1},
        {config("mgba", "gba"), 1},
        {config("mgba", "gba", "dolphin-wiimote-nunchuk"), 0x301},
        {config("dolphin", "wii", "joypad"), 1},
        {config("dolphin", "wii", "Joypad"), 0x501},
        {config("dolphin", "wii", " joypad"), 0x501},
        {config("dolphin", "wii", "dolphin-wiimote-sideways"), 0x201},
        {config("dolphin", "wii", "dolphin-wiimote-classic-controller"), 0x401},
        {config("dolphin", "wii", "dolphin-wiimote-classic-controller-pro"), 0x501},
        {config("dolphin", "wii", "dolphin-gamecube-on-wii"), 0x601},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(standard_controller_device_for_config(c.config), c.device)
            << c.config.core_id << "/" << c.config.platform_id << " "
            << c.config.controller_device_id.value_or("-");
    }
}

TEST(NetplayCorePolicy, DelayedRefreshCountsAndSchedule) {
    EXPECT_EQ(delayed_controller_refresh_frames(config("dolphin", "wii")), 180u);
    EXPECT_EQ(delayed_controller_refresh_frames(config("other", "gamecube")), 180u);
    EXPECT_EQ(delayed_controller_refresh_frames(config("flycast", "x")), 1u);
    EXPECT_EQ(delayed_controller_refresh_frames(config("x", "dreamcast")), 1u);
    EXPECT_EQ(delayed_controller_refresh_frames(config("mgba", "gba")), 0u);

    std::uint32_t remaining = 90;
    std::vector<std::uint32_t> refreshed_at;
    for (int frame = 0; frame < 100; ++frame) {
        const std::uint32_t before = remaining;
        if (delayed_controller_refresh_step(remaining)) {
            refreshed_at.push_back(before);
        }
    }
    EXPECT_EQ(refreshed_at, (std::vector<std::uint32_t>{90, 60, 30, 1}));
    EXPECT_EQ(remaining, 0u);
}

TEST(NetplayCorePolicy, SerializationQuirksThatBreakNetplayAreRefused) {
    EXPECT_TRUE(assert_serialization_quirks_support_netplay(0));
    EXPECT_TRUE(assert_serialization_quirks_support_netplay(0x2));
    EXPECT_TRUE(assert_serialization_quirks_support_netplay(0x60));
    const std::pair<std::uint64_t, const char*> refused[] = {
        {0x1, "0x1."}, {0x13, "0x13."}, {0x10, "0x10."}};
    for (const auto& [quirks, suffix] : refused) {
        auto result = assert_serialization_quirks_support_netplay(quirks);
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().display(),
                  std::string("This core reports save-state serialization flags that are not safe "
                              "for netplay: ") +
                      suffix);
    }
}

}  // namespace
}  // namespace lk
