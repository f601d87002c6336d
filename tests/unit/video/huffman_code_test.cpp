#include "video/huffman_code.hpp"

#include <vector>

#include <gtest/gtest.h>

namespace lk {
namespace {

struct Code {
    std::vector<std::uint8_t> lengths;
    std::vector<std::uint16_t> codes;
};

Code build(const std::vector<std::uint32_t>& frequencies, unsigned limit) {
    Code code{std::vector<std::uint8_t>(frequencies.size()),
              std::vector<std::uint16_t>(frequencies.size())};
    build_huffman_code_lengths(frequencies, limit, code.lengths);
    assign_canonical_huffman_codes(code.lengths, code.codes);
    return code;
}

// Kraft sum in units of 2^-15: exactly 2^15 for a complete code.
std::uint32_t kraft_units(const Code& code) {
    std::uint32_t sum = 0;
    for (const std::uint8_t length : code.lengths) {
        sum += length == 0 ? 0 : 1u << (15 - length);
    }
    return sum;
}

// No (bit-reversed, least significant bit first) code is a prefix of another.
bool prefix_free(const Code& code) {
    for (std::size_t a = 0; a < code.lengths.size(); ++a) {
        for (std::size_t b = 0; b < code.lengths.size(); ++b) {
            const unsigned la = code.lengths[a];
            const unsigned lb = code.lengths[b];
            if (a == b || la == 0 || lb == 0 || la > lb) {
                continue;
            }
            if ((code.codes[b] & ((1u << la) - 1)) == code.codes[a]) {
                return false;
            }
        }
    }
    return true;
}

TEST(HuffmanCode, GivesOptimalLengthsWhenNoLimitBinds) {
    const Code code = build({1, 1, 2, 4, 0}, 15);
    EXPECT_EQ(code.lengths, (std::vector<std::uint8_t>{3, 3, 2, 1, 0}));
    EXPECT_EQ(kraft_units(code), 1u << 15);
    EXPECT_TRUE(prefix_free(code));
}

TEST(HuffmanCode, BuildsCompletePrefixCodesWithinTheLimit) {
    std::vector<std::uint32_t> fibonacci(30);
    fibonacci[0] = fibonacci[1] = 1;
    for (std::size_t i = 2; i < fibonacci.size(); ++i) {
        fibonacci[i] = fibonacci[i - 1] + fibonacci[i - 2];
    }
    std::vector<std::uint32_t> skewed(286, 1);
    skewed[0] = 1'000'000;
    skewed[255] = 300'000;
    struct Case {
        std::vector<std::uint32_t> frequencies;
        unsigned limit;
    };
    for (const Case& c : {Case{fibonacci, 7}, Case{fibonacci, 14}, Case{skewed, 14},
                          Case{std::vector<std::uint32_t>(288, 5), 9},
                          Case{std::vector<std::uint32_t>(19, 1), 7}}) {
        const Code code = build(c.frequencies, c.limit);
        for (const std::uint8_t length : code.lengths) {
            EXPECT_GE(length, 1u);
            EXPECT_LE(length, c.limit);
        }
        EXPECT_EQ(kraft_units(code), 1u << 15) << "limit " << c.limit;
        EXPECT_TRUE(prefix_free(code));
    }
}

// Deflate decoders reject incomplete codes, so a code for fewer than two used
// symbols still gets two one-bit codes.
TEST(HuffmanCode, CompletesCodesForOneOrNoUsedSymbol) {
    for (const auto& frequencies :
         {std::vector<std::uint32_t>{0, 0, 9, 0}, std::vector<std::uint32_t>{0, 0, 0, 0}}) {
        const Code code = build(frequencies, 7);
        EXPECT_EQ(kraft_units(code), 1u << 15);
        EXPECT_TRUE(prefix_free(code));
    }
    EXPECT_EQ(build({0, 0, 9, 0}, 7).lengths[2], 1u);
}

}  // namespace
}  // namespace lk
