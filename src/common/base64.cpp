#include "common/base64.hpp"

#include <array>
#include <cstring>

namespace lk {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Two output characters for every 12-bit input group, so three input bytes
// cost two table loads instead of four.
struct PairTable {
    std::array<std::array<char, 2>, 4096> pairs{};
    constexpr PairTable() {
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            pairs[i][0] = kAlphabet[i >> 6];
            pairs[i][1] = kAlphabet[i & 63];
        }
    }
};

constexpr PairTable kPairs;

inline void put_pair(char* out, std::uint32_t index) {
    std::memcpy(out, kPairs.pairs[index].data(), 2);
}

}  // namespace

void append_base64(std::string& out, std::span<const std::uint8_t> bytes) {
    const std::size_t old_size = out.size();
    const std::size_t added = base64_encoded_size(bytes.size());
    const std::size_t new_size = old_size + added;
    // The callback returns `new_size` itself rather than its second argument:
    // libstdc++ 12 passes the grown capacity there.
    out.resize_and_overwrite(new_size, [&](char* buffer, std::size_t) {
        char* dst = buffer + old_size;
        const std::uint8_t* src = bytes.data();
        std::size_t remaining = bytes.size();
        // Six input bytes per step: two independent 24-bit groups.
        while (remaining >= 6) {
            const std::uint32_t a = (std::uint32_t{src[0]} << 16) | (std::uint32_t{src[1]} << 8) |
                                    std::uint32_t{src[2]};
            const std::uint32_t b = (std::uint32_t{src[3]} << 16) | (std::uint32_t{src[4]} << 8) |
                                    std::uint32_t{src[5]};
            put_pair(dst, a >> 12);
            put_pair(dst + 2, a & 0xFFF);
            put_pair(dst + 4, b >> 12);
            put_pair(dst + 6, b & 0xFFF);
            src += 6;
            dst += 8;
            remaining -= 6;
        }
        if (remaining >= 3) {
            const std::uint32_t a = (std::uint32_t{src[0]} << 16) | (std::uint32_t{src[1]} << 8) |
                                    std::uint32_t{src[2]};
            put_pair(dst, a >> 12);
            put_pair(dst + 2, a & 0xFFF);
            src += 3;
            dst += 4;
            remaining -= 3;
        }
        if (remaining == 1) {
            const std::uint32_t a = std::uint32_t{src[0]} << 16;
            put_pair(dst, a >> 12);
            dst[2] = '=';
            dst[3] = '=';
        } else if (remaining == 2) {
            const std::uint32_t a = (std::uint32_t{src[0]} << 16) | (std::uint32_t{src[1]} << 8);
            put_pair(dst, a >> 12);
            dst[2] = kAlphabet[(a >> 6) & 63];
            dst[3] = '=';
        }
        return new_size;
    });
}

}  // namespace lk
