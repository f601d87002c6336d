#pragma once

// A temporary core bundle directory holding our fixture cores under the file
// names of table cores, and the text "ROMs" that configure them. Needs the
// definitions of the lk_test_fixtures target.

#include <cstdlib>
#include <filesystem>
#include <string>

#include "runner_process.hpp"

namespace lk::e2e {

// The directory of the real Debian cores: LK_TEST_CORES_DIR from the
// environment, else the build's default.
inline std::string real_cores_dir() {
    const char* configured = std::getenv("LK_TEST_CORES_DIR");
    return configured != nullptr ? configured : LK_TEST_CORES_DIR;
}

class FixtureCoreBundle {
  public:
    // Copies fixture core `fixture` in as the library of `as_core` (a core id
    // with "_" for "-"); returns the bundle directory.
    std::string install(const std::string& fixture, const std::string& as_core) {
        std::filesystem::copy_file(std::filesystem::path(LK_TEST_CORE_DIR) / fixture,
                                   std::filesystem::path(dir.path()) / (as_core + "_libretro.so"),
                                   std::filesystem::copy_options::overwrite_existing);
        return dir.path();
    }
    // Writes a game file with `content`; returns its path.
    std::string rom(const std::string& name, const std::string& content) {
        write_file(dir.file(name), content);
        return dir.file(name);
    }
    TempDir dir;
};

}  // namespace lk::e2e
