#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/AtomicFile.h"
#include "support/TestHost.h"

namespace lumacrest {
namespace {

namespace fs = std::filesystem;

// A save over a symbolic link replaces the file the link names and keeps the link; the file
// keeps its mode.
TEST(AtomicFile, SavesThroughLinksAndKeepsTheMode) {
    test::TempDir dir;
    fs::create_directory(dir.File("real"));
    const std::string target = dir.File("real/job.Prjt");
    test::WriteText(target, "old");
    ASSERT_EQ(::chmod(target.c_str(), 0600), 0);
    fs::create_symlink("real/job.Prjt", dir.File("link.Prjt"));    // relative
    fs::create_symlink(dir.File("link.Prjt"), dir.File("chain.Prjt"));  // a link to a link

    ASSERT_TRUE(WriteFileAtomically(dir.File("chain.Prjt"), "new"));
    EXPECT_TRUE(fs::is_symlink(dir.File("chain.Prjt")));
    EXPECT_TRUE(fs::is_symlink(dir.File("link.Prjt")));
    EXPECT_EQ(test::ReadText(target), "new");
    struct stat st;
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    // Nothing is left beside the target.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.File("real")), fs::directory_iterator()), 1);

    // A link whose target does not exist yet gets it; a loop of links is refused.
    fs::create_symlink("real/new.hex", dir.File("dangling.hex"));
    ASSERT_TRUE(WriteFileAtomically(dir.File("dangling.hex"), "made"));
    EXPECT_EQ(test::ReadText(dir.File("real/new.hex")), "made");
    fs::create_symlink("loop-b", dir.File("loop-a"));
    fs::create_symlink("loop-a", dir.File("loop-b"));
    EXPECT_FALSE(WriteFileAtomically(dir.File("loop-a"), "x"));
}

TEST(AtomicFile, ReadsOnlyRegularFiles) {
    test::TempDir dir;
    std::string out;
    test::WriteText(dir.File("f"), "abc");
    EXPECT_TRUE(ReadWholeFile(dir.File("f"), out, 3));
    EXPECT_EQ(out, "abc");
    EXPECT_FALSE(ReadWholeFile(dir.File("f"), out, 2));  // larger than allowed
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
    EXPECT_FALSE(ReadWholeFile(dir.File("fifo"), out, 100));  // returns at once
    EXPECT_FALSE(ReadWholeFile("/dev/zero", out, 100));
    EXPECT_FALSE(ReadWholeFile(dir.path(), out, 100));
}

}  // namespace
}  // namespace lumacrest
