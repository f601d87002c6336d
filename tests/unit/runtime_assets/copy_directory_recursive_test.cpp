#include "runtime_assets/copy_directory_recursive.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "asset_test_tree.hpp"

namespace lk {
namespace {

using test::snapshot;
using test::TempTree;
using ::testing::HasSubstr;
namespace fs = std::filesystem;

TEST(CopyDirectoryRecursive, CopiesTreesFollowingLinksAndSkippingOtherEntries) {
    TempTree tree;
    tree.file("src/a.txt", "alpha");
    fs::permissions(tree.file("src/bin/tool", "#!"), fs::perms(0751));
    fs::permissions(tree.file("src/deep/er/still/f", "deep"), fs::perms(0604));
    tree.directory("src/empty");
    tree.file("elsewhere/linked-dir/inside", "via link");
    tree.file("elsewhere/linked-file", "linked");
    fs::create_directory_symlink(tree / "elsewhere/linked-dir", tree / "src/dir-link");
    fs::create_symlink(tree / "elsewhere/linked-file", tree / "src/file-link");
    fs::create_symlink(tree / "nowhere", tree / "src/dangling");
    ASSERT_EQ(::mkfifo((tree / "src/fifo").c_str(), 0644), 0);
    // The target's parents are created, and a file already there is replaced.
    tree.file("out/parent/target/a.txt", "old contents that are longer");
    tree.file("out/parent/target/kept", "not in the source");

    ASSERT_TRUE(copy_directory_recursive(tree / "src", tree / "out/parent/target"));

    const std::map<std::string, std::string> expected{
        {"a.txt", "alpha @0644"},
        {"bin", "/"},
        {"bin/tool", "#! @0751"},
        {"deep", "/"},
        {"deep/er", "/"},
        {"deep/er/still", "/"},
        {"deep/er/still/f", "deep @0604"},
        {"empty", "/"},
        {"dir-link", "/"},
        {"dir-link/inside", "via link @0644"},
        {"file-link", "linked @0644"},
        {"kept", "not in the source @0644"},
    };
    EXPECT_EQ(snapshot(tree / "out/parent/target"), expected);
}

TEST(CopyDirectoryRecursive, ReturnsTheSystemsErrors) {
    TempTree tree;
    tree.file("src/file", "x");
    tree.file("plain-file", "x");

    struct Case {
        const char* name;
        fs::path source;
        fs::path target;
        std::string message;
    };
    const Case cases[] = {
        {"missing source", tree / "absent", tree / "t1", "No such file or directory (os error 2)"},
        {"source is a file", tree / "plain-file", tree / "t2", "Not a directory (os error 20)"},
        {"target below a file", tree / "src", tree / "plain-file/t3",
         "Not a directory (os error 20)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Status copied = copy_directory_recursive(c.source, c.target);
        ASSERT_FALSE(copied);
        EXPECT_EQ(copied.error().message(), c.message);
    }
    // The target is created before the source is listed.
    EXPECT_TRUE(fs::is_directory(tree / "t1"));
}

TEST(CopyDirectoryRecursive, RefusesDirectoryLoopsInsteadOfCopyingForever) {
    TempTree tree;
    tree.file("src/sub/file", "x");
    fs::create_directory_symlink(tree / "src", tree / "src/sub/back-to-top");

    const Status looped = copy_directory_recursive(tree / "src", tree / "out");
    ASSERT_FALSE(looped);
    EXPECT_EQ(looped.error().message(), "Directory loop while copying system assets: " +
                                            (tree / "src/sub/back-to-top").string() + ".");

    // A target inside the source would otherwise be copied into itself.
    const Status nested = copy_directory_recursive(tree / "src/sub", tree / "src/sub/copy");
    ASSERT_FALSE(nested);
    EXPECT_THAT(nested.error().message(),
                HasSubstr("Directory loop while copying system assets: "));
}

// Runs `copy` as an unprivileged user in a child process (root reads
// everything), and exits with 3 after printing the error, or 0.
void copy_as_unprivileged_user(const fs::path& source, const fs::path& target) {
    if (::geteuid() == 0 && ::setuid(65534) != 0) {
        std::fprintf(stderr, "setuid failed\n");
        std::_Exit(4);
    }
    const Status copied = copy_directory_recursive(source, target);
    if (copied) {
        std::_Exit(0);
    }
    std::fprintf(stderr, "error: %s\n", copied.error().message().c_str());
    std::_Exit(3);
}

TEST(CopyDirectoryRecursive, UnreadableSourcesFailWithPermissionDenied) {
    TempTree tree;
    fs::permissions(tree.root(), fs::perms(0755));
    tree.file("src/readable", "x");
    tree.directory("out");
    fs::permissions(tree / "out", fs::perms(0777));

    fs::permissions(tree.file("src/secret", "x"), fs::perms::none);
    EXPECT_EXIT(copy_as_unprivileged_user(tree / "src", tree / "out/a"),
                ::testing::ExitedWithCode(3), "error: Permission denied \\(os error 13\\)");

    fs::remove(tree / "src/secret");
    fs::permissions(tree.directory("src/closed"), fs::perms::none);
    EXPECT_EXIT(copy_as_unprivileged_user(tree / "src", tree / "out/b"),
                ::testing::ExitedWithCode(3), "error: Permission denied \\(os error 13\\)");
    EXPECT_EXIT(copy_as_unprivileged_user(tree / "src/closed", tree / "out/c"),
                ::testing::ExitedWithCode(3), "error: Permission denied \\(os error 13\\)");
}

}  // namespace
}  // namespace lk
