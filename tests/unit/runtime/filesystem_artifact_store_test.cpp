#include "runtime/filesystem_artifact_store.hpp"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

namespace lk {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> bytes_of(const std::string& text) {
    return {text.begin(), text.end()};
}

std::string read_text(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class ArtifactStoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("lk-store-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    // Only the named files, no temporaries, remain in `directory`.
    static std::vector<std::string> entries(const fs::path& directory) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(directory)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir;
    FilesystemArtifactStore store;
};

TEST_F(ArtifactStoreTest, WritesCreateParentsAndReplaceWholeContent) {
    const auto path = (dir / "a/b/c/slot.state").string();
    ASSERT_TRUE(store.write_save_state(path, bytes_of("a much longer first state")));
    ASSERT_TRUE(store.write_image(path, bytes_of("short")));
    EXPECT_EQ(read_text(path), "short");
    auto back = store.read_save_state(path);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, bytes_of("short"));
    EXPECT_EQ(entries(dir / "a/b/c"), std::vector<std::string>{"slot.state"});
    // An empty state is a valid file too.
    ASSERT_TRUE(store.write_save_state(path, {}));
    EXPECT_EQ(read_text(path), "");
}

TEST_F(ArtifactStoreTest, FailuresCarryTheSystemsText) {
    auto missing = store.read_save_state((dir / "nope.state").string());
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().display(), "No such file or directory (os error 2)");
    EXPECT_EQ(missing.error().kind(), ErrorKind::not_found);

    std::ofstream((dir / "file").string()) << "x";
    auto under_file = store.write_image((dir / "file/x.png").string(), bytes_of("png"));
    ASSERT_FALSE(under_file);
    EXPECT_EQ(under_file.error().display(), "Not a directory (os error 20)");

    fs::create_directories(dir / "isdir");
    auto onto_directory = store.write_save_state((dir / "isdir").string(), bytes_of("x"));
    ASSERT_FALSE(onto_directory);
    EXPECT_EQ(onto_directory.error().display(), "Is a directory (os error 21)");
    EXPECT_EQ(entries(dir), (std::vector<std::string>{"file", "isdir"}));
}

TEST_F(ArtifactStoreTest, AWriteThatFailsMidwayLeavesThePreviousSaveIntact) {
    const auto path = (dir / "slot.state").string();
    const std::string good(3000, 'G');
    ASSERT_TRUE(store.write_save_state(path, bytes_of(good)));

    // In a child limited to 1 KiB files, the 64 KiB write fails part way
    // (EFBIG), as a full disk would.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{1024, 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const auto result = FilesystemArtifactStore().write_save_state(
            path, std::vector<std::uint8_t>(64 * 1024, 'N'));
        const bool expected = !result && result.error().display() == "File too large (os error 27)";
        ::_exit(expected ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the write did not fail with EFBIG";
    EXPECT_EQ(read_text(path), good);
    EXPECT_EQ(entries(dir), std::vector<std::string>{"slot.state"});
}

TEST_F(ArtifactStoreTest, UnwritableDirectoryFailsAndKeepsTheOldFile) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root ignores directory permissions";
    }
    const auto path = (dir / "slot.state").string();
    ASSERT_TRUE(store.write_save_state(path, bytes_of("old")));
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    auto result = store.write_save_state(path, bytes_of("new"));
    fs::permissions(dir, fs::perms::owner_all);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().display(), "Permission denied (os error 13)");
    EXPECT_EQ(read_text(path), "old");
}

}  // namespace
}  // namespace lk
