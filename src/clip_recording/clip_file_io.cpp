#include "clip_recording/clip_file_io.hpp"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <system_error>

namespace lk {

namespace {
struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;
}  // namespace

Status write_clip_file(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    std::FILE* raw = std::fopen(path.c_str(), "wb");
    if (raw == nullptr) {
        return fail(Error::from_errno(errno));
    }
    File file(raw);
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), raw) != bytes.size()) {
        return fail(Error::from_errno(errno));
    }
    if (std::fclose(file.release()) != 0) {
        return fail(Error::from_errno(errno));
    }
    return {};
}

Result<std::vector<std::uint8_t>> read_clip_file(const std::filesystem::path& path) {
    std::FILE* raw = std::fopen(path.c_str(), "rb");
    if (raw == nullptr) {
        return fail(Error::from_errno(errno));
    }
    File file(raw);
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[65536];
    for (;;) {
        const std::size_t n = std::fread(chunk, 1, sizeof chunk, raw);
        bytes.insert(bytes.end(), chunk, chunk + n);
        if (n < sizeof chunk) {
            if (std::ferror(raw) != 0) {
                return fail(Error::from_errno(errno));
            }
            return bytes;
        }
    }
}

Status create_clip_directories(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (error) {
        return fail(Error::from_error_code(error));
    }
    return {};
}

void remove_clip_tree(const std::filesystem::path& path) noexcept {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

}  // namespace lk
