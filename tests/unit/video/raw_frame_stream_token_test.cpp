#include "video/raw_frame_stream_token.hpp"

#include <openssl/evp.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace lk {
namespace {

using std::chrono::nanoseconds;
using std::chrono::system_clock;

std::string digest_hex(const std::vector<std::uint8_t>& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    EXPECT_EQ(EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr), 1);
    EXPECT_EQ(length, 32u);
    std::string hex;
    for (unsigned i = 0; i < length; ++i) {
        const unsigned char byte = digest[i];
        static constexpr char kDigits[] = "0123456789abcdef";
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 15];
    }
    return hex;
}

TEST(RawFrameStreamToken, IsTheDigestOfSessionPidAndSixteenByteTime) {
    const system_clock::time_point at{nanoseconds(0x0102030405060708)};
    std::vector<std::uint8_t> expected{'s', '-', '1'};
    expected.insert(expected.end(), {0xAB, 0xCD, 0x12, 0x34});  // pid, big-endian
    expected.insert(expected.end(), 8, 0);                      // high half of 128 bits
    expected.insert(expected.end(), {1, 2, 3, 4, 5, 6, 7, 8});  // nanoseconds
    const std::string token = raw_frame_stream_token("s-1", 0xABCD1234u, at);
    EXPECT_EQ(token, digest_hex(expected));
    EXPECT_EQ(token.size(), 64u);
    EXPECT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos);
}

TEST(RawFrameStreamToken, TimeBeforeTheEpochCountsAsZero) {
    const system_clock::time_point before{nanoseconds(-5)};
    std::vector<std::uint8_t> expected{'x', 0, 0, 0, 7};
    expected.insert(expected.end(), 16, 0);
    EXPECT_EQ(raw_frame_stream_token("x", 7, before), digest_hex(expected));
}

TEST(RawFrameStreamToken, EachInputChangesTheToken) {
    const system_clock::time_point at{nanoseconds(1'700'000'000'000'000'000)};
    const std::string base = raw_frame_stream_token("a", 1, at);
    EXPECT_NE(raw_frame_stream_token("b", 1, at), base);
    EXPECT_NE(raw_frame_stream_token("a", 2, at), base);
    EXPECT_NE(raw_frame_stream_token("a", 1, at + nanoseconds(1)), base);
    EXPECT_NE(new_raw_frame_stream_token("a"), new_raw_frame_stream_token("b"));
}

}  // namespace
}  // namespace lk
