#include "libretro/core_option_text.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>

namespace lk {
namespace {

constexpr const char* kReplaced = "\xEF\xBF\xBD";  // U+FFFD

TEST(CoreOptionText, ReplacesEachIllFormedSubpartAndTrimsUnicodeWhiteSpace) {
    const std::string r = kReplaced;
    const std::pair<std::string, std::string> lossy[] = {
        {"plain", "plain"},
        {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
        {"a\xE0\xA0", "a" + r},               // truncated sequence: one replacement
        {"\xE0\x80z", r + r + "z"},           // overlong lead then a stray continuation
        {"\xED\xA0\x80", r + r + r},          // surrogate
        {"\xF4\x90\x80\x80", r + r + r + r},  // above U+10FFFF
        {"\xFF\xFE", r + r},
    };
    for (const auto& [bytes, text] : lossy) {
        EXPECT_EQ(utf8_lossy(bytes), text);
    }
    EXPECT_EQ(trim_white_space(" \t a b \r\n"), "a b");
    EXPECT_EQ(trim_white_space("\xC2\xA0x\xE3\x80\x80"), "x");
    EXPECT_EQ(trim_white_space(" \xE2\x80\x83 "), "");
    EXPECT_EQ(core_text(nullptr), std::nullopt);
}

}  // namespace
}  // namespace lk
