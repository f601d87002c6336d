#include "runtime_assets/system_asset_installer.hpp"

#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "asset_test_tree.hpp"
#include "runtime_assets/dolphin_system_asset_installer.hpp"
#include "runtime_assets/pcsx2_system_asset_installer.hpp"
#include "runtime_assets/ppsspp_system_asset_installer.hpp"

namespace lk {
namespace {

using test::ScopedEnv;
using test::ScopedWorkingDirectory;
using test::snapshot;
using test::TempTree;
namespace fs = std::filesystem;
using Paths = std::vector<fs::path>;

constexpr const char* kDolphinVariable = "LUMENKITE_DOLPHIN_SYS_DIR";
constexpr const char* kPcsx2Variable = "LUMENKITE_PCSX2_ASSET_DIR";
constexpr const char* kPpssppVariable = "LUMENKITE_PPSSPP_ASSET_DIR";

TEST(SystemAssetInstaller, CandidatesFollowTheSearchOrder) {
    const fs::path exe = "/opt/lk/bin/lumenkite-runner";
    struct Case {
        const char* name;
        std::function<Paths(const std::optional<fs::path>&)> candidates;
        const char* variable;
        std::optional<std::string> value;
        std::optional<fs::path> executable;
        Paths expected;
    };
    const auto dolphin = [](const std::optional<fs::path>& e) {
        return DolphinSystemAssetInstaller::desktop_defaults(e).source_candidates();
    };
    const auto pcsx2 = [](const std::optional<fs::path>& e) {
        return Pcsx2SystemAssetInstaller::desktop_defaults(e).source_candidates();
    };
    const auto ppsspp = [](const std::optional<fs::path>& e) {
        return PpssppSystemAssetInstaller::desktop_defaults(e).source_candidates();
    };
    const Case cases[] = {
        {"dolphin, variable and executable",
         dolphin,
         kDolphinVariable,
         "/staged/Sys",
         exe,
         {"/staged/Sys", "/opt/lk/bin/dolphin-system/dolphin-emu/Sys",
          "/opt/lk/bin/../dolphin-system/dolphin-emu/Sys",
          "apps/desktop/build/resources/dolphin-system/dolphin-emu/Sys",
          "native/runner/dolphin-system/dolphin-emu/Sys", ".core-build/source/dolphin/Data/Sys"}},
        {"dolphin, nothing known",
         dolphin,
         kDolphinVariable,
         std::nullopt,
         std::nullopt,
         {"apps/desktop/build/resources/dolphin-system/dolphin-emu/Sys",
          "native/runner/dolphin-system/dolphin-emu/Sys", ".core-build/source/dolphin/Data/Sys"}},
        {"dolphin, empty variable names the working directory",
         dolphin,
         kDolphinVariable,
         "",
         std::nullopt,
         {"", "apps/desktop/build/resources/dolphin-system/dolphin-emu/Sys",
          "native/runner/dolphin-system/dolphin-emu/Sys", ".core-build/source/dolphin/Data/Sys"}},
        {"dolphin, relative executable path",
         dolphin,
         kDolphinVariable,
         "rel/../x",
         fs::path("build/lumenkite-runner"),
         {"rel/../x", "build/dolphin-system/dolphin-emu/Sys",
          "build/../dolphin-system/dolphin-emu/Sys",
          "apps/desktop/build/resources/dolphin-system/dolphin-emu/Sys",
          "native/runner/dolphin-system/dolphin-emu/Sys", ".core-build/source/dolphin/Data/Sys"}},
        {"dolphin, executable without a directory",
         dolphin,
         kDolphinVariable,
         std::nullopt,
         fs::path("lumenkite-runner"),
         {"apps/desktop/build/resources/dolphin-system/dolphin-emu/Sys",
          "native/runner/dolphin-system/dolphin-emu/Sys", ".core-build/source/dolphin/Data/Sys"}},
        {"pcsx2",
         pcsx2,
         kPcsx2Variable,
         "/p",
         exe,
         {"/p", "/opt/lk/bin/pcsx2-system/pcsx2", "/opt/lk/bin/../pcsx2-system/pcsx2",
          "apps/desktop/build/resources/pcsx2-system/pcsx2", "native/runner/pcsx2-system/pcsx2",
          ".core-build/system/pcsx2/pcsx2"}},
        {"ppsspp",
         ppsspp,
         kPpssppVariable,
         "/q",
         exe,
         {"/q", "/opt/lk/bin/ppsspp-system/PPSSPP", "/opt/lk/bin/../ppsspp-system/PPSSPP",
          "apps/desktop/build/resources/ppsspp-system/PPSSPP", "native/runner/ppsspp-system/PPSSPP",
          ".core-build/source/ppsspp/assets"}},
        {"ppsspp ignores the other variables",
         ppsspp,
         kDolphinVariable,
         "/d",
         std::nullopt,
         {"apps/desktop/build/resources/ppsspp-system/PPSSPP", "native/runner/ppsspp-system/PPSSPP",
          ".core-build/source/ppsspp/assets"}},
    };
    const ScopedEnv no_dolphin(kDolphinVariable, std::nullopt);
    const ScopedEnv no_pcsx2(kPcsx2Variable, std::nullopt);
    const ScopedEnv no_ppsspp(kPpssppVariable, std::nullopt);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ScopedEnv variable(c.variable, c.value);
        EXPECT_EQ(c.candidates(c.executable), c.expected);
    }
    // With no argument the running executable's own directory is used.
    const Paths own = DolphinSystemAssetInstaller::desktop_defaults().source_candidates();
    ASSERT_EQ(own.size(), 5u);
    EXPECT_EQ(own[0], current_executable_path()->parent_path() / "dolphin-system/dolphin-emu/Sys");
}

TEST(SystemAssetInstaller, MissingAssetsNameEveryCandidateAndTouchNothing) {
    TempTree tree;
    const ScopedWorkingDirectory cwd(tree.root());
    const ScopedEnv no_dolphin(kDolphinVariable, std::nullopt);
    const ScopedEnv pcsx2_dir(kPcsx2Variable, "/no/such/\xFF/dir");
    const ScopedEnv no_ppsspp(kPpssppVariable, std::nullopt);
    const fs::path system = tree.directory("system");

    const Status dolphin = DolphinSystemAssetInstaller::desktop_defaults(fs::path("/x/bin/runner"))
                               .ensure_installed(system);
    ASSERT_FALSE(dolphin);
    EXPECT_EQ(dolphin.error().kind(), ErrorKind::not_found);
    EXPECT_EQ(dolphin.error().message(),
              "Dolphin Sys assets were not found. Stage dolphin-system/dolphin-emu/Sys before "
              "launching GameCube/Wii games, or set LUMENKITE_DOLPHIN_SYS_DIR. Searched: "
              "/x/bin/dolphin-system/dolphin-emu/Sys, /x/bin/../dolphin-system/dolphin-emu/Sys, "
              "apps/desktop/build/resources/dolphin-system/dolphin-emu/Sys, "
              "native/runner/dolphin-system/dolphin-emu/Sys, "
              ".core-build/source/dolphin/Data/Sys.");

    const Status pcsx2 =
        Pcsx2SystemAssetInstaller::desktop_defaults(std::nullopt).ensure_installed(system);
    ASSERT_FALSE(pcsx2);
    EXPECT_EQ(pcsx2.error().kind(), ErrorKind::not_found);
    EXPECT_EQ(pcsx2.error().message(),
              "PCSX2/LRPS2 assets were not found. Run download-libretro-system-assets.sh or "
              "package pcsx2-system/pcsx2 before launching PS2 games, or set "
              "LUMENKITE_PCSX2_ASSET_DIR. Searched: /no/such/\xEF\xBF\xBD/dir, "
              "apps/desktop/build/resources/pcsx2-system/pcsx2, native/runner/pcsx2-system/pcsx2, "
              ".core-build/system/pcsx2/pcsx2.");

    const Status ppsspp =
        PpssppSystemAssetInstaller::desktop_defaults(std::nullopt).ensure_installed(system);
    ASSERT_FALSE(ppsspp);
    EXPECT_EQ(ppsspp.error().kind(), ErrorKind::not_found);
    EXPECT_EQ(ppsspp.error().message(),
              "PPSSPP assets were not found. Build or package ppsspp-system/PPSSPP before "
              "launching PSP games, or set LUMENKITE_PPSSPP_ASSET_DIR. Searched: "
              "apps/desktop/build/resources/ppsspp-system/PPSSPP, "
              "native/runner/ppsspp-system/PPSSPP, .core-build/source/ppsspp/assets.");

    EXPECT_TRUE(snapshot(system).empty()) << "not even pcsx2/bios is created";
}

// Which directory of a staged tree is taken as the source.
TEST(SystemAssetInstaller, FindsTheSourceByItsMarker) {
    struct Case {
        const char* name;
        std::function<std::optional<fs::path>(const Paths&)> find;
        std::vector<std::string> staged_files;  // a trailing "/" makes a directory
        Paths candidates;
        std::optional<fs::path> expected;
    };
    const auto dolphin = [](const Paths& c) {
        return DolphinSystemAssetInstaller(c).find_source();
    };
    const auto pcsx2 = [](const Paths& c) { return Pcsx2SystemAssetInstaller(c).find_source(); };
    const auto ppsspp = [](const Paths& c) { return PpssppSystemAssetInstaller(c).find_source(); };
    const Case cases[] = {
        {"dolphin: the candidate itself",
         dolphin,
         {"c/GameSettings/", "c/Sys/GameSettings/"},
         {"c"},
         "c"},
        {"dolphin: its Sys", dolphin, {"c/Sys/GameSettings/"}, {"c"}, "c/Sys"},
        {"dolphin: its dolphin-emu/Sys",
         dolphin,
         {"c/dolphin-emu/Sys/GameSettings/"},
         {"c"},
         "c/dolphin-emu/Sys"},
        {"dolphin: a GameSettings file is no marker",
         dolphin,
         {"c/GameSettings", "c/dolphin-emu/Sys/GameSettings/"},
         {"c"},
         "c/dolphin-emu/Sys"},
        {"dolphin: the first candidate wins",
         dolphin,
         {"a/Sys/GameSettings/", "b/GameSettings/"},
         {"missing", "b", "a"},
         "b"},
        {"dolphin: nothing",
         dolphin,
         {"c/Sys/Other/", "c/dolphin-emu/GameSettings/"},
         {"c"},
         std::nullopt},
        {"pcsx2: the candidate itself", pcsx2, {"c/resources/GameIndex.yaml"}, {"c"}, "c"},
        {"pcsx2: its pcsx2", pcsx2, {"c/pcsx2/resources/GameIndex.yaml"}, {"c"}, "c/pcsx2"},
        {"pcsx2: a GameIndex.yaml directory is no marker",
         pcsx2,
         {"c/resources/GameIndex.yaml/"},
         {"c"},
         std::nullopt},
        {"ppsspp: the candidate itself", ppsspp, {"c/flash0/font/ltn0.pgf"}, {"c"}, "c"},
        {"ppsspp: its PPSSPP", ppsspp, {"c/PPSSPP/flash0/font/ltn0.pgf"}, {"c"}, "c/PPSSPP"},
        {"ppsspp: no Sys probe", ppsspp, {"c/Sys/flash0/font/ltn0.pgf"}, {"c"}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempTree tree;
        for (const std::string& staged : c.staged_files) {
            if (staged.ends_with('/')) {
                tree.directory(staged);
            } else {
                tree.file(staged);
            }
        }
        Paths candidates;
        for (const fs::path& candidate : c.candidates) {
            candidates.push_back(tree / candidate);
        }
        const std::optional<fs::path> found = c.find(candidates);
        EXPECT_EQ(found, c.expected ? std::optional(tree / *c.expected) : std::nullopt);
    }
}

TEST(SystemAssetInstaller, EnvironmentIsReadAtEveryLoadAndMayNameTheWorkingDirectory) {
    TempTree tree;
    tree.file("one/PPSSPP/flash0/font/ltn0.pgf", "one");
    tree.file("two/flash0/font/ltn0.pgf", "two");
    tree.file("cwd/Sys/GameSettings/g.ini", "cwd");
    const fs::path system = tree.directory("system");

    {
        const ScopedEnv variable(kPpssppVariable, (tree / "one").string());
        const auto installer = PpssppSystemAssetInstaller::desktop_defaults(std::nullopt);
        EXPECT_EQ(installer.find_source(), tree / "one/PPSSPP");
        ASSERT_TRUE(installer.ensure_installed(system));
        EXPECT_EQ(
            snapshot(system / "PPSSPP"),
            (std::map<std::string, std::string>{
                {"flash0", "/"}, {"flash0/font", "/"}, {"flash0/font/ltn0.pgf", "one @0644"}}));
    }
    {
        const ScopedEnv variable(kPpssppVariable, (tree / "two").string());
        EXPECT_EQ(PpssppSystemAssetInstaller::desktop_defaults(std::nullopt).find_source(),
                  tree / "two");
    }
    {
        const ScopedWorkingDirectory cwd(tree / "cwd");
        const ScopedEnv variable(kDolphinVariable, "");
        const auto installer = DolphinSystemAssetInstaller::desktop_defaults(std::nullopt);
        EXPECT_EQ(installer.find_source(), fs::path("Sys"));
        ASSERT_TRUE(installer.ensure_installed(system));
        EXPECT_EQ(snapshot(system / "dolphin-emu/Sys"),
                  (std::map<std::string, std::string>{{"GameSettings", "/"},
                                                      {"GameSettings/g.ini", "cwd @0644"}}));
    }
}

TEST(SystemAssetInstaller, InstallsOnceAndReplacesTreesWithoutTheirMarker) {
    TempTree tree;
    tree.file("staged/Sys/GameSettings/GZLE01.ini", "zelda");
    tree.file("staged/Sys/Resources/font.bin", "font");
    const fs::path system = tree.directory("system");
    const fs::path installed = system / "dolphin-emu/Sys";
    const DolphinSystemAssetInstaller installer({tree / "staged"});
    const auto staged = [&] { return snapshot(tree / "staged/Sys"); };

    // Fresh install: the whole tree.
    ASSERT_TRUE(installer.ensure_installed(system));
    EXPECT_EQ(snapshot(installed), staged());

    // Installed: left alone, whatever the staged copy or the tree holds.
    tree.file("staged/Sys/Resources/new.bin", "new");
    tree.file("system/dolphin-emu/Sys/user.ini", "user");
    ASSERT_TRUE(installer.ensure_installed(system));
    EXPECT_FALSE(fs::exists(installed / "Resources/new.bin"));
    EXPECT_TRUE(fs::exists(installed / "user.ini"));

    // The marker gone: the tree is removed whole and copied again.
    fs::remove_all(installed / "GameSettings");
    ASSERT_TRUE(installer.ensure_installed(system));
    EXPECT_EQ(snapshot(installed), staged());

    // A marker of the wrong kind counts as missing.
    fs::remove_all(installed / "GameSettings");
    tree.file("system/dolphin-emu/Sys/GameSettings", "not a directory");
    ASSERT_TRUE(installer.ensure_installed(system));
    EXPECT_EQ(snapshot(installed), staged());

    // Whatever stands at the tree's path goes, a file or a dangling link.
    for (const bool link : {false, true}) {
        fs::remove_all(installed);
        if (link) {
            fs::create_symlink(tree / "nowhere", installed);
        } else {
            tree.file("system/dolphin-emu/Sys", "a file");
        }
        ASSERT_TRUE(installer.ensure_installed(system));
        EXPECT_EQ(snapshot(installed), staged());
    }
}

TEST(SystemAssetInstaller, Pcsx2CopiesOnlyResourcesAndAlwaysMakesBios) {
    TempTree tree;
    tree.file("staged/pcsx2/resources/GameIndex.yaml", "games");
    tree.file("staged/pcsx2/resources/shaders/fx.glsl", "fx");
    tree.file("staged/pcsx2/bios/scph.bin", "bios");
    tree.file("staged/pcsx2/readme.txt", "readme");
    const fs::path system = tree.directory("system");
    tree.file("system/pcsx2/resources/stale.txt", "stale");  // no marker: replaced
    const Pcsx2SystemAssetInstaller installer({tree / "staged"});

    ASSERT_TRUE(installer.ensure_installed(system));
    EXPECT_EQ(snapshot(system / "pcsx2"),
              (std::map<std::string, std::string>{{"bios", "/"},
                                                  {"resources", "/"},
                                                  {"resources/GameIndex.yaml", "games @0644"},
                                                  {"resources/shaders", "/"},
                                                  {"resources/shaders/fx.glsl", "fx @0644"}}));

    // Installed: bios is made again on every load and keeps what it holds.
    fs::remove(system / "pcsx2/bios");
    ASSERT_TRUE(installer.ensure_installed(system));
    EXPECT_TRUE(fs::is_directory(system / "pcsx2/bios"));
    tree.file("system/pcsx2/bios/user.bin", "mine");
    tree.file("staged/pcsx2/resources/later.txt", "later");
    ASSERT_TRUE(installer.ensure_installed(system));
    EXPECT_TRUE(fs::exists(system / "pcsx2/bios/user.bin"));
    EXPECT_FALSE(fs::exists(system / "pcsx2/resources/later.txt"));
}

TEST(SystemAssetInstaller, ErrorsOfTheSystemAreReturned) {
    TempTree tree;
    tree.file("staged/GameSettings/a.ini");
    tree.file("staged/resources/GameIndex.yaml");
    tree.file("system-is-a-file", "x");

    const Status dolphin =
        DolphinSystemAssetInstaller({tree / "staged"}).ensure_installed(tree / "system-is-a-file");
    ASSERT_FALSE(dolphin);
    EXPECT_EQ(dolphin.error().message(), "Not a directory (os error 20)");

    const Status pcsx2 =
        Pcsx2SystemAssetInstaller({tree / "staged"}).ensure_installed(tree / "system-is-a-file");
    ASSERT_FALSE(pcsx2);
    EXPECT_EQ(pcsx2.error().message(), "Not a directory (os error 20)");
}

// In a child process as an unprivileged user (root reads everything): the
// first load fails on the unreadable file; the marker directory was already
// copied, so the second load takes the tree as installed (no roll-back).
void install_twice_as_unprivileged_user(const fs::path& staged, const fs::path& system) {
    if (::geteuid() == 0 && ::setuid(65534) != 0) {
        std::_Exit(4);
    }
    const DolphinSystemAssetInstaller installer({staged});
    const Status first = installer.ensure_installed(system);
    const Status second = installer.ensure_installed(system);
    std::fprintf(stderr, "first: %s; second: %s\n", first ? "ok" : first.error().message().c_str(),
                 second ? "ok" : second.error().message().c_str());
    std::_Exit(fs::is_directory(system / "dolphin-emu/Sys/GameSettings") ? 3 : 5);
}

TEST(SystemAssetInstaller, UnreadableSourceFailsTheLoadWithoutRollBack) {
    TempTree tree;
    fs::permissions(tree.root(), fs::perms(0755));
    fs::permissions(tree.file("staged/GameSettings/secret.ini"), fs::perms::none);
    fs::permissions(tree.directory("system"), fs::perms(0777));
    EXPECT_EXIT(install_twice_as_unprivileged_user(tree / "staged", tree / "system"),
                ::testing::ExitedWithCode(3),
                "first: Permission denied \\(os error 13\\); second: ok");
}

}  // namespace
}  // namespace lk
