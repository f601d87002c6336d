#include "common/environment.hpp"

#include <cstdlib>

#include <gtest/gtest.h>

namespace lk {
namespace {

TEST(EnvironmentSwitch, MatchesExactlyOneOfTheAcceptedValues) {
    struct Case {
        const char* value;  // nullptr = unset
        bool on;
    };
    const Case cases[] = {{nullptr, false}, {"", false},    {"1", true},   {"yes", true},
                          {"YES", true},    {"Yes", false}, {" 1", false}, {"1 ", false},
                          {"on", false},    {"\xFF", false}};
    for (const auto& c : cases) {
        if (c.value == nullptr) {
            ::unsetenv("LK_TEST_SWITCH");
        } else {
            ::setenv("LK_TEST_SWITCH", c.value, 1);
        }
        EXPECT_EQ(env_switch_is_on("LK_TEST_SWITCH", {"1", "yes", "YES"}), c.on)
            << (c.value ? c.value : "(unset)");
    }
    ::unsetenv("LK_TEST_SWITCH");
}

TEST(EnvironmentText, NonUtf8CountsAsUnsetButRawBytesAreKept) {
    ::setenv("LK_TEST_PATHS", "/a\xFF:/b", 1);
    EXPECT_EQ(read_env_text("LK_TEST_PATHS"), std::nullopt);
    EXPECT_EQ(read_env_bytes("LK_TEST_PATHS"), "/a\xFF:/b");
    ::unsetenv("LK_TEST_PATHS");
}

}  // namespace
}  // namespace lk
