#include "common/base64.hpp"

#include <openssl/evp.h>

#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace lk {
namespace {

std::string base64_of(std::string_view text, std::string prefix = {}) {
    append_base64(prefix,
                  std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    return prefix;
}

TEST(Base64, EncodesTheStandardTestVectors) {
    EXPECT_EQ(base64_of(""), "");
    EXPECT_EQ(base64_of("f"), "Zg==");
    EXPECT_EQ(base64_of("fo"), "Zm8=");
    EXPECT_EQ(base64_of("foo"), "Zm9v");
    EXPECT_EQ(base64_of("foob"), "Zm9vYg==");
    EXPECT_EQ(base64_of("fooba"), "Zm9vYmE=");
    EXPECT_EQ(base64_of("foobar"), "Zm9vYmFy");
    EXPECT_EQ(base64_of("\xFB\xFF\xBF"), "+/+/");
}

TEST(Base64, AppendsAfterExistingText) {
    EXPECT_EQ(base64_of("foobar", "data:image/png;base64,"), "data:image/png;base64,Zm9vYmFy");
}

// Every length mod 6 and every byte value, checked against OpenSSL's encoder.
TEST(Base64, MatchesOpenSslForRandomInputs) {
    std::mt19937 random(7);
    for (std::size_t length : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 11u, 12u, 13u, 255u, 1000u, 1u << 20}) {
        std::vector<std::uint8_t> bytes(length);
        for (auto& b : bytes) {
            b = static_cast<std::uint8_t>(random());
        }
        std::string expected(base64_encoded_size(length) + 1, '\0');
        const int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(expected.data()),
                                            bytes.data(), static_cast<int>(length));
        expected.resize(static_cast<std::size_t>(written));
        std::string actual;
        append_base64(actual, bytes);
        ASSERT_EQ(actual, expected) << "length " << length;
    }
}

}  // namespace
}  // namespace lk
