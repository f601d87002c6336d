#include "libretro/system_info.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace lk {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(SystemInfo, ExtensionListsSplitAtBarsDroppingEmptyPieces) {
    EXPECT_THAT(split_valid_extensions("bin|cue||iso"), ElementsAre("bin", "cue", "iso"));
    EXPECT_THAT(split_valid_extensions("|gba|"), ElementsAre("gba"));
    EXPECT_THAT(split_valid_extensions(""), IsEmpty());
    EXPECT_THAT(split_valid_extensions("||"), IsEmpty());
}

TEST(SystemInfo, CoreTextsMustBeUtf8) {
    auto absent = ptr_to_string(nullptr);
    ASSERT_TRUE(absent.has_value());
    EXPECT_FALSE(absent->has_value());

    auto text = ptr_to_string("mGBA \xc3\xa9");
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, "mGBA \xc3\xa9");

    // An overlong encoding and a lone continuation byte.
    for (const char* bad : {"\xc0\xaf", "abc\x80"}) {
        auto result = ptr_to_string(bad);
        ASSERT_FALSE(result.has_value());
        EXPECT_EQ(result.error().message(), "core returned non UTF-8 string");
    }
}

TEST(SystemInfo, FromRawStopsAtTheFirstBadTextAndCopiesFlags) {
    retro::SystemInfo raw{};
    raw.library_name = "core";
    raw.valid_extensions = "\xff";
    EXPECT_FALSE(SystemInfo::from_raw(raw).has_value());

    raw.valid_extensions = nullptr;
    raw.need_fullpath = true;
    auto info = SystemInfo::from_raw(raw);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->library_name, "core");
    EXPECT_THAT(info->valid_extensions, IsEmpty());
    EXPECT_TRUE(info->need_fullpath);
    EXPECT_FALSE(info->block_extract);
}

}  // namespace
}  // namespace lk
