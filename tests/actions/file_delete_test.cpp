#include "temporary_tree.h"
#include "platform/file_delete.h"
#include "platform/mount_check.h"
#include "tests/support/scoped_mount.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace platform;
using namespace testing_actions;
using FileOperationsTest = TemporaryTree;

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

    EXPECT_TRUE(deleteFolderTree(entry("tree")).ok());
    EXPECT_FALSE(exists(path("tree")));
    EXPECT_EQ(readFile(path("outside/keep.txt")), "keep");
    EXPECT_EQ(modeOf(path("outside/keep.txt")), 0444u);
    EXPECT_EQ(modeOf(path("outside")), 0755u);
}

using LargeTreeTest = testing_actions::InMemoryTree;

TEST_F(LargeTreeTest, ATreeFarDeeperThanTheOpenFileLimitGoesWholeThoughItsPathsOutgrowPathMax)
{
    makeFolder("deep");
    testing_actions::makeDeepChain(path("deep"), 5000); // 10,000 bytes of path at the bottom
    {
        OpenFileLimit limit(256);
        EXPECT_EQ(deleteFolderTree(entry("deep")).error, 0);
    }
    EXPECT_FALSE(exists(path("deep")));
    if (exists(path("deep")))
        std::system(("rm -rf '" + path("deep") + "'").constData()); // QTemporaryDir stops at PATH_MAX
}

TEST_F(FileOperationsTest, AFolderThatIsOrHoldsAMountPointIsRefusedBeforeAnythingGoes)
{
    makeFolder("outside");
    for (const char* name : {"one", "two", "three"})
        writeFile(path("outside/") + name, QByteArray("data of ") + name);
    makeFolder("tree");
    writeFile(path("tree/a.txt"), "a");
    makeFolder("tree/deeper");
    makeFolder("tree/deeper/mnt");
    // A bind mount of the same volume: the device numbers alone cannot tell it.
    const testsupport::ScopedMount bind = testsupport::ScopedMount::bind(path("outside"), path("tree/deeper/mnt"));
    if (!bind.mounted())
        GTEST_SKIP() << bind.why().toStdString();

    EXPECT_EQ(deleteFolderTree(entry("tree")).error, EBUSY);
    EXPECT_EQ(deleteFolderTree(entry("tree/deeper/mnt")).error, EBUSY);
    EXPECT_EQ(readFile(path("tree/a.txt")), "a") << "nothing was deleted";
    for (const char* name : {"one", "two", "three"})
        EXPECT_EQ(readFile(path("outside/") + name), QByteArray("data of ") + name);
}

class MountCheckTest : public FileOperationsTest, public ::testing::WithParamInterface<MountCheck::Source> {};

TEST_P(MountCheckTest, ABindMountOfTheSameVolumeIsTheRootOfAMountAndAPlainFolderIsNot)
{
    if (GetParam() == MountCheck::Source::Kernel && MountCheck().source() != MountCheck::Source::Kernel)
        GTEST_SKIP() << "this kernel reports no mount ids";
    makeFolder("outside");
    makeFolder("plain");
    makeFolder("mnt");
    const testsupport::ScopedMount bind = testsupport::ScopedMount::bind(path("outside"), path("mnt"));
    if (!bind.mounted())
        GTEST_SKIP() << bind.why().toStdString();
    const Fd parent(::open(root, O_RDONLY | O_DIRECTORY)), plain(::open(path("plain"), O_RDONLY | O_DIRECTORY)),
        mounted(::open(path("mnt"), O_RDONLY | O_DIRECTORY));
    MountCheck check(GetParam());
    EXPECT_TRUE(check.isMountRoot(parent.get(), mounted.get()));
    EXPECT_FALSE(check.isMountRoot(parent.get(), plain.get()));
}

INSTANTIATE_TEST_SUITE_P(KernelAndTable, MountCheckTest,
                         ::testing::Values(MountCheck::Source::Kernel, MountCheck::Source::MountTable));

TEST_F(FileOperationsTest, ALinkIsDeletedAsALinkAndNeverAsTheFolderItPointsTo)
{
    makeFolder("target");
    writeFile(path("target/f"), "f");
    ASSERT_EQ(::symlink(path("target"), path("link")), 0);
    EXPECT_EQ(deleteFolderTree(entry("link")).error, ENOTDIR);
    EXPECT_TRUE(deleteFile(entry("link")).ok());
    EXPECT_FALSE(exists(path("link")));
    EXPECT_EQ(readFile(path("target/f")), "f");
    EXPECT_EQ(deleteFile(unidentified("gone")).error, ENOENT);
    EXPECT_EQ(deleteFile(entry("target")).error, EISDIR);
    EXPECT_EQ(deleteFile(EntryRef{QByteArray("a\0b", 3), {}}).error, EINVAL) << "a NUL would cut the path short";
}

} // namespace
