#include "cores/core_bundle_resolver.hpp"

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

namespace lk {
namespace {

namespace fs = std::filesystem;

TEST(CoreBundleResolver, FileNameReplacesEveryDash) {
    EXPECT_EQ(core_library_file_name("mupen64plus-next"), "mupen64plus_next_libretro.so");
    EXPECT_EQ(core_library_file_name("genesis-plus-gx"), "genesis_plus_gx_libretro.so");
    EXPECT_EQ(core_library_file_name("mgba"), "mgba_libretro.so");
}

TEST(CoreBundleResolver, FirstRegularFileWinsAndDirectoriesDoNotCount) {
    const fs::path root = fs::temp_directory_path() / ("lk-bundle-" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "first/mgba_libretro.so");  // a directory, not a file
    fs::create_directories(root / "second");
    fs::create_directories(root / "third");
    std::ofstream(root / "second/mgba_libretro.so") << "lib";
    std::ofstream(root / "third/mgba_libretro.so") << "lib";
    const FilesystemCoreBundleResolver resolver(
        {(root / "first").string(), (root / "second").string(), (root / "third").string()});
    auto found = resolver.resolve_core_binary("mgba", "gba");
    ASSERT_TRUE(found);
    EXPECT_EQ(*found, (root / "second/mgba_libretro.so").string());

    auto missing = resolver.resolve_core_binary("snes9x", "snes");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().kind(), ErrorKind::not_found);
    EXPECT_EQ(missing.error().display(),
              "Core binary not found for snes9x/snes: snes9x_libretro.so. Searched: " +
                  (root / "first/snes9x_libretro.so").string() + ", " +
                  (root / "second/snes9x_libretro.so").string() + ", " +
                  (root / "third/snes9x_libretro.so").string() +
                  ". Build/package cores or set LUMENKITE_CORE_BUNDLE_DIR.");
    fs::remove_all(root);
}

TEST(CoreBundleResolver, DefaultDirectoriesPutTheVariableFirstAndTheWorkingFolderLast) {
    ::setenv("LUMENKITE_CORE_BUNDLE_DIR", "/opt/a:/opt/b\xFF", 1);
    const auto directories = default_core_bundle_directories();
    ::unsetenv("LUMENKITE_CORE_BUNDLE_DIR");
    ASSERT_EQ(directories.size(), 5u);
    EXPECT_EQ(directories[0], "/opt/a");
    EXPECT_EQ(directories[1], "/opt/b\xFF");  // raw path bytes are kept
    const fs::path exe_dir = fs::read_symlink("/proc/self/exe").parent_path();
    EXPECT_EQ(directories[2], (exe_dir / "cores").string());
    EXPECT_EQ(directories[3], (exe_dir / "../Resources/cores").string());
    EXPECT_EQ(directories[4], "cores");
}

}  // namespace
}  // namespace lk
