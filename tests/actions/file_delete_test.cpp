#include "temporary_tree.h"
#include "platform/file_delete.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace platform;
using testing_actions::exists;
using testing_actions::modeOf;
using testing_actions::readFile;
using testing_actions::writeFile;
using FileOperationsTest = testing_actions::TemporaryTree;

// A chain of folders named "d", levels deep below base, each holding a file; made by descriptors,
// since the paths soon outgrow PATH_MAX.
void makeDeepChain(const QByteArray& base, int levels)
{
    int fd = ::open(base.constData(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    for (int level = 0; level < levels; ++level) {
        ASSERT_EQ(::mkdirat(fd, "d", 0755), 0) << "level " << level;
        const int file = ::openat(fd, "f", O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(file, 0);
        ::close(file);
        const int below = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        ASSERT_GE(fd = below, 0);
    }
    ::close(fd);
}

// Lowers the soft limit of open files for as long as it lives.
class OpenFileLimit {
public:
    explicit OpenFileLimit(rlim_t soft)
    {
        ::getrlimit(RLIMIT_NOFILE, &saved_);
        struct rlimit lowered = saved_;
        lowered.rlim_cur = soft;
        ::setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~OpenFileLimit() { ::setrlimit(RLIMIT_NOFILE, &saved_); }

private:
    struct rlimit saved_ {};
};

TEST_F(FileOperationsTest, FolderTreeGoesWithReadOnlyEntriesWhileLinkTargetsOutsideStay)
{
    makeFolder("outside");
    writeFile(path("outside/keep.txt"), "keep", 0444);
    makeFolder("tree");
    writeFile(path("tree/a.txt"), "a", 0444);
    makeFolder("tree/ro");
    writeFile(path("tree/ro/inner.txt"), "i");
    ASSERT_EQ(::chmod(path("tree/ro"), 0555), 0);
    makeFolder("tree/locked");
    writeFile(path("tree/locked/x"), "x");
    ASSERT_EQ(::chmod(path("tree/locked"), 0), 0);
    ASSERT_EQ(::symlink(path("outside"), path("tree/to-folder")), 0);
    ASSERT_EQ(::symlink("../outside/keep.txt", path("tree/to-file")), 0);
    ASSERT_EQ(::chmod(path("tree"), 0555), 0);

    EXPECT_TRUE(deleteFolderTree(path("tree")).ok());
    EXPECT_FALSE(exists(path("tree")));
    EXPECT_EQ(readFile(path("outside/keep.txt")), "keep");
    EXPECT_EQ(modeOf(path("outside/keep.txt")), 0444u);
    EXPECT_EQ(modeOf(path("outside")), 0755u);
}

using LargeTreeTest = testing_actions::InMemoryTree;

TEST_F(LargeTreeTest, ATreeFarDeeperThanTheOpenFileLimitGoesWholeThoughItsPathsOutgrowPathMax)
{
    makeFolder("deep");
    makeDeepChain(path("deep"), 5000); // 10,000 bytes of path at the bottom
    {
        OpenFileLimit limit(256);
        EXPECT_EQ(deleteFolderTree(path("deep")).error, 0);
    }
    EXPECT_FALSE(exists(path("deep")));
    if (exists(path("deep")))
        std::system(("rm -rf '" + path("deep") + "'").constData()); // QTemporaryDir stops at PATH_MAX
}

TEST_F(FileOperationsTest, ALinkIsDeletedAsALinkAndNeverAsTheFolderItPointsTo)
{
    makeFolder("target");
    writeFile(path("target/f"), "f");
    ASSERT_EQ(::symlink(path("target"), path("link")), 0);
    EXPECT_EQ(deleteFolderTree(path("link")).error, ENOTDIR);
    EXPECT_TRUE(deleteFile(path("link")).ok());
    EXPECT_FALSE(exists(path("link")));
    EXPECT_EQ(readFile(path("target/f")), "f");
    EXPECT_EQ(deleteFile(path("gone")).error, ENOENT);
    EXPECT_EQ(deleteFile(path("target")).error, EISDIR);
    EXPECT_EQ(deleteFile(QByteArray("a\0b", 3)).error, EINVAL) << "a NUL would cut the path short";
}

} // namespace
