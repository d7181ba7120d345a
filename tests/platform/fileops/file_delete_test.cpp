#include "tests/support/temporary_tree.h"
#include "platform/fileops/file_copy.h"
#include "platform/fileops/file_delete.h"
#include "platform/fileops/mount_check.h"
#include "tests/support/scoped_mount.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <ftw.h>
#include <map>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace platform;
using namespace testsupport;
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
    makeFolder("box");
    makeFolder("box/tree");
    writeFile(path("box/tree/a.txt"), "a", 0444);
    makeFolder("box/tree/ro");
    writeFile(path("box/tree/ro/inner.txt"), "i");
    makeFolder("box/tree/locked");
    writeFile(path("box/tree/locked/x"), "x");
    makeFolder("box/tree/unsearchable");
    writeFile(path("box/tree/unsearchable/y"), "y");
    ASSERT_EQ(::symlink(path("outside"), path("box/tree/to-folder")), 0);
    ASSERT_EQ(::symlink("../../outside/keep.txt", path("box/tree/to-file")), 0);
    ASSERT_EQ(::chmod(path("box/tree/ro"), 0555), 0);
    ASSERT_EQ(::chmod(path("box/tree/locked"), 0), 0);
    ASSERT_EQ(::chmod(path("box/tree/unsearchable"), 0444), 0);
    ASSERT_EQ(::chmod(path("box/tree"), 0555), 0);
    ASSERT_EQ(::chmod(root, 0755), 0); // for the user the delete runs as

    // As its owner, who must give the read-only, unreadable and unsearchable folders their bits.
    const int error = asUnprivilegedUser(path("box"), [&] { return deleteFolderTree(entry("box/tree")).error; });
    EXPECT_EQ(error, 0);
    EXPECT_FALSE(exists(path("box/tree")));
    EXPECT_EQ(readFile(path("outside/keep.txt")), "keep");
    EXPECT_EQ(modeOf(path("outside/keep.txt")), 0444u);
    EXPECT_EQ(modeOf(path("outside")), 0755u);
}

// The permission bits of every folder below a path, by path.
std::map<QByteArray, mode_t> folderModes(const QByteArray& top)
{
    static std::map<QByteArray, mode_t>* modes;
    std::map<QByteArray, mode_t> found;
    modes = &found;
    ::nftw(top.constData(), [](const char* entry, const struct stat* st, int kind, FTW*) {
        if (kind == FTW_D || kind == FTW_DNR)
            (*modes)[entry] = st->st_mode & 07777;
        return 0;
    }, 16, FTW_PHYS);
    return found;
}

TEST_F(FileOperationsTest, ADeleteRefusedForAMountChangesNoFolderItLookedInto)
{
    makeFolder("outside");
    writeFile(path("outside/data"), "outside data");
    makeFolder("tree");
    makeFolder("tree/ro");
    makeFolder("tree/ro/locked");
    makeFolder("tree/ro/locked/mnt");
    makeFolder("tree/later");
    writeFile(path("tree/later/b.txt"), "b");
    const testsupport::ScopedMount bind = testsupport::ScopedMount::bind(path("outside"), path("tree/ro/locked/mnt"));
    if (!bind.mounted())
        GTEST_SKIP() << bind.why().toStdString();
    ASSERT_EQ(::chmod(path("tree/ro/locked"), 0), 0);
    ASSERT_EQ(::chmod(path("tree/ro"), 0555), 0);
    ASSERT_EQ(::chmod(root, 0755), 0);
    const std::map<QByteArray, mode_t> before = folderModes(path("tree"));

    // Root looks into every folder; the folder's owner finds the mount below the one it may not read.
    EXPECT_EQ(deleteFolderTree(entry("tree")).error, EBUSY);
    EXPECT_EQ(folderModes(path("tree")), before);
    const int error = asUnprivilegedUser(path("tree"), [&] { return deleteFolderTree(entry("tree")).error; });
    EXPECT_EQ(error, EBUSY);
    EXPECT_EQ(folderModes(path("tree")), before);
    EXPECT_EQ(readFile(path("tree/later/b.txt")), "b");
    EXPECT_EQ(readFile(path("outside/data")), "outside data");
    ::chmod(path("tree/ro"), 0755);
    ::chmod(path("tree/ro/locked"), 0755);
}

TEST_F(FileOperationsTest, AFileBoundOverAFileStopsTheDeleteBeforeAnythingGoesAndIsLeftOutOfACopy)
{
    makeFolder("kfm");
    for (const char* name : {"a1.txt", "a2.txt", "a3.txt", "zz.txt"})
        writeFile(path("kfm/") + name, name);
    makeFolder("kfm/sub");
    writeFile(path("kfm/sub/mnt.txt"), "");
    writeFile(path("secret.txt"), "outside");
    makeFolder("to");
    const testsupport::ScopedMount bind = testsupport::ScopedMount::bind(path("secret.txt"), path("kfm/sub/mnt.txt"));
    if (!bind.mounted())
        GTEST_SKIP() << bind.why().toStdString();

    EXPECT_EQ(deleteFolderTree(entry("kfm")).error, EBUSY);
    EXPECT_EQ(namesIn("kfm"), (QStringList{"a1.txt", "a2.txt", "a3.txt", "sub", "zz.txt"}));
    EXPECT_EQ(readFile(path("secret.txt")), "outside");

    EXPECT_TRUE(copyFolderTree(entry("kfm"), path("to/kfm")).ok());
    EXPECT_EQ(readFile(path("to/kfm/a1.txt")), "a1.txt");
    EXPECT_EQ(namesIn("to/kfm/sub"), QStringList{}) << "what the mount holds is not copied";
}

using LargeTreeTest = testsupport::InMemoryTree;

// How many levels of a chain made by makeDeepChain below base hold their file and a folder of the
// given mode, counted by descriptors.
int chainLevels(const QByteArray& base, mode_t mode)
{
    Fd at(::open(base.constData(), O_RDONLY | O_DIRECTORY));
    int levels = 0;
    for (struct stat st; at; ++levels) {
        if (::fstatat(at.get(), "f", &st, AT_SYMLINK_NOFOLLOW) != 0
            || ::fstatat(at.get(), "d", &st, AT_SYMLINK_NOFOLLOW) != 0 || (st.st_mode & 07777) != mode)
            break;
        at.reset(::openat(at.get(), "d", O_RDONLY | O_DIRECTORY | O_NOFOLLOW));
    }
    return levels;
}

TEST_F(LargeTreeTest, ATreeFarDeeperThanTheOpenFileLimitIsCopiedAndGoesWholeThoughItsPathsOutgrowPathMax)
{
    makeFolder("deep");
    makeFolder("to");
    testsupport::makeDeepChain(path("deep"), 5000); // 10,000 bytes of path at the bottom
    const mode_t mode = modeOf(path("deep/d"));
    {
        OpenFileLimit limit(256);
        EXPECT_EQ(copyFolderTree(entry("deep"), path("to/deep")).error, 0);
        EXPECT_EQ(chainLevels(path("to/deep"), mode), 5000) << "every folder copied, with its source's mode";
        EXPECT_EQ(deleteFolderTree(entry("deep")).error, 0);
        EXPECT_EQ(deleteFolderTree(entry("to/deep")).error, 0);
    }
    for (const QByteArray& top : {path("deep"), path("to/deep")}) {
        EXPECT_FALSE(exists(top));
        if (exists(top))
            std::system(("rm -rf '" + top + "'").constData()); // QTemporaryDir stops at PATH_MAX
    }
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

TEST_P(MountCheckTest, ABindMountOfTheSameVolumeIsTheRootOfAMountAndAPlainEntryIsNot)
{
    if (GetParam() == MountCheck::Source::Kernel && MountCheck().source() != MountCheck::Source::Kernel)
        GTEST_SKIP() << "this kernel reports no mount ids";
    makeFolder("outside");
    writeFile(path("outside.txt"), "outside");
    makeFolder("plain");
    makeFolder("plain/deeper");
    writeFile(path("plain/file.txt"), "plain");
    makeFolder("holder");
    makeFolder("holder/mnt");
    writeFile(path("holder/mnt.txt"), "");
    const testsupport::ScopedMount folder = testsupport::ScopedMount::bind(path("outside"), path("holder/mnt"));
    const testsupport::ScopedMount file = testsupport::ScopedMount::bind(path("outside.txt"), path("holder/mnt.txt"));
    if (!folder.mounted() || !file.mounted())
        GTEST_SKIP() << folder.why().toStdString();
    const Fd holder(::open(path("holder"), O_RDONLY | O_DIRECTORY)), plain(::open(path("plain"), O_RDONLY | O_DIRECTORY)),
        top(::open(root, O_RDONLY | O_DIRECTORY));
    MountCheck check(GetParam());
    // As the tree visitor asks, from the statuses of the folder and of its entry.
    const auto isMountRoot = [&check](const Fd& folder, const char* name) {
        struct statx folderStatus, entryStatus;
        EXPECT_EQ(MountCheck::status(folder.get(), "", folderStatus), 0);
        EXPECT_EQ(MountCheck::status(folder.get(), name, entryStatus), 0) << name;
        return check.isMountRoot(folder.get(), folderStatus, name, entryStatus);
    };
    EXPECT_TRUE(isMountRoot(holder, "mnt"));
    EXPECT_TRUE(isMountRoot(holder, "mnt.txt"));
    EXPECT_FALSE(isMountRoot(top, "plain"));
    EXPECT_FALSE(isMountRoot(plain, "file.txt"));
    EXPECT_FALSE(isMountRoot(plain, "deeper"));
    EXPECT_TRUE(check.holdsMount(top.get()));
    EXPECT_TRUE(check.holdsMount(holder.get()));
    EXPECT_FALSE(check.holdsMount(plain.get()));
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
