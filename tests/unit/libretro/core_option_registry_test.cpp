#include "libretro/core_option_registry.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fixtures.hpp"
#include "libretro/core_api.hpp"
#include "libretro/core_option_overrides.hpp"
#include "libretro/game_load_request.hpp"

namespace lk {
namespace {

using test::ScopedEnv;
using ::testing::Contains;
using ::testing::IsEmpty;
using ::testing::Not;

constexpr const char* kOverridesVariable = "LUMENKITE_CORE_OPTION_OVERRIDES";
constexpr const char* kDumpVariable = "LUMENKITE_DUMP_CORE_OPTIONS";
constexpr const char* kPlainCore = "/cores/plain_libretro.so";  // no built-in block
constexpr const char* kReplaced = "\xEF\xBF\xBD";               // U+FFFD

std::optional<std::string> read(const CoreOptionRegistry& registry, const char* key) {
    retro::Variable variable{key, nullptr};
    if (!registry.read_variable(&variable)) {
        return std::nullopt;
    }
    return std::string(variable.value);
}

// One option of a version 1 or 2 declaration, built in memory.
struct Declared {
    const char* key;
    std::vector<const char*> values;
    const char* default_value = nullptr;
};

// A definition array ended by a NULL key, in either layout.
template <class Definition>
std::vector<Definition> definitions(const std::vector<Declared>& options) {
    std::vector<Definition> array;
    for (const auto& option : options) {
        Definition definition{};
        definition.key = option.key;
        for (std::size_t i = 0; i < option.values.size(); ++i) {
            definition.values[i].value = option.values[i];
        }
        definition.default_value = option.default_value;
        array.push_back(definition);
    }
    array.push_back(Definition{});
    return array;
}

class CoreOptionRegistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ::unsetenv(kOverridesVariable);
        ::unsetenv(kDumpVariable);
    }
    void TearDown() override {
        ::unsetenv(kOverridesVariable);
        ::unsetenv(kDumpVariable);
    }

    // Overrides from the environment text alone.
    void configure(const char* override_text, const char* core = kPlainCore) {
        ScopedEnv env(kOverridesVariable, override_text);
        registry.configure_overrides(core, "/roms/game.bin", "native");
    }

    CoreOptionRegistry registry;
};

TEST_F(CoreOptionRegistryTest, SelectsOfferedOverrideThenOfferedDefaultThenFirstValue) {
    struct Case {
        const char* name;
        const char* override_value;  // nullptr: no override for the key
        std::optional<std::string> default_value;
        std::vector<std::string> values;
        std::optional<std::string> selected;
    };
    const std::vector<std::string> digits = {"0", "1", "2"};
    const Case cases[] = {
        {"offered override wins over default", "2", "1", digits, "2"},
        {"unoffered override falls to default", "3", "1", digits, "1"},
        {"unoffered override without default", "3", std::nullopt, digits, "0"},
        {"override must match exactly", "TRUE", "false", {"true", "false"}, "false"},
        {"default alone", nullptr, "2", digits, "2"},
        {"unoffered default", nullptr, "9", digits, "0"},
        {"no values selects nothing", "1", "1", {}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        configure(c.override_value != nullptr ? (std::string("k=") + c.override_value).c_str()
                                              : "");
        registry.insert_selected_value("k", c.values, c.default_value, "test");
        EXPECT_EQ(read(registry, "k"), c.selected);
    }
}

TEST_F(CoreOptionRegistryTest, LegacyVariablesOfferTheTrimmedPiecesAfterTheFirstSemicolon) {
    configure("list=three, plain=y");
    const retro::Variable variables[] = {
        {"list", "Alpha; one | two||three "},
        {"plain", "x|y"},
        {"semicolons", "Desc; a;b | c"},
        {"description_only", "Only a description;"},
        {"null_value", nullptr},
        {nullptr, nullptr},
        {"after_end", "v|w"},
    };
    EXPECT_TRUE(registry.capture_variables(variables));
    EXPECT_EQ(read(registry, "list"), "three");
    EXPECT_EQ(read(registry, "plain"), "y");
    EXPECT_EQ(read(registry, "semicolons"), "a;b");
    EXPECT_EQ(read(registry, "description_only"), std::nullopt);
    EXPECT_EQ(read(registry, "null_value"), std::nullopt);
    EXPECT_EQ(read(registry, "after_end"), std::nullopt);

    // An override the core does not offer leaves the first value.
    for (const auto& [override_text, selected] :
         {std::pair{"speed=3", "0"}, std::pair{"speed=2", "2"}}) {
        configure(override_text);
        const retro::Variable speed[] = {{"speed", "Speed; 0|1|2"}, {nullptr, nullptr}};
        registry.capture_variables(speed);
        EXPECT_EQ(read(registry, "speed"), selected) << override_text;
    }

    EXPECT_FALSE(registry.capture_variables(nullptr));
    EXPECT_EQ(read(registry, "speed"), std::nullopt);
}

TEST_F(CoreOptionRegistryTest, Version1DefinitionsUseTheirDefaultOrFirstValue) {
    std::vector<const char*> full;
    std::vector<std::string> names;
    for (int i = 0; i < 128; ++i) {
        names.push_back("v" + std::to_string(i));
    }
    for (const auto& name : names) {
        full.push_back(name.c_str());
    }
    auto array = definitions<retro::CoreOptionDefinition>({
        {"with_default", {"a", "b", "c"}, "b"},
        {"empty_default", {"a", "b"}, ""},
        {"null_default", {"a", "b"}, nullptr},
        {"empty_value_skipped", {"", "x"}, nullptr},
        {"no_values", {}, "d"},
        {"all_128_values", full, "v127"},
    });
    EXPECT_TRUE(registry.capture_core_option_definitions(array.data()));
    EXPECT_EQ(read(registry, "with_default"), "b");
    EXPECT_EQ(read(registry, "empty_default"), "a");
    EXPECT_EQ(read(registry, "null_default"), "a");
    EXPECT_EQ(read(registry, "empty_value_skipped"), "x");
    EXPECT_EQ(read(registry, "no_values"), std::nullopt);
    EXPECT_EQ(read(registry, "all_128_values"), "v127");

    // The intl record: `us` is declared, `local` is not read.
    auto us = definitions<retro::CoreOptionDefinition>({{"lang", {"en", "de"}, "en"}});
    auto local = definitions<retro::CoreOptionDefinition>({{"lang", {"en", "de"}, "de"}});
    const retro::CoreOptionsIntl intl{us.data(), local.data()};
    EXPECT_TRUE(registry.capture_core_options_intl(&intl));
    EXPECT_EQ(read(registry, "lang"), "en");
    EXPECT_EQ(read(registry, "with_default"), std::nullopt) << "a declaration replaces the last";

    EXPECT_TRUE(registry.capture_core_options_intl(nullptr));
    EXPECT_EQ(read(registry, "lang"), std::nullopt);
    EXPECT_TRUE(registry.capture_core_option_definitions(us.data()));
    EXPECT_EQ(read(registry, "lang"), "en");
    EXPECT_TRUE(registry.capture_core_option_definitions(nullptr));
    EXPECT_EQ(read(registry, "lang"), std::nullopt);
}

TEST_F(CoreOptionRegistryTest, Version2DefinitionsIgnoreCategories) {
    configure("renderer=gl");
    retro::CoreOptionV2Category categories[] = {{"video", "Video", nullptr},
                                                {nullptr, nullptr, nullptr}};
    auto array = definitions<retro::CoreOptionV2Definition>({
        {"renderer", {"soft", "gl"}, "soft"},
        {"scale", {"1x", "2x"}, "2x"},
        {"repeated", {"first"}, nullptr},
        {"repeated", {"second"}, nullptr},
    });
    array[0].category_key = "video";
    array[1].category_key = "missing-category";
    retro::CoreOptionsV2 options{categories, array.data()};
    EXPECT_TRUE(registry.capture_core_options_v2(&options));
    EXPECT_EQ(read(registry, "renderer"), "gl");
    EXPECT_EQ(read(registry, "scale"), "2x");
    EXPECT_EQ(read(registry, "repeated"), "second");

    const retro::CoreOptionsV2 no_definitions{categories, nullptr};
    EXPECT_TRUE(registry.capture_core_options_v2(&no_definitions));
    EXPECT_EQ(read(registry, "renderer"), std::nullopt);

    const retro::CoreOptionsV2Intl intl{&options, nullptr};
    EXPECT_TRUE(registry.capture_core_options_v2_intl(&intl));
    EXPECT_EQ(read(registry, "scale"), "2x");
    EXPECT_TRUE(registry.capture_core_options_v2_intl(nullptr));
    EXPECT_EQ(read(registry, "scale"), std::nullopt);
    EXPECT_TRUE(registry.capture_core_options_v2(&options));
    EXPECT_TRUE(registry.capture_core_options_v2(nullptr));
    EXPECT_EQ(read(registry, "scale"), std::nullopt);
}

TEST_F(CoreOptionRegistryTest, SelectedTextKeepsItsAddressAcrossOtherSelections) {
    const std::vector<std::string> values = {"kept", "other"};
    registry.insert_selected_value("stable", values, std::nullopt, "test");
    retro::Variable first{"stable", nullptr};
    ASSERT_TRUE(registry.read_variable(&first));

    for (int i = 0; i < 500; ++i) {
        const std::string key = "key" + std::to_string(i);
        registry.insert_selected_value(key, {{"a-value-long-enough-for-the-heap-" + key}},
                                       std::nullopt, "test");
    }
    registry.insert_selected_value("stable", values, "kept", "test");  // same value again
    retro::Variable second{"stable", nullptr};
    ASSERT_TRUE(registry.read_variable(&second));
    EXPECT_EQ(second.value, first.value);
    EXPECT_STREQ(first.value, "kept");

    registry.insert_selected_value("stable", values, "other", "test");
    EXPECT_EQ(read(registry, "stable"), "other");
}

TEST_F(CoreOptionRegistryTest, MalformedTextFromTheCoreIsReplacedOrUnmatched) {
    const retro::Variable variables[] = {{"bad\xff", "Desc; x\xff|y"}, {nullptr, nullptr}};
    ASSERT_TRUE(registry.capture_variables(variables));
    EXPECT_EQ(read(registry, "bad\xEF\xBF\xBD"), std::string("x") + kReplaced);
    EXPECT_EQ(read(registry, "bad\xff"), std::nullopt);

    auto array = definitions<retro::CoreOptionDefinition>({{"v1", {"\xC0", "ok"}, "\xC0"}});
    ASSERT_TRUE(registry.capture_core_option_definitions(array.data()));
    EXPECT_EQ(read(registry, "v1"), kReplaced);

    EXPECT_FALSE(registry.read_variable(nullptr));
    retro::Variable null_key{nullptr, nullptr};
    EXPECT_FALSE(registry.read_variable(&null_key));
    EXPECT_EQ(null_key.value, nullptr);
    EXPECT_EQ(read(registry, "undeclared"), std::nullopt);
}

TEST_F(CoreOptionRegistryTest, ConfiguringMergesEnvironmentOverBuiltInsAndEmptiesSelection) {
    const char* core = "/c/mupen64plus_next_libretro.so";
    const auto built_in = default_core_option_overrides(core, "g.z64", "native");
    registry.insert_selected_value("old", {{"v"}}, std::nullopt, "test");

    configure("mupen64plus-cpucore=pure_interpreter, extra=1", core);
    auto expected = built_in;
    expected["mupen64plus-cpucore"] = "pure_interpreter";
    expected["extra"] = "1";
    EXPECT_EQ(registry.overrides(), expected);
    EXPECT_EQ(read(registry, "old"), std::nullopt);

    configure("\xff=1", core);  // not valid Unicode: the variable is ignored
    EXPECT_EQ(registry.overrides(), built_in);

    // Built-in overrides apply only where the core offers the value.
    auto array = definitions<retro::CoreOptionDefinition>({
        {"mupen64plus-rdp-plugin", {"gliden64", "angrylion", "parallel"}, "gliden64"},
        {"mupen64plus-cpucore", {"pure_interpreter", "cached_interpreter"}, "cached_interpreter"},
    });
    registry.capture_core_option_definitions(array.data());
    EXPECT_EQ(read(registry, "mupen64plus-rdp-plugin"), "angrylion");
    EXPECT_EQ(read(registry, "mupen64plus-cpucore"), "cached_interpreter");

    registry.clear();
    EXPECT_THAT(registry.overrides(), IsEmpty());
    EXPECT_EQ(read(registry, "mupen64plus-rdp-plugin"), std::nullopt);
}

TEST_F(CoreOptionRegistryTest, SwanstationMsaaKeepsTheCoreDefaultAtLevelOne) {
    registry.configure_overrides("/c/swanstation_libretro.so", "g.cue", "balanced");
    auto array = definitions<retro::CoreOptionDefinition>({
        {"swanstation_GPU_MSAA", {"Disabled", "2x MSAA", "4x MSAA"}, "2x MSAA"},
        {"swanstation_GPU_Renderer", {"Software", "Hardware (OpenGL)"}, "Software"},
    });
    registry.capture_core_option_definitions(array.data());
    EXPECT_EQ(read(registry, "swanstation_GPU_MSAA"), "2x MSAA");
    EXPECT_EQ(read(registry, "swanstation_GPU_Renderer"), "Hardware (OpenGL)");
}

TEST_F(CoreOptionRegistryTest, DumpWritesOneLinePerSelectedOptionWhenSwitchedOn) {
    configure("speed=3, v1=b");
    ScopedEnv dump(kDumpVariable, "1");
    ::testing::internal::CaptureStderr();
    const retro::Variable variables[] = {{"speed", "Speed; 0|1|2"}, {"none", nullptr}, {}};
    registry.capture_variables(variables);
    auto v1 = definitions<retro::CoreOptionDefinition>({{"v1", {"a", "b"}, "a"}});
    registry.capture_core_option_definitions(v1.data());
    auto v2_array = definitions<retro::CoreOptionV2Definition>({{"v2", {"x", "y"}, "z"}});
    const retro::CoreOptionsV2 v2{nullptr, v2_array.data()};
    registry.capture_core_options_v2(&v2);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "[lumenkite-core-options] source=variables key=speed override=3 default=<none> "
              "selected=0 available=0|1|2\n"
              "[lumenkite-core-options] source=variables key=none override=<none> "
              "default=<none> selected=<none> available=\n"
              "[lumenkite-core-options] source=core-options-v1 key=v1 override=b default=a "
              "selected=b available=a|b\n"
              "[lumenkite-core-options] source=core-options-v2 key=v2 override=<none> default=z "
              "selected=x available=x|y\n");
}

TEST_F(CoreOptionRegistryTest, DumpSwitchIsReadForEveryOption) {
    const std::pair<const char*, bool> switches[] = {
        {"1", true},    {"on", true},  {"ON", true}, {"yes", true}, {"YES", true}, {"true", true},
        {"TRUE", true}, {"On", false}, {"2", false}, {"", false},   {" 1", false},
    };
    for (const auto& [value, on] : switches) {
        ScopedEnv dump(kDumpVariable, value);
        ::testing::internal::CaptureStderr();
        registry.insert_selected_value("k", {{"v"}}, std::nullopt, "test");
        EXPECT_EQ(!::testing::internal::GetCapturedStderr().empty(), on) << '"' << value << '"';
    }
}

// mGBA declares its options in the style we report and reads back what we
// select for it, an environment override included.
class MgbaOptions {
  public:
    static bool environment(unsigned command, void* data) {
        namespace env = retro::env;
        switch (command) {
            case env::kGetCoreOptionsVersion:
                *static_cast<unsigned*>(data) = version;
                return true;
            case env::kSetVariables:
                return registry->capture_variables(static_cast<const retro::Variable*>(data));
            case env::kSetCoreOptions:
                return registry->capture_core_option_definitions(
                    static_cast<const retro::CoreOptionDefinition*>(data));
            case env::kSetCoreOptionsIntl:
                return registry->capture_core_options_intl(
                    static_cast<const retro::CoreOptionsIntl*>(data));
            case env::kSetCoreOptionsV2:
                return registry->capture_core_options_v2(
                    static_cast<const retro::CoreOptionsV2*>(data));
            case env::kSetCoreOptionsV2Intl:
                return registry->capture_core_options_v2_intl(
                    static_cast<const retro::CoreOptionsV2Intl*>(data));
            case env::kGetVariable: {
                auto* variable = static_cast<retro::Variable*>(data);
                const bool answered = registry->read_variable(variable);
                if (answered) {
                    answers.emplace_back(variable->key, variable->value);
                }
                return answered;
            }
            case env::kSetPixelFormat:
                return true;
            default:
                return false;
        }
    }

    // Points the callback at a registry for one scope.
    struct Attach {
        explicit Attach(CoreOptionRegistry& target) { registry = &target; }
        ~Attach() { registry = nullptr; }
        Attach(const Attach&) = delete;
        Attach& operator=(const Attach&) = delete;
    };

    static inline CoreOptionRegistry* registry = nullptr;
    static inline unsigned version = 2;
    static inline std::vector<std::pair<std::string, std::string>> answers;
};

// Runs mGBA through init, load, one frame and unload with the options version
// given; returns false when it rejects our ROM.
bool run_mgba(const std::filesystem::path& core_path, unsigned version) {
    MgbaOptions::version = version;
    MgbaOptions::answers.clear();
    auto core = CoreApi::load(core_path);
    auto request = GameLoadRequest::from_path(test::test_rom_path(), false);
    if (!core || !request) {
        return false;
    }
    core->retro_set_environment(&MgbaOptions::environment);
    core->retro_set_video_refresh([](const void*, unsigned, unsigned, std::size_t) {});
    core->retro_set_audio_sample([](std::int16_t, std::int16_t) {});
    core->retro_set_audio_sample_batch([](const std::int16_t*, std::size_t n) { return n; });
    core->retro_set_input_poll([] {});
    core->retro_set_input_state(
        [](unsigned, unsigned, unsigned, unsigned) -> std::int16_t { return 0; });
    core->retro_init();
    const bool loaded = core->retro_load_game(&request->game_info());
    if (loaded) {
        core->retro_run();
        core->retro_unload_game();
    }
    core->retro_deinit();
    return loaded;
}

// The "available=" list of the dump line for a key.
std::vector<std::string> dumped_values(const std::string& dump, const std::string& key) {
    const auto at = dump.find(" key=" + key + " ");
    if (at == std::string::npos) {
        return {};
    }
    const auto begin = dump.find(" available=", at) + 11;
    const std::string list = dump.substr(begin, dump.find('\n', begin) - begin);
    std::vector<std::string> values;
    std::size_t start = 0;
    while (start <= list.size()) {
        const auto bar = std::min(list.find('|', start), list.size());
        values.push_back(list.substr(start, bar - start));
        start = bar + 1;
    }
    return values;
}

TEST_F(CoreOptionRegistryTest, RealMgbaReadsTheSelectedValuesInEveryDeclarationStyle) {
    const auto core_path = test::real_cores_dir() / "mgba_libretro.so";
    ASSERT_TRUE(std::filesystem::exists(core_path))
        << "Real core " << core_path.string() << " is missing: run scripts/fetch-test-cores.sh "
        << test::real_cores_dir().string()
        << " first (the LK_TEST_CORES_DIR environment variable overrides the directory).";
    const MgbaOptions::Attach attach(registry);

    // A first run without overrides shows what mGBA asks for and what it offers.
    configure("", core_path.c_str());
    std::string dump;
    {
        ScopedEnv dump_switch(kDumpVariable, "1");
        ::testing::internal::CaptureStderr();
        const bool loaded = run_mgba(core_path, 2);
        dump = ::testing::internal::GetCapturedStderr();
        ASSERT_TRUE(loaded);
    }
    ASSERT_THAT(MgbaOptions::answers, Not(IsEmpty()));
    std::string key;
    std::string other_value;
    for (const auto& [asked, answer] : MgbaOptions::answers) {
        for (const auto& value : dumped_values(dump, asked)) {
            if (value != answer && key.empty()) {
                key = asked;
                other_value = value;
            }
        }
    }
    ASSERT_FALSE(key.empty()) << dump;
    // Another option asked for, with an override that mGBA does not offer.
    const auto other = std::find_if(MgbaOptions::answers.begin(), MgbaOptions::answers.end(),
                                    [&key](const auto& answer) { return answer.first != key; });
    ASSERT_NE(other, MgbaOptions::answers.end());
    const auto unchanged = *other;

    const std::string overrides = key + "=" + other_value + ", " + unchanged.first + "=not-offered";
    for (const unsigned version : {2u, 1u, 0u}) {
        SCOPED_TRACE("options version " + std::to_string(version) + ", " + overrides);
        configure(overrides.c_str(), core_path.c_str());
        ASSERT_TRUE(run_mgba(core_path, version));
        EXPECT_THAT(MgbaOptions::answers, Contains(std::pair(key, other_value)));
        EXPECT_THAT(MgbaOptions::answers, Contains(unchanged));
    }
}

}  // namespace
}  // namespace lk
