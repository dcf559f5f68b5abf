#include <grp.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>

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

ino_t Inode(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_ino;
}

// Runs `action` in a child process that may write no file beyond `sizeLimit` bytes (a disk
// that fills up; 0: no limit) and, with `outsider`, as a user who may not write in the test's
// folders: root writes in any folder, so root becomes nobody first.
template <typename Action>
bool InChild(Action action, rlim_t sizeLimit = 0, bool outsider = false) {
    if (::geteuid() != 0 && sizeLimit == 0) return action();
    const pid_t child = ::fork();
    if (child == 0) {
        if (outsider && ::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(2);
        if (sizeLimit != 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{sizeLimit, sizeLimit};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(2);
        }
        ::_exit(action() ? 0 : 1);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return false;
    EXPECT_NE(WEXITSTATUS(status), 2) << "could not set up the child";
    return WEXITSTATUS(status) == 0;
}

bool SaveAsOutsider(const std::string& path, const std::string& content, rlim_t sizeLimit = 0) {
    return InChild([&] { return WriteFileAtomically(path, content); }, sizeLimit, true);
}

// A folder the user may not write in, holding a file the user may write (a shared bench PC):
// the file is written over in place, to its new length, and stays the same file.
TEST(AtomicFile, AFolderClosedToTheUserGetsItsFileWrittenInPlace) {
    test::TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    const std::string folder = dir.File("bench");
    fs::create_directory(folder);
    const std::string file = folder + "/Config.dat", locked = folder + "/Ports.dat";
    test::WriteText(file, "YES\nMN101EF51A_IAP\nCOM3\nsome longer old content\n");
    test::WriteText(locked, "COM1 /dev/ttyUSB0\n");
    ASSERT_EQ(::chmod(file.c_str(), 0666), 0);
    ASSERT_EQ(::chmod(locked.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    struct Reopen {
        std::string folder;
        ~Reopen() { ::chmod(folder.c_str(), 0755); }
    } reopen{folder};
    const ino_t inode = Inode(file);

    ASSERT_TRUE(SaveAsOutsider(file, "YES\nMN101EF32D\n"));
    EXPECT_EQ(test::ReadText(file), "YES\nMN101EF32D\n");  // the old tail is cut off
    const std::string longer(70000, 'x');
    ASSERT_TRUE(SaveAsOutsider(file, longer));
    EXPECT_EQ(test::ReadText(file), longer);
    // Through a link the rule applies to the file the link names.
    fs::create_symlink(file, dir.File("Config-link.dat"));
    ASSERT_TRUE(SaveAsOutsider(dir.File("Config-link.dat"), "linked\n"));
    EXPECT_TRUE(fs::is_symlink(dir.File("Config-link.dat")));
    EXPECT_EQ(test::ReadText(file), "linked\n");
    EXPECT_EQ(Inode(file), inode);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);

    // A file the user may not write either: a failure, and the file stays as it was.
    EXPECT_FALSE(SaveAsOutsider(locked, "COM1 /dev/ttyS0\n"));
    EXPECT_EQ(test::ReadText(locked), "COM1 /dev/ttyUSB0\n");

    // A disk without room for the longer content: a failure before a byte of the old file
    // is written over.
    EXPECT_FALSE(SaveAsOutsider(file, std::string(200000, 'n'), 100000));
    const std::string kept = test::ReadText(file);
    EXPECT_TRUE(kept == "linked\n") << kept.size() << " bytes: " << kept.substr(0, 16);
}

// A line that does not fit on the disk is not left half written, where the next line would
// be joined to it.
TEST(AtomicFile, AnAppendThatFailsLeavesNoPartOfItsLine) {
    test::TempDir dir;
    const std::string runs = dir.File("runs.jsonl");
    ASSERT_TRUE(AppendLine(runs, "{\"run\":1}\n"));
    const std::string second = "{\"run\":2,\"reason\":\"" + std::string(100, 'r') + "\"}\n";
    EXPECT_FALSE(InChild([&] { return AppendLine(runs, second); }, 40));
    EXPECT_EQ(test::ReadText(runs), "{\"run\":1}\n");
    ASSERT_TRUE(AppendLine(runs, "{\"run\":3}\n"));
    EXPECT_EQ(test::ReadText(runs), "{\"run\":1}\n{\"run\":3}\n");
}

// A lock another program never lets go of holds the run's record up a second at most.
TEST(AtomicFile, AnAppendDoesNotWaitForeverForALockKeptElsewhere) {
    test::TempDir dir;
    const std::string runs = dir.File("runs.jsonl");
    ASSERT_TRUE(AppendLine(runs, "{\"run\":1}\n"));
    const int holder = ::open(runs.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(AppendLine(runs, "{\"run\":2}\n"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    ::close(holder);
    EXPECT_EQ(test::ReadText(runs), "{\"run\":1}\n{\"run\":2}\n");
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
