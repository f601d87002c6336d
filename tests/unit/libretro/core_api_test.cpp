#include "libretro/core_api.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>

#include "fixtures.hpp"
#include "test_frontend.hpp"

namespace lk {
namespace {

using test::clear_core_journal;
using test::core_journal;
using test::fixture_core;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;

// Loads a fixture core, failing the test with the error text otherwise.
CoreApi load_fixture(std::string_view name) {
    auto core = CoreApi::load(fixture_core(name));
    if (!core) {
        throw std::runtime_error(core.error().display_chain());
    }
    return std::move(*core);
}

// A core with its game loaded; unloads and deinitialises on scope exit.
struct LoadedCore {
    LoadedCore(std::string_view rom_text, std::string_view core = "test_core")
        : api(load_fixture(core)) {
        frontend.attach(api);
        api.retro_init();
        auto info = api.system_info();
        EXPECT_TRUE(info.has_value());
        rom = dir.write("game.lktest", rom_text);
        auto built = GameLoadRequest::from_path(rom, info && info->need_fullpath);
        EXPECT_TRUE(built.has_value());
        request.emplace(std::move(*built));
        auto status = api.load_game(*request);
        EXPECT_TRUE(status.has_value()) << status.error().display();
    }
    ~LoadedCore() {
        api.retro_unload_game();
        api.retro_deinit();
    }
    test::TestFrontend frontend;
    test::TempDir dir;
    CoreApi api;
    std::filesystem::path rom;
    std::optional<GameLoadRequest> request;
};

TEST(CoreApi, EveryEntryPointReachesItsOwnSymbol) {
    const auto path = fixture_core("test_core");
    LoadedCore core("");
    clear_core_journal(path);

    // Each raw entry point must call the core function of the same name; the
    // core journals each call, so a swapped slot shows up as a wrong line.
    retro::SystemInfo info{};
    retro::SystemAvInfo av{};
    const CoreApi& api = core.api;
    const std::vector<std::pair<std::function<void()>, std::string>> calls = {
        {[&] { api.retro_set_environment(nullptr); }, "set_environment"},
        {[&] { api.retro_set_video_refresh(nullptr); }, "set_video_refresh"},
        {[&] { api.retro_set_audio_sample(nullptr); }, "set_audio_sample"},
        {[&] { api.retro_set_audio_sample_batch(nullptr); }, "set_audio_sample_batch"},
        {[&] { api.retro_set_input_poll(nullptr); }, "set_input_poll"},
        {[&] { api.retro_set_input_state(nullptr); }, "set_input_state"},
        {[&] { api.retro_set_controller_port_device(3, 0x201); },
         "set_controller_port_device port=3 device=0x201"},
        {[&] { EXPECT_EQ(api.retro_api_version(), 1u); }, "api_version"},
        {[&] { api.retro_get_system_info(&info); }, "get_system_info"},
        {[&] { api.retro_get_system_av_info(&av); }, "get_system_av_info"},
        {[&] { EXPECT_EQ(api.retro_serialize_size(), 64u); }, "serialize_size"},
        {[&] { api.retro_cheat_reset(); }, "cheat_reset"},
        {[&] { api.retro_cheat_set(2, true, "C0DE"); }, "cheat_set index=2 enabled=1 code=C0DE"},
        {[&] { api.retro_get_memory_data(2); }, "get_memory_data id=2"},
        {[&] { api.retro_get_memory_size(3); }, "get_memory_size id=3"},
        {[&] { api.retro_reset(); }, "reset"},
    };
    for (const auto& [call, line] : calls) {
        clear_core_journal(path);
        call();
        EXPECT_EQ(core_journal(path), line + "\n");
    }
    core.frontend.attach(api);  // restore the callbacks for unload
}

TEST(CoreApi, SessionCallsReachTheCoreInOrder) {
    const auto path = fixture_core("test_core");
    test::LibraryPin pin(path);
    clear_core_journal(path);
    {
        LoadedCore core("pixel_format=rgb565\naudio=batch\n");
        core.api.retro_run();
        EXPECT_EQ(core.frontend.pixel_format, 2u);
        ASSERT_TRUE(core.frontend.frame.has_value());
        EXPECT_EQ(core.frontend.frame->width, 64u);
        EXPECT_EQ(core.frontend.frame->pitch, 64u * 2 + 16);

        auto state = core.api.serialize();
        ASSERT_TRUE(state.has_value());
        ASSERT_EQ(state->size(), 64u);
        EXPECT_EQ(std::string(state->begin(), state->begin() + 4), "LKTS");
        EXPECT_EQ((*state)[8], 1) << "frame counter after one frame";
        EXPECT_TRUE(core.api.retro_unserialize(state->data(), state->size()));

        ASSERT_TRUE(core.api.cheat_set(7, false, "ABCD-1234").has_value());
    }
    const std::string journal = core_journal(path);
    const char* expected_order[] = {
        "set_environment\nset_video_refresh\nset_audio_sample\nset_audio_sample_batch\n"
        "set_input_poll\nset_input_state\ninit",
        "get_system_info",
        "load_game path=",
        "serialize_size",
        "serialize size=64",
        "unserialize size=64",
        "cheat_set index=7 enabled=0 code=ABCD-1234",
        "unload_game",
        "deinit"};
    std::size_t at = 0;
    for (const char* step : expected_order) {
        const auto found = journal.find(step, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << step << "\n"
                                            << journal;
        at = found;
    }
}

TEST(CoreApi, MissingSymbolFailsAndClosesTheLibrary) {
    // retro_get_memory_size is never called, yet a core without it is refused.
    const auto path = fixture_core("missing_symbol");
    auto core = CoreApi::load(path);
    ASSERT_FALSE(core.has_value());
    EXPECT_EQ(core.error().message(), "missing symbol retro_get_memory_size");
    ASSERT_NE(core.error().cause(), nullptr);
    EXPECT_THAT(core.error().cause()->message(), HasSubstr("retro_get_memory_size"));
    EXPECT_FALSE(test::library_is_loaded(path));
}

TEST(CoreApi, UnopenableLibraryNamesThePathAndKeepsTheLoaderMessage) {
    test::TempDir dir;
    const auto not_a_library = dir.write("fake_libretro.so", "not an ELF file");
    for (const auto& path : {dir.path() / "absent_libretro.so", not_a_library}) {
        auto core = CoreApi::load(path);
        ASSERT_FALSE(core.has_value());
        EXPECT_EQ(core.error().message(), "failed to load libretro core: " + path.string());
        ASSERT_NE(core.error().cause(), nullptr);
        EXPECT_FALSE(core.error().cause()->message().empty());
    }
}

TEST(CoreApi, ApiVersionOtherThanOneIsAMismatch) {
    auto good = load_fixture("test_core");
    EXPECT_TRUE(good.check_api_version().has_value());

    auto core = load_fixture("api_v2");
    auto status = core.check_api_version();
    ASSERT_FALSE(status.has_value());
    EXPECT_EQ(status.error().message(), "Libretro API mismatch: expected 1, core reported 2.");
}

TEST(CoreApi, SystemInfoIsCopiedFromTheCore) {
    auto info = load_fixture("test_core").system_info();
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->library_name, "Lumenkite Test Core");
    EXPECT_EQ(info->library_version, "1.0");
    EXPECT_THAT(info->valid_extensions, ElementsAre("lktest", "txt", "bin"));
    EXPECT_FALSE(info->need_fullpath);
    EXPECT_FALSE(info->block_extract);

    // NULL texts: "unknown" name, no version; empty extension pieces dropped.
    auto null_info = load_fixture("null_sysinfo").system_info();
    ASSERT_TRUE(null_info.has_value());
    EXPECT_EQ(null_info->library_name, "unknown");
    EXPECT_EQ(null_info->library_version, std::nullopt);
    EXPECT_THAT(null_info->valid_extensions, ElementsAre("bin", "cue", "iso"));
    EXPECT_TRUE(null_info->block_extract);

    auto bad_info = load_fixture("bad_sysinfo").system_info();
    ASSERT_FALSE(bad_info.has_value());
    EXPECT_EQ(bad_info.error().message(), "core returned non UTF-8 string");
}

TEST(CoreApi, FullPathCoresGetThePathAndOthersTheBytes) {
    const auto path = fixture_core("test_core");
    const std::string rom = "pixel_format=rgb565\n";
    {
        test::ScopedEnv fullpath("LK_TEST_CORE_NEED_FULLPATH", "1");
        clear_core_journal(path);
        LoadedCore core(rom);
        EXPECT_FALSE(core.request->data().has_value());
        EXPECT_EQ(core.frontend.pixel_format, 2u) << "the core read the ROM from its path";
        EXPECT_THAT(core_journal(path),
                    HasSubstr("load_game path=" + core.rom.string() + " data=null size=0"));
    }
    {
        clear_core_journal(path);
        LoadedCore core(rom);
        EXPECT_EQ(core.frontend.pixel_format, 2u);
        EXPECT_THAT(core_journal(path), HasSubstr("load_game path=" + core.rom.string() +
                                                  " data=set size=" + std::to_string(rom.size())));
    }
    {
        // A zero-length ROM still arrives as (non-NULL) data of size 0.
        clear_core_journal(path);
        LoadedCore core("");
        EXPECT_THAT(core_journal(path), HasSubstr("data=set size=0"));
    }
}

TEST(CoreApi, RejectedGameNamesThePath) {
    auto api = load_fixture("test_core");
    test::TestFrontend frontend;
    frontend.attach(api);
    api.retro_init();
    test::TempDir dir;
    const auto rom = dir.write("bad.lktest", "reject=1\n");
    auto request = GameLoadRequest::from_path(rom, false);
    ASSERT_TRUE(request.has_value());
    auto status = api.load_game(*request);
    ASSERT_FALSE(status.has_value());
    EXPECT_EQ(status.error().message(), "core rejected ROM " + rom.string());
    api.retro_deinit();
}

TEST(CoreApi, SerializeFailures) {
    const auto path = fixture_core("test_core");
    {
        LoadedCore core("serialize_size=0\n");
        clear_core_journal(path);
        auto state = core.api.serialize();
        ASSERT_FALSE(state.has_value());
        EXPECT_EQ(state.error().message(), "core reported zero-byte serialize size");
        EXPECT_THAT(core_journal(path), Not(HasSubstr("serialize size=")));
    }
    {
        LoadedCore core("serialize=refuse\n");
        auto state = core.api.serialize();
        ASSERT_FALSE(state.has_value());
        EXPECT_EQ(state.error().message(), "core refused to serialize state");
    }
    {
        // The buffer is exactly the reported size, zeroed before the core writes.
        LoadedCore core("serialize_size=100\n");
        auto state = core.api.serialize();
        ASSERT_TRUE(state.has_value());
        ASSERT_EQ(state->size(), 100u);
        EXPECT_EQ((*state)[99], 0);
    }
}

TEST(CoreApi, CheatCodeWithNulIsRejectedWithoutCallingTheCore) {
    const auto path = fixture_core("test_core");
    LoadedCore core("");
    clear_core_journal(path);
    auto status = core.api.cheat_set(0, true, std::string_view("AB\0CD", 5));
    ASSERT_FALSE(status.has_value());
    EXPECT_EQ(status.error().message(), "cheat code contains interior NUL byte");
    EXPECT_EQ(core_journal(path), "");
}

TEST(CoreApi, MovedCoreKeepsWorkingAndClosesOnce) {
    const auto path = fixture_core("api_v2");
    {
        auto first = load_fixture("api_v2");
        CoreApi second = std::move(first);
        EXPECT_EQ(second.retro_api_version(), 2u);
        first = std::move(second);
        EXPECT_EQ(first.retro_api_version(), 2u);
        EXPECT_TRUE(test::library_is_loaded(path));
    }
    EXPECT_FALSE(test::library_is_loaded(path));
}

}  // namespace
}  // namespace lk
