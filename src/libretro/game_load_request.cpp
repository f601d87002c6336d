#include "libretro/game_load_request.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <utility>

#include <fmt/format.h>

#include "common/utf8.hpp"

namespace lk {

namespace {

// Reads a whole file with plain system calls so that errors keep their errno.
Result<std::vector<std::uint8_t>> read_whole_file(const char* path) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return fail(Error::from_errno(errno));
    }
    std::vector<std::uint8_t> bytes;
    struct stat status {};
    if (::fstat(fd, &status) == 0 && status.st_size > 0) {
        bytes.reserve(static_cast<std::size_t>(status.st_size));
    }
    // Keep storage allocated even for an empty file: the core then gets a
    // non-NULL data pointer with size 0, which is not the full-path form.
    bytes.reserve(1);
    std::uint8_t chunk[64 * 1024];
    while (true) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int error_number = errno;
            ::close(fd);
            return fail(Error::from_errno(error_number));
        }
        if (got == 0) {
            break;
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    ::close(fd);
    return bytes;
}

}  // namespace

Result<GameLoadRequest> GameLoadRequest::from_path(const std::filesystem::path& rom_path,
                                                   bool need_fullpath) {
    const std::string& native = rom_path.native();
    if (!is_valid_utf8(native)) {
        return fail("ROM path must be valid UTF-8", ErrorKind::invalid_data);
    }
    if (native.find('\0') != std::string::npos) {
        return fail(fmt::format("ROM path contains interior NUL byte: {}", native),
                    ErrorKind::invalid_data);
    }

    GameLoadRequest request;
    request.path_ = rom_path;
    request.path_c_ = std::make_unique<char[]>(native.size() + 1);
    std::memcpy(request.path_c_.get(), native.c_str(), native.size() + 1);

    if (!need_fullpath) {
        auto bytes = read_whole_file(request.path_c_.get());
        if (!bytes) {
            return fail(
                Error(fmt::format("failed to read ROM bytes from {}", native), bytes.error().kind())
                    .with_cause(std::move(bytes.error())));
        }
        request.data_ = std::move(*bytes);
    }

    request.game_info_ = std::make_unique<retro::GameInfo>();
    request.game_info_->path = request.path_c_.get();
    request.game_info_->data = request.data_ ? request.data_->data() : nullptr;
    request.game_info_->size = request.data_ ? request.data_->size() : 0;
    request.game_info_->meta = nullptr;
    return request;
}

}  // namespace lk
