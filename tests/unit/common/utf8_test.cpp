#include "common/utf8.hpp"

#include <gtest/gtest.h>

namespace lk {
namespace {

TEST(Utf8, AcceptsWellFormedAndRejectsEveryMalformedShape) {
    struct Case {
        std::string bytes;
        bool valid;
    };
    const Case cases[] = {
        {"", true},
        {"plain ascii text that is longer than eight bytes", true},
        {"\xC3\xA9t\xC3\xA9", true},  // é
        {"\xE2\x82\xAC", true},       // €
        {"\xF0\x9F\x8E\xAE", true},   // 🎮
        {"\xEF\xBB\xBF{}", true},     // BOM
        {"\xFF", false},              // never valid
        {"\xC0\xAF", false},          // overlong
        {"\xE0\x80\xAF", false},      // overlong
        {"\xED\xA0\x80", false},      // surrogate
        {"\xF4\x90\x80\x80", false},  // above U+10FFFF
        {"\xC3", false},              // truncated
        {"abcdefgh\xE2\x82", false},  // truncated after the fast path
        {"\x80", false},              // lone continuation
        {"\xE2\x28\xA1", false},      // bad continuation
    };
    for (const auto& c : cases) {
        EXPECT_EQ(is_valid_utf8(c.bytes), c.valid) << testing::PrintToString(c.bytes);
    }
}

}  // namespace
}  // namespace lk
