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

TEST(CoreRegistry, LibretroRegistryOffersHardwarePlatformsWhenEglLoads) {
    // This machine has EGL (the broken-EGL case runs in a child process in
    // hardware_render_e2e_test, since the loader's search path is fixed at start).
    ::setenv("LUMENKITE_USE_LIBRETRO_CORES", "TRUE", 1);
    const auto registry = CoreRegistry::desktop_defaults(nullptr);
    ::unsetenv("LUMENKITE_USE_LIBRETRO_CORES");
    ASSERT_EQ(registry.cores().size(), 11u);
    EXPECT_EQ(dynamic_cast<StubEmulatorCore*>(registry.cores()[0].get()), nullptr);
    EXPECT_EQ(registry.cores()[9]->supported_platform_ids(),
              (std::vector<std::string>{"gamecube", "wii"}));  // dolphin
    EXPECT_EQ(registry.cores()[5]->supported_platform_ids(),
              (std::vector<std::string>{"ps2"}));  // pcsx2
    EXPECT_EQ(registry.find("dolphin", "gamecube"), registry.cores()[9].get());
    EXPECT_NE(registry.find("mgba", "gba"), nullptr);
}

}  // namespace
}  // namespace lk
