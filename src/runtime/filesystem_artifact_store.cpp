#include "runtime/filesystem_artifact_store.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>

#include <fmt/format.h>

namespace lk {

namespace {

namespace fs = std::filesystem;

// Closes the descriptor and, unless released, removes the temporary file.
class TemporaryFile {
  public:
    TemporaryFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        close_fd();
        if (!released_) {
            ::unlink(path_.c_str());
        }
    }
    [[nodiscard]] int fd() const { return fd_; }
    [[nodiscard]] const std::string& path() const { return path_; }
    Status close_fd() {
        if (fd_ >= 0 && ::close(std::exchange(fd_, -1)) != 0) {
            return fail(Error::from_errno(errno));
        }
        return {};
    }
    void release() { released_ = true; }

  private:
    int fd_;
    std::string path_;
    bool released_ = false;
};

Status write_all(int fd, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fail(Error::from_errno(errno));
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return {};
}

std::string temporary_path_for(const fs::path& target) {
    static std::atomic<std::uint64_t> counter{0};
    const fs::path name = fmt::format(".{}.tmp-{}-{}", target.filename().string(), ::getpid(),
                                      counter.fetch_add(1, std::memory_order_relaxed));
    return (target.parent_path() / name).string();
}

// Makes the rename itself durable; a failure here does not undo the write.
void sync_directory(const fs::path& directory) {
    const int fd =
        ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

Status write_file_atomically(const std::string& path, std::span<const std::uint8_t> bytes) {
    const fs::path target(path);
    const fs::path parent = target.parent_path();
    if (!parent.empty()) {
        std::error_code error;
        fs::create_directories(parent, error);
        if (error) {
            return fail(Error::from_error_code(error));
        }
    }
    std::string temporary_path = temporary_path_for(target);
    const int fd = ::open(temporary_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        return fail(Error::from_errno(errno));
    }
    TemporaryFile temporary(fd, std::move(temporary_path));
    if (auto written = write_all(temporary.fd(), bytes); !written) {
        return written;
    }
    if (::fsync(temporary.fd()) != 0) {
        return fail(Error::from_errno(errno));
    }
    if (auto closed = temporary.close_fd(); !closed) {
        return closed;
    }
    if (::rename(temporary.path().c_str(), path.c_str()) != 0) {
        return fail(Error::from_errno(errno));
    }
    temporary.release();
    sync_directory(parent);
    return {};
}

Result<std::vector<std::uint8_t>> FilesystemArtifactStore::read_save_state(
    const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return fail(Error::from_errno(errno));
    }
    std::vector<std::uint8_t> bytes;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && info.st_size > 0) {
        bytes.reserve(static_cast<std::size_t>(info.st_size));
    }
    std::uint8_t buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int saved = errno;
            ::close(fd);
            return fail(Error::from_errno(saved));
        }
        if (got == 0) {
            break;
        }
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    ::close(fd);
    return bytes;
}

Status FilesystemArtifactStore::write_save_state(const std::string& path,
                                                 std::span<const std::uint8_t> bytes) {
    return write_file_atomically(path, bytes);
}

Status FilesystemArtifactStore::write_image(const std::string& path,
                                            std::span<const std::uint8_t> bytes) {
    return write_file_atomically(path, bytes);
}

}  // namespace lk
