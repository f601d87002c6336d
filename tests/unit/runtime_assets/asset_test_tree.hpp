#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace lk::test {

namespace fs = std::filesystem;

// A fresh directory below the system's temporary directory, removed with
// everything in it at the end of the test.
class TempTree {
  public:
    TempTree() {
        ::umask(022);  // the permission bits the tests expect of new files
        std::string pattern = (fs::temp_directory_path() / "lk-assets-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            ADD_FAILURE() << "mkdtemp failed";
        }
        root_ = pattern;
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;
    ~TempTree() {
        std::error_code error;
        // Directories a test made unreadable must be opened up to be removed.
        for (auto it = fs::recursive_directory_iterator(root_, error);
             !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
            if (it->is_directory(error) && !it->is_symlink(error)) {
                fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
            }
        }
        fs::remove_all(root_, error);
    }

    [[nodiscard]] const fs::path& root() const { return root_; }
    [[nodiscard]] fs::path operator/(const fs::path& relative) const { return root_ / relative; }

    // Writes a file (and its missing parent directories).
    fs::path file(const fs::path& relative, const std::string& content = "data") const {
        const fs::path path = root_ / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    fs::path directory(const fs::path& relative) const {
        const fs::path path = root_ / relative;
        fs::create_directories(path);
        return path;
    }

  private:
    fs::path root_;
};

// Every entry below `directory` (links not followed): directories as "/",
// files as their content with their permission bits, links as "-> target".
inline std::map<std::string, std::string> snapshot(const fs::path& directory) {
    std::map<std::string, std::string> entries;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(directory, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        const std::string name = fs::relative(it->path(), directory).string();
        const fs::file_status status = it->symlink_status();
        if (fs::is_symlink(status)) {
            entries[name] = "-> " + fs::read_symlink(it->path()).string();
        } else if (fs::is_directory(status)) {
            entries[name] = "/";
        } else if (fs::is_regular_file(status)) {
            std::ifstream in(it->path(), std::ios::binary);
            std::ostringstream content;
            content << in.rdbuf();
            char mode[8];
            std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(status.permissions()));
            entries[name] = content.str() + " @" + mode;
        } else {
            entries[name] = "(other)";
        }
    }
    EXPECT_FALSE(error) << error.message();
    return entries;
}

// Sets or clears an environment variable for one scope.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        apply(value);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    ~ScopedEnv() { apply(old_); }

  private:
    void apply(const std::optional<std::string>& value) {
        if (value) {
            ::setenv(name_, value->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    const char* name_;
    std::optional<std::string> old_;
};

// Works in `directory` for one scope (candidates may be relative to it).
class ScopedWorkingDirectory {
  public:
    explicit ScopedWorkingDirectory(const fs::path& directory) : old_(fs::current_path()) {
        fs::current_path(directory);
    }
    ScopedWorkingDirectory(const ScopedWorkingDirectory&) = delete;
    ScopedWorkingDirectory& operator=(const ScopedWorkingDirectory&) = delete;
    ~ScopedWorkingDirectory() { fs::current_path(old_); }

  private:
    fs::path old_;
};

}  // namespace lk::test
