#include "cores/core_registry.hpp"

#include <cstdlib>

#include <gtest/gtest.h>

#include "cores/stub_emulator_core.hpp"

namespace lk {
namespace {

TEST(CoreRegistry, StubRegistryHasTheElevenCoresInTableOrder) {
    ::unsetenv("LUMENKITE_USE_LIBRETRO_CORES");
    const auto registry = CoreRegistry::desktop_defaults(nullptr);
    ASSERT_EQ(registry.cores().size(), 11u);
    EXPECT_NE(dynamic_cast<StubEmulatorCore*>(registry.cores()[0].get()), nullptr);
    EXPECT_EQ(
        registry.supported_platform_ids(),
        (std::vector<std::string>{"dreamcast", "ds", "gamecube", "gb", "gba", "gbc", "genesis",
                                  "gg", "n64", "nes", "ps1", "ps2", "psp", "sms", "snes", "wii"}));
    EXPECT_EQ(registry.find("dolphin", "wii"), registry.cores()[9].get());
    EXPECT_EQ(registry.find("dolphin", "Wii"), nullptr);
    EXPECT_EQ(registry.find("mgba", "nes"), nullptr);
    EXPECT_EQ(registry.find("genesis-plus-gx", "sms"), registry.cores()[10].get());
}

TEST(CoreRegistry, LibretroRegistryDropsHardwarePlatformsButKeepsEveryCore) {
    ::setenv("LUMENKITE_USE_LIBRETRO_CORES", "TRUE", 1);
    const auto registry = CoreRegistry::desktop_defaults(nullptr);
    ::unsetenv("LUMENKITE_USE_LIBRETRO_CORES");
    ASSERT_EQ(registry.cores().size(), 11u);
    EXPECT_EQ(dynamic_cast<StubEmulatorCore*>(registry.cores()[0].get()), nullptr);
    EXPECT_TRUE(registry.cores()[9]->supported_platform_ids().empty());  // dolphin
    EXPECT_TRUE(registry.cores()[5]->supported_platform_ids().empty());  // pcsx2
    EXPECT_EQ(registry.find("dolphin", "gamecube"), nullptr);
    EXPECT_NE(registry.find("mgba", "gba"), nullptr);
}

}  // namespace
}  // namespace lk
