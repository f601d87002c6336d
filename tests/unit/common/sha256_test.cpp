#include "common/sha256.hpp"

#include <unistd.h>

#include <fstream>
#include <string>

#include <gtest/gtest.h>

namespace lk {
namespace {

std::span<const std::uint8_t> bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(Sha256, KnownDigestsOfBytesAndFiles) {
    EXPECT_EQ(sha256_hex(bytes("")),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256_hex(bytes("abc")),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // A file longer than one 64 KiB chunk hashes like the same bytes in memory.
    const std::string path = "/tmp/lk-sha-" + std::to_string(::getpid());
    const std::string content(200'000, 'x');
    std::ofstream(path, std::ios::binary) << content;
    EXPECT_EQ(sha256_file_hex(path), sha256_hex(bytes(content)));
    ::unlink(path.c_str());
    auto missing = sha256_file_hex(path);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().display(), "No such file or directory (os error 2)");
}

}  // namespace
}  // namespace lk
