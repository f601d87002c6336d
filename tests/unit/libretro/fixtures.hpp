#pragma once

// Where the test inputs are, and access to our test core's call journal.

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace lk::test {

// One of our fixture cores, e.g. fixture_core("test_core").
inline std::filesystem::path fixture_core(std::string_view name) {
    return std::filesystem::path(LK_TEST_CORE_DIR) / ("lk_" + std::string(name) + "_libretro.so");
}

inline std::filesystem::path test_rom_path() {
    return LK_TEST_ROM_PATH;
}

// The real cores fetched by scripts/fetch-test-cores.sh; the environment
// variable LK_TEST_CORES_DIR overrides the build's default.
inline std::filesystem::path real_cores_dir() {
    const char* dir = std::getenv("LK_TEST_CORES_DIR");
    return dir != nullptr && dir[0] != '\0' ? std::filesystem::path(dir)
                                            : std::filesystem::path(LK_TEST_CORES_DIR);
}

// The journal of a loaded fixture core (every call it received, one per line).
// Empty when the library is not loaded.
inline std::string core_journal(const std::filesystem::path& library) {
    void* handle = ::dlopen(library.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr) {
        return {};
    }
    using JournalFn = const char* (*)();
    auto fn = reinterpret_cast<JournalFn>(::dlsym(handle, "lk_test_core_journal"));
    std::string text = fn != nullptr ? fn() : "";
    ::dlclose(handle);
    return text;
}

inline void clear_core_journal(const std::filesystem::path& library) {
    void* handle = ::dlopen(library.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr) {
        return;
    }
    using ClearFn = void (*)();
    if (auto fn = reinterpret_cast<ClearFn>(::dlsym(handle, "lk_test_core_journal_clear"))) {
        fn();
    }
    ::dlclose(handle);
}

inline bool library_is_loaded(const std::filesystem::path& library) {
    void* handle = ::dlopen(library.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr) {
        return false;
    }
    ::dlclose(handle);
    return true;
}

// Keeps a library loaded (and so its journal readable) for one scope.
class LibraryPin {
  public:
    explicit LibraryPin(const std::filesystem::path& library)
        : handle_(::dlopen(library.c_str(), RTLD_LAZY)) {}
    ~LibraryPin() {
        if (handle_ != nullptr) {
            ::dlclose(handle_);
        }
    }
    LibraryPin(const LibraryPin&) = delete;
    LibraryPin& operator=(const LibraryPin&) = delete;

  private:
    void* handle_;
};

// A file in a fresh temporary directory, removed with it.
class TempDir {
  public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "lk-libretro-XXXXXX");
        path_ = ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path write(const std::string& name, std::string_view contents) const {
        const auto file = path_ / name;
        std::ofstream(file, std::ios::binary) << contents;
        return file;
    }

  private:
    std::filesystem::path path_;
};

// Sets an environment variable for one scope.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
            had_ = true;
        }
        ::setenv(name, value, 1);
    }
    ~ScopedEnv() {
        if (had_) {
            ::setenv(name_, old_.c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

}  // namespace lk::test
