#include "libretro/game_load_request.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "fixtures.hpp"

namespace lk {
namespace {

TEST(GameLoadRequest, DataRequestOwnsTheBytesAtStableAddresses) {
    test::TempDir dir;
    const std::string bytes("ROM\0DATA", 8);
    const auto rom = dir.write("game.gba", bytes);

    auto built = GameLoadRequest::from_path(rom, false);
    ASSERT_TRUE(built.has_value()) << built.error().display_chain();
    const retro::GameInfo* info_before = &built->game_info();
    const void* data_before = built->game_info().data;

    // The core may keep these pointers: moving the request must not move them.
    std::optional<GameLoadRequest> request(std::move(*built));
    const retro::GameInfo& info = request->game_info();
    EXPECT_EQ(&info, info_before);
    EXPECT_EQ(info.data, data_before);
    EXPECT_STREQ(info.path, rom.c_str());
    EXPECT_EQ(info.path, request->path_c());
    EXPECT_EQ(info.size, bytes.size());
    EXPECT_EQ(std::string(static_cast<const char*>(info.data), info.size), bytes);
    EXPECT_EQ(info.meta, nullptr);
    EXPECT_EQ(request->path(), rom);
}

TEST(GameLoadRequest, FullPathRequestReadsNothing) {
    // The file need not exist: the core opens it itself.
    const std::filesystem::path rom = "/nonexistent/lumenkite/game.cue";
    auto request = GameLoadRequest::from_path(rom, true);
    ASSERT_TRUE(request.has_value());
    EXPECT_FALSE(request->data().has_value());
    EXPECT_EQ(request->game_info().data, nullptr);
    EXPECT_EQ(request->game_info().size, 0u);
    EXPECT_STREQ(request->game_info().path, rom.c_str());
}

TEST(GameLoadRequest, EmptyFileGivesNonNullDataOfSizeZero) {
    test::TempDir dir;
    auto request = GameLoadRequest::from_path(dir.write("empty.bin", ""), false);
    ASSERT_TRUE(request.has_value());
    EXPECT_NE(request->game_info().data, nullptr);
    EXPECT_EQ(request->game_info().size, 0u);
}

TEST(GameLoadRequest, RejectsBadPathsAndUnreadableFiles) {
    struct Case {
        std::string path;
        bool need_fullpath;
        std::string message;
        std::string cause;
    };
    test::TempDir dir;
    const std::string missing = (dir.path() / "missing.gba").string();
    const std::string nul_path = std::string("/tmp/a\0b.gba", 12);
    const Case cases[] = {
        {"/tmp/\xff\xfe.gba", true, "ROM path must be valid UTF-8", ""},
        {nul_path, true, "ROM path contains interior NUL byte: " + nul_path, ""},
        {missing, false, "failed to read ROM bytes from " + missing,
         "No such file or directory (os error 2)"},
        {dir.path().string(), false, "failed to read ROM bytes from " + dir.path().string(),
         "Is a directory (os error 21)"},
    };
    for (const Case& c : cases) {
        auto request = GameLoadRequest::from_path(c.path, c.need_fullpath);
        ASSERT_FALSE(request.has_value()) << c.message;
        EXPECT_EQ(request.error().message(), c.message);
        if (!c.cause.empty()) {
            ASSERT_NE(request.error().cause(), nullptr);
            EXPECT_EQ(request.error().cause()->message(), c.cause);
        }
    }
}

}  // namespace
}  // namespace lk
