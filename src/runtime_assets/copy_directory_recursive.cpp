#include "runtime_assets/copy_directory_recursive.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "common/utf8.hpp"

namespace lk {

namespace fs = std::filesystem;

namespace {

// Identifies a directory independently of the path that reached it.
using DirectoryId = std::pair<dev_t, ino_t>;

Result<DirectoryId> directory_id(const fs::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return fail(Error::from_errno(errno));
    }
    return DirectoryId{info.st_dev, info.st_ino};
}

class TreeCopy {
  public:
    explicit TreeCopy(DirectoryId target_root) : target_root_(target_root) {}

    Status copy(const fs::path& source, const fs::path& target) {
        auto id = directory_id(source);
        if (!id) {
            return fail(std::move(id.error()));
        }
        if (*id == target_root_ ||
            std::find(ancestors_.begin(), ancestors_.end(), *id) != ancestors_.end()) {
            return fail(fmt::format("Directory loop while copying system assets: {}.",
                                    utf8_lossy(source.native())),
                        ErrorKind::invalid_data);
        }
        ancestors_.push_back(*id);
        Status result = copy_entries(source, target);
        ancestors_.pop_back();
        return result;
    }

  private:
    Status copy_entries(const fs::path& source, const fs::path& target) {
        std::error_code error;
        fs::create_directories(target, error);
        if (error) {
            return fail(Error::from_error_code(error));
        }
        fs::directory_iterator entries(source, error);
        if (error) {
            return fail(Error::from_error_code(error));
        }
        for (const fs::directory_iterator end; entries != end; entries.increment(error)) {
            const fs::path& path = entries->path();
            const fs::path destination = target / path.filename();
            const fs::file_status status = fs::status(path, error);  // links followed
            if (fs::is_directory(status)) {
                if (Status copied = copy(path, destination); !copied) {
                    return copied;
                }
            } else if (fs::is_regular_file(status)) {
                fs::copy_file(path, destination, fs::copy_options::overwrite_existing, error);
                if (error) {
                    return fail(Error::from_error_code(error));
                }
            }
            error.clear();  // a status that cannot be read is skipped like a dangling link
        }
        if (error) {
            return fail(Error::from_error_code(error));
        }
        return {};
    }

    DirectoryId target_root_;
    std::vector<DirectoryId> ancestors_;  // the source directories being copied, outermost first
};

}  // namespace

Status copy_directory_recursive(const fs::path& source, const fs::path& target) {
    std::error_code error;
    fs::create_directories(target, error);
    if (error) {
        return fail(Error::from_error_code(error));
    }
    auto target_id = directory_id(target);
    if (!target_id) {
        return fail(std::move(target_id.error()));
    }
    return TreeCopy(*target_id).copy(source, target);
}

}  // namespace lk
