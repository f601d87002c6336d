// The environment callback's command table: which commands are answered, what
// they write, how NULL data is treated, and the state operations around it
// (configure_environment, reset, serialization_quirks, AV updates).

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include "callback_bridge_test_support.hpp"
#include "fixtures.hpp"
#include "libretro/abi.hpp"
#include "libretro/callback_runtime_state.hpp"
#include "libretro/environment_callback.hpp"
#include "libretro/retro_log_bridge.hpp"

namespace lk {
namespace {

using callback_bridge::environment_callback;
namespace env = retro::env;
constexpr unsigned kExperimental = retro::kEnvironmentExperimental;

class EnvironmentCallback : public test::CallbackBridgeTest {};

// A buffer big enough for any record a command reads, filled with a marker so
// that untouched data can be recognised.
struct Scratch {
    alignas(8) std::array<std::uint8_t, 4096> bytes;
    Scratch() { bytes.fill(0xAB); }
    bool untouched() const {
        for (auto b : bytes) {
            if (b != 0xAB) {
                return false;
            }
        }
        return true;
    }
};

TEST_F(EnvironmentCallback, NullDataIsRefusedWhereDataIsNeeded) {
    struct Case {
        unsigned command;
        bool expected;
    };
    const Case cases[] = {
        // Commands that read or write data.
        {env::kGetSystemDirectory, false},
        {env::kSetPixelFormat, false},
        {env::kSetDiskControlInterface, false},
        {env::kSetHwRender, false},
        {env::kGetVariable, false},
        {env::kSetVariables, false},
        {env::kGetVariableUpdate, false},
        {env::kGetLogInterface, false},
        {env::kGetSaveDirectory, false},
        {env::kSetSystemAvInfo, false},
        {env::kSetSerializationQuirks, false},
        {env::kGetCoreOptionsVersion, false},
        {env::kGetPreferredHwRender, false},
        {env::kGetDiskControlInterfaceVersion, false},
        {env::kSetDiskControlExtInterface, false},
        {env::kGetJitCapable, false},
        {env::kGetFastforwarding, false},
        // Commands that ignore data, or take NULL as "no options".
        {env::kSetInputDescriptors, true},
        {env::kSetSubsystemInfo, true},
        {env::kSetControllerInfo, true},
        {env::kSetCoreOptions, true},
        {env::kSetCoreOptionsIntl, true},
        {env::kSetCoreOptionsDisplay, true},
        {env::kSetCoreOptionsV2, true},
        {env::kSetCoreOptionsV2Intl, true},
        {env::kSetCoreOptionsUpdateDisplayCallback, true},
        {env::kGetInputBitmasks, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(environment_callback(c.command, nullptr), c.expected) << "command " << c.command;
    }
    // Nothing reached the state.
    CallbackStateLock state;
    EXPECT_FALSE(state->pending_av_info.has_value());
    EXPECT_EQ(state->disc_control.version, DiscControlInterface::Version::none);
    EXPECT_EQ(state->pixel_format, PixelFormat::xrgb8888);
    EXPECT_EQ(state->serialization_quirks, 0u);
    EXPECT_EQ(state->hardware_context, nullptr);
}

TEST_F(EnvironmentCallback, UnknownCommandsAndMissingExperimentalBitAreRefusedUntouched) {
    const unsigned commands[] = {
        0,
        env::kGetCanDupe,
        env::kSetMessage,
        env::kShutdown,
        env::kSetPerformanceLevel,
        env::kGetRumbleInterface,
        env::kGetCoreAssetsDirectory,
        env::kSetGeometry,
        env::kGetLanguage,
        env::kGetCurrentSoftwareFramebuffer,
        env::kGetHwRenderInterface,
        env::kSetHwSharedContext,  // 44 with the experimental bit is not the quirks command
        env::kGetInputMaxUsers,
        env::kSetVariable,
        49,  // GET_FASTFORWARDING without the experimental bit
        51,  // GET_INPUT_BITMASKS without the experimental bit
        env::kSetPixelFormat | kExperimental,
        env::kGetSystemDirectory | retro::kEnvironmentPrivate,
        0xffffffffu,
    };
    for (const unsigned command : commands) {
        Scratch scratch;
        EXPECT_FALSE(environment_callback(command, scratch.bytes.data())) << "command " << command;
        EXPECT_TRUE(scratch.untouched()) << "command " << command;
    }
    EXPECT_TRUE(environment_callback(51 | kExperimental, nullptr));
    EXPECT_EQ(callback_bridge::serialization_quirks(), 0u);
}

TEST_F(EnvironmentCallback, QueriesWriteTheirAnswers) {
    unsigned version = 0;
    EXPECT_TRUE(environment_callback(env::kGetCoreOptionsVersion, &version));
    EXPECT_EQ(version, 2u);
    version = 0;
    EXPECT_TRUE(environment_callback(env::kGetDiskControlInterfaceVersion, &version));
    EXPECT_EQ(version, 1u);

    bool flag = true;
    EXPECT_TRUE(environment_callback(env::kGetVariableUpdate, &flag));
    EXPECT_FALSE(flag);
    flag = true;
    EXPECT_TRUE(environment_callback(env::kGetFastforwarding, &flag));
    EXPECT_FALSE(flag);
    flag = false;
    EXPECT_TRUE(environment_callback(env::kGetJitCapable, &flag));
    EXPECT_TRUE(flag);

    retro::LogCallback log{nullptr};
    EXPECT_TRUE(environment_callback(env::kGetLogInterface, &log));
    EXPECT_EQ(log.log, &lumenkite_retro_log);
    EXPECT_EQ(lumenkite_retro_log_interface()->log, &lumenkite_retro_log);

    // The refusing backend names no preferred context and leaves data alone.
    unsigned preferred = 77;
    EXPECT_FALSE(environment_callback(env::kGetPreferredHwRender, &preferred));
    EXPECT_EQ(preferred, 77u);
    callback_bridge::configure_hardware_render_backend(
        std::make_unique<test::FakeHardwareRenderBackend>(
            std::make_shared<test::FakeHardwareJournal>()));
    EXPECT_TRUE(environment_callback(env::kGetPreferredHwRender, &preferred));
    EXPECT_EQ(preferred, 1u);
}

TEST_F(EnvironmentCallback, PixelFormatAcceptsTheThreeLibretroFormatsOnly) {
    {
        CallbackStateLock state;
        EXPECT_EQ(state->pixel_format, PixelFormat::xrgb8888) << "default";
    }
    const std::pair<unsigned, bool> cases[] = {
        {2, true}, {3, false}, {0, true}, {7, false}, {0xffffffffu, false}, {1, true}, {2, true},
    };
    PixelFormat expected = PixelFormat::xrgb8888;
    for (const auto& [value, accepted] : cases) {
        unsigned format = value;
        EXPECT_EQ(environment_callback(env::kSetPixelFormat, &format), accepted) << value;
        if (accepted) {
            expected = *PixelFormat::from_value(value);
        }
        CallbackStateLock state;
        EXPECT_EQ(state->pixel_format, expected) << "after " << value;
    }
}

TEST_F(EnvironmentCallback, DirectoriesComeFromConfigureEnvironment) {
    const char* directory = "untouched";
    EXPECT_FALSE(environment_callback(env::kGetSystemDirectory, &directory));
    EXPECT_FALSE(environment_callback(env::kGetSaveDirectory, &directory));
    EXPECT_STREQ(directory, "untouched");

    ASSERT_TRUE(callback_bridge::configure_environment("/tmp/lk system", "/tmp/lk-save",
                                                       "/cores/x_libretro.so", "/roms/game.gba",
                                                       "native")
                    .has_value());
    EXPECT_TRUE(environment_callback(env::kGetSystemDirectory, &directory));
    EXPECT_STREQ(directory, "/tmp/lk system");
    EXPECT_TRUE(environment_callback(env::kGetSaveDirectory, &directory));
    EXPECT_STREQ(directory, "/tmp/lk-save");

    // A bad path fails before anything is replaced.
    const auto not_utf8 = callback_bridge::configure_environment(
        "/tmp/ok", std::string("/tmp/\xff\xfe"), "/c.so", "/r.gba", "native");
    ASSERT_FALSE(not_utf8.has_value());
    EXPECT_EQ(not_utf8.error().message(), "Libretro environment path must be valid UTF-8.");
    const auto with_nul = callback_bridge::configure_environment(
        std::string("/tmp/a\0b", 8), "/tmp/ok", "/c.so", "/r.gba", "native");
    EXPECT_FALSE(with_nul.has_value());
    EXPECT_TRUE(environment_callback(env::kGetSystemDirectory, &directory));
    EXPECT_STREQ(directory, "/tmp/lk system");

    callback_bridge::reset();
    EXPECT_FALSE(environment_callback(env::kGetSystemDirectory, &directory));
    EXPECT_FALSE(environment_callback(env::kGetSaveDirectory, &directory));
}

TEST_F(EnvironmentCallback, OptionsAreAnsweredThroughTheRegistryWithSessionOverrides) {
    test::ScopedEnv overrides("LUMENKITE_CORE_OPTION_OVERRIDES", "lk_speed=slow");
    ASSERT_TRUE(callback_bridge::configure_environment("/s", "/v", "/cores/lk_libretro.so",
                                                       "/roms/a.bin", "native")
                    .has_value());
    retro::Variable declared[] = {
        {"lk_speed", "Speed; normal|fast|slow"},
        {"lk_level", "Level; 0|1|2"},
        {nullptr, nullptr},
    };
    EXPECT_TRUE(environment_callback(env::kSetVariables, declared));

    retro::Variable query{"lk_speed", nullptr};
    ASSERT_TRUE(environment_callback(env::kGetVariable, &query));
    EXPECT_STREQ(query.value, "slow") << "the override wins";
    query = {"lk_level", nullptr};
    ASSERT_TRUE(environment_callback(env::kGetVariable, &query));
    EXPECT_STREQ(query.value, "0");
    query = {"lk_missing", nullptr};
    EXPECT_FALSE(environment_callback(env::kGetVariable, &query));

    // INTL with NULL clears the selection; v2 with NULL also just clears.
    EXPECT_TRUE(environment_callback(env::kSetCoreOptionsIntl, nullptr));
    query = {"lk_speed", nullptr};
    EXPECT_FALSE(environment_callback(env::kGetVariable, &query));
    EXPECT_TRUE(environment_callback(env::kSetVariables, declared));
    EXPECT_TRUE(environment_callback(env::kSetCoreOptionsV2Intl, nullptr));
    EXPECT_FALSE(environment_callback(env::kGetVariable, &query));

    // v1 definitions through SET_CORE_OPTIONS and the `us` table of INTL.
    static retro::CoreOptionDefinition definitions[2] = {};
    definitions[0].key = "lk_speed";
    definitions[0].values[0] = {"normal", nullptr};
    definitions[0].values[1] = {"fast", nullptr};
    definitions[0].default_value = "fast";
    EXPECT_TRUE(environment_callback(env::kSetCoreOptions, definitions));
    ASSERT_TRUE(environment_callback(env::kGetVariable, &query));
    EXPECT_STREQ(query.value, "fast") << "slow is not offered, so the default applies";
    retro::CoreOptionsIntl intl{definitions, nullptr};
    EXPECT_TRUE(environment_callback(env::kSetCoreOptionsIntl, &intl));
    ASSERT_TRUE(environment_callback(env::kGetVariable, &query));
    EXPECT_STREQ(query.value, "fast");

    // v2 definitions, plain and through INTL.
    static retro::CoreOptionV2Definition v2[2] = {};
    v2[0].key = "lk_level";
    v2[0].values[0] = {"0", nullptr};
    v2[0].values[1] = {"1", nullptr};
    v2[0].default_value = "1";
    retro::CoreOptionsV2 options{nullptr, v2};
    EXPECT_TRUE(environment_callback(env::kSetCoreOptionsV2, &options));
    query = {"lk_level", nullptr};
    ASSERT_TRUE(environment_callback(env::kGetVariable, &query));
    EXPECT_STREQ(query.value, "1");
    query = {"lk_speed", nullptr};
    EXPECT_FALSE(environment_callback(env::kGetVariable, &query)) << "each declaration replaces";
    retro::CoreOptionsV2Intl v2_intl{&options, nullptr};
    EXPECT_TRUE(environment_callback(env::kSetCoreOptionsV2Intl, &v2_intl));
    query = {"lk_level", nullptr};
    EXPECT_TRUE(environment_callback(env::kGetVariable, &query));

    callback_bridge::reset();
    EXPECT_FALSE(environment_callback(env::kGetVariable, &query)) << "reset empties the options";
}

bool fake_set_eject(bool) {
    return true;
}
unsigned fake_count() {
    return 2;
}
bool fake_label(unsigned, char*, std::size_t) {
    return true;
}

TEST_F(EnvironmentCallback, DiscControlTablesAreCopiedByVersion) {
    // Exactly seven slots: reading an eighth would overflow this object.
    const auto v0 = std::make_unique<retro::DiskControlCallback>();
    v0->set_eject_state = fake_set_eject;
    v0->get_num_images = fake_count;
    EXPECT_TRUE(environment_callback(env::kSetDiskControlInterface, v0.get()));
    {
        CallbackStateLock state;
        EXPECT_EQ(state->disc_control.version, DiscControlInterface::Version::v0);
        EXPECT_EQ(state->disc_control.set_eject_state, &fake_set_eject);
        EXPECT_EQ(state->disc_control.get_num_images, &fake_count);
        EXPECT_EQ(state->disc_control.get_image_label, nullptr);
    }
    retro::DiskControlExtCallback v1{};
    v1.get_num_images = fake_count;
    v1.get_image_label = fake_label;
    EXPECT_TRUE(environment_callback(env::kSetDiskControlExtInterface, &v1));
    {
        CallbackStateLock state;
        EXPECT_EQ(state->disc_control.version, DiscControlInterface::Version::v1);
        EXPECT_EQ(state->disc_control.set_eject_state, nullptr) << "the later table replaces";
        EXPECT_EQ(state->disc_control.get_image_label, &fake_label);
    }
    EXPECT_FALSE(environment_callback(env::kSetDiskControlInterface, nullptr));
    {
        CallbackStateLock state;
        EXPECT_EQ(state->disc_control.version, DiscControlInterface::Version::v1);
    }
    callback_bridge::reset();
    CallbackStateLock state;
    EXPECT_EQ(state->disc_control.version, DiscControlInterface::Version::none);
}

TEST_F(EnvironmentCallback, SerializationQuirksAreStoredUnchanged) {
    std::uint64_t quirks = retro::quirk::kIncomplete | retro::quirk::kSingleSession | (1ull << 63);
    EXPECT_TRUE(environment_callback(env::kSetSerializationQuirks, &quirks));
    EXPECT_EQ(quirks, retro::quirk::kIncomplete | retro::quirk::kSingleSession | (1ull << 63));
    EXPECT_EQ(callback_bridge::serialization_quirks(), quirks);
    callback_bridge::reset();
    EXPECT_EQ(callback_bridge::serialization_quirks(), 0u);
}

TEST_F(EnvironmentCallback, SystemAvInfoIsKeptUntilTakenAndLaterUpdatesReplace) {
    EXPECT_FALSE(callback_bridge::take_system_av_info_update().has_value());
    retro::SystemAvInfo first{{320, 240, 0, 0, 4.0f / 3.0f}, {59.94, 44100.0}};
    EXPECT_TRUE(environment_callback(env::kSetSystemAvInfo, &first));
    retro::SystemAvInfo second{{640, 480, 1024, 768, 1.5f}, {50.0, 48000.0}};
    EXPECT_TRUE(environment_callback(env::kSetSystemAvInfo, &second));

    const auto taken = callback_bridge::take_system_av_info_update();
    ASSERT_TRUE(taken.has_value());
    EXPECT_EQ(taken->geometry.base_width, 640u);
    EXPECT_EQ(taken->geometry.max_height, 768u);
    EXPECT_EQ(taken->geometry.aspect_ratio, 1.5f);
    EXPECT_EQ(taken->timing.fps, 50.0);
    EXPECT_EQ(taken->timing.sample_rate, 48000.0);
    EXPECT_FALSE(callback_bridge::take_system_av_info_update().has_value()) << "taken once";

    EXPECT_TRUE(environment_callback(env::kSetSystemAvInfo, &first));
    callback_bridge::reset();
    EXPECT_FALSE(callback_bridge::take_system_av_info_update().has_value());
}

TEST_F(EnvironmentCallback, IgnoredDeclarationsAreAcceptedWithoutReadingData) {
    retro::InputDescriptor descriptors[] = {{0, 1, 0, 8, "A"}, {0, 0, 0, 0, nullptr}};
    EXPECT_TRUE(environment_callback(env::kSetInputDescriptors, descriptors));
    retro::ControllerInfo controllers[] = {{nullptr, 0}};
    EXPECT_TRUE(environment_callback(env::kSetControllerInfo, controllers));
    Scratch scratch;
    EXPECT_TRUE(environment_callback(env::kSetCoreOptionsDisplay, scratch.bytes.data()));
    EXPECT_TRUE(
        environment_callback(env::kSetCoreOptionsUpdateDisplayCallback, scratch.bytes.data()));
    EXPECT_TRUE(environment_callback(env::kGetInputBitmasks, scratch.bytes.data()));
    EXPECT_TRUE(scratch.untouched());
}

}  // namespace
}  // namespace lk
