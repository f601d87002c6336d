#include "common/sha256.hpp"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <memory>

namespace lk {

namespace {

struct DigestDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using DigestContext = std::unique_ptr<EVP_MD_CTX, DigestDeleter>;

std::string to_hex(const unsigned char* digest, unsigned length) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex(std::size_t{length} * 2, '0');
    for (unsigned i = 0; i < length; ++i) {
        hex[2 * i] = kDigits[digest[i] >> 4];
        hex[2 * i + 1] = kDigits[digest[i] & 0x0F];
    }
    return hex;
}

DigestContext start_digest() {
    DigestContext context(EVP_MD_CTX_new());
    if (context) {
        EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr);
    }
    return context;
}

std::string finish_digest(EVP_MD_CTX* context) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    EVP_DigestFinal_ex(context, digest, &length);
    return to_hex(digest, length);
}

}  // namespace

std::string sha256_hex(std::span<const std::uint8_t> bytes) {
    DigestContext context = start_digest();
    EVP_DigestUpdate(context.get(), bytes.data(), bytes.size());
    return finish_digest(context.get());
}

Result<std::string> sha256_file_hex(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return fail(Error::from_errno(errno));
    }
    DigestContext context = start_digest();
    std::array<std::uint8_t, 65536> chunk{};
    for (;;) {
        const ssize_t got = ::read(fd, chunk.data(), chunk.size());
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
        EVP_DigestUpdate(context.get(), chunk.data(), static_cast<std::size_t>(got));
    }
    ::close(fd);
    return finish_digest(context.get());
}

}  // namespace lk
