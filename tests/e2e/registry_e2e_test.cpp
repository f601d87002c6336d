// Core selection by environment and core library lookup through the binary.

#include <filesystem>

#include <gtest/gtest.h>

#include "runner_process.hpp"

namespace lk::e2e {
namespace {

std::vector<std::string> ready_platforms(RunnerProcess& runner) {
    runner.send("initializeRunner", "init", {{"protocolVersion", 1}});
    auto events = runner.events_until_reply("init");
    return events.front()["payload"]["supportedPlatformIds"].get<std::vector<std::string>>();
}

Json load_payload(const std::string& core, const std::string& platform, const std::string& rom) {
    return {{"coreId", core},
            {"platformId", platform},
            {"gameId", "g"},
            {"title", "t"},
            {"source", {{"kind", "file"}, {"filePath", rom}}}};
}

TEST(RegistryE2e, OnlyExactTrueValuesSelectLibretroCores) {
    for (const auto& [value, libretro] : std::vector<std::pair<std::string, bool>>{{"1", true},
                                                                                   {"yes", true},
                                                                                   {"YES", true},
                                                                                   {"true", true},
                                                                                   {"TRUE", true},
                                                                                   {"True", false},
                                                                                   {"on", false},
                                                                                   {"", false},
                                                                                   {" 1", false}}) {
        SCOPED_TRACE(value);
        TempDir dir;
        write_file(dir.file("game.gba"), "rom");
        RunnerProcess runner({{"LUMENKITE_USE_LIBRETRO_CORES", value},
                              {"LUMENKITE_CORE_BUNDLE_DIR", dir.file("no-cores")}},
                             dir.path());
        // Stubs offer all sixteen platforms; so do libretro cores while EGL
        // works (hardware_render_e2e_test covers a machine without it).
        EXPECT_EQ(ready_platforms(runner).size(), 16u);
        // The stub plays anything; a libretro core needs its library.
        runner.send("loadRom", "l", load_payload("mgba", "gba", dir.file("game.gba")));
        const Json reply = runner.events_until_reply("l").back();
        EXPECT_EQ(reply["name"] == "commandFailed", libretro) << reply.dump();
    }
}

TEST(RegistryE2e, MissingCoreLibraryListsEveryCandidateInSearchOrder) {
    TempDir dir;
    write_file(dir.file("game.gba"), "rom");
    const std::string exe_dir = std::filesystem::path(runner_binary_path()).parent_path().string();
    RunnerProcess runner({{"LUMENKITE_USE_LIBRETRO_CORES", "1"},
                          {"LUMENKITE_CORE_BUNDLE_DIR", dir.file("a") + ":" + dir.file("b")}},
                         dir.path());
    runner.send("loadRom", "l", load_payload("mupen64plus-next", "n64", dir.file("game.gba")));
    auto events = runner.events_until_reply("l");
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1]["payload"]["message"],
              "Core binary not found for mupen64plus-next/n64: mupen64plus_next_libretro.so. "
              "Searched: " +
                  dir.file("a") + "/mupen64plus_next_libretro.so, " + dir.file("b") +
                  "/mupen64plus_next_libretro.so, " + exe_dir +
                  "/cores/mupen64plus_next_libretro.so, " + exe_dir +
                  "/../Resources/cores/mupen64plus_next_libretro.so, "
                  "cores/mupen64plus_next_libretro.so. Build/package cores or set "
                  "LUMENKITE_CORE_BUNDLE_DIR.");

    // A platform no core offers is simply unsupported.
    runner.send("loadRom", "w", load_payload("dolphin", "xbox", dir.file("game.gba")));
    EXPECT_EQ(runner.events_until_reply("w")[1]["payload"]["message"],
              "Core dolphin does not support platform xbox.");

    // The game file is checked before the core library is looked up.
    runner.send("loadRom", "m", load_payload("mgba", "gba", dir.file("nope.gba")));
    EXPECT_EQ(runner.events_until_reply("m")[1]["payload"]["message"],
              "No such file or directory (os error 2)");
}

TEST(RegistryE2e, CoreLibraryInTheWorkingDirectorysCoresFolderIsFound) {
    TempDir dir;
    write_file(dir.file("game.gba"), "rom");
    std::filesystem::create_directories(dir.file("cores"));
    write_file(dir.file("cores/mgba_libretro.so"), "not really a library");
    RunnerProcess runner({{"LUMENKITE_USE_LIBRETRO_CORES", "1"}}, dir.path());
    runner.send("loadRom", "l", load_payload("mgba", "gba", dir.file("game.gba")));
    const std::string message = runner.events_until_reply("l")[1]["payload"]["message"];
    // Found: the failure is no longer the lookup's.
    EXPECT_EQ(message.find("Core binary not found"), std::string::npos) << message;
}

}  // namespace
}  // namespace lk::e2e
