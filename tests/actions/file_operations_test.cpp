#include "action_fakes.h"
#include "platform/file_operations.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <cerrno>
#include <sys/stat.h>

namespace {

using namespace platform;
using testing_actions::exists;
using testing_actions::modeOf;
using testing_actions::readFile;
using testing_actions::writeFile;

class FileOperationsTest : public ::testing::Test {
protected:
    QByteArray path(const char* relative) const { return root + '/' + relative; }
    void makeFolder(const char* relative, mode_t mode = 0755) { ASSERT_EQ(::mkdir(path(relative), mode), 0) << relative; }
    QStringList namesIn(const char* relative) const
    {
        return QDir(QString::fromUtf8(path(relative))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System);
    }

    QTemporaryDir dir;
    QByteArray root = QFile::encodeName(dir.path());
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

class RenameTest : public FileOperationsTest, public ::testing::WithParamInterface<bool> {
protected:
    FileOperationResult rename(const char* from, const char* to)
    {
        return GetParam() ? renameNoReplaceByLink(path(from), path(to)) : renameNoReplace(path(from), path(to));
    }
};

TEST_P(RenameTest, RenamesFilesFoldersAndLinksButNeverReplacesAnEntry)
{
    writeFile(path("a.txt"), "a");
    writeFile(path("b.txt"), "b");
    makeFolder("d");
    makeFolder("e");
    writeFile(path("e/inside"), "e");
    ASSERT_EQ(::symlink("a.txt", path("l")), 0);

    EXPECT_EQ(rename("a.txt", "b.txt").error, EEXIST);
    EXPECT_EQ(rename("d", "e").error, EEXIST);
    EXPECT_EQ(rename("d", "b.txt").error, EEXIST);
    EXPECT_EQ(readFile(path("a.txt")), "a");
    EXPECT_EQ(readFile(path("b.txt")), "b");
    EXPECT_EQ(readFile(path("e/inside")), "e");

    EXPECT_TRUE(rename("a.txt", "c.txt").ok());
    EXPECT_TRUE(rename("d", "f").ok());
    EXPECT_TRUE(rename("l", "l2").ok());
    EXPECT_EQ(readFile(path("c.txt")), "a");
    EXPECT_FALSE(exists(path("a.txt")));
    EXPECT_FALSE(exists(path("d")));
    EXPECT_TRUE(exists(path("f")));
    char target[16] = {};
    EXPECT_EQ(::readlink(path("l2"), target, sizeof target - 1), 5) << "the link moved, not its target";
}

INSTANTIATE_TEST_SUITE_P(KernelAndPortable, RenameTest, ::testing::Bool());

TEST_F(FileOperationsTest, CopyFileReplacesTheDestinationWithContentsAndPermissionBits)
{
    makeFolder("to");
    writeFile(path("src.txt"), "new contents", 0640);
    writeFile(path("to/src.txt"), "old, and longer than the new", 0600);
    EXPECT_TRUE(copyFile(path("src.txt"), path("to/src.txt")).ok());
    EXPECT_EQ(readFile(path("to/src.txt")), "new contents");
    EXPECT_EQ(modeOf(path("to/src.txt")), 0640u);
    EXPECT_EQ(namesIn("to"), QStringList{"src.txt"}) << "no temporary file stays behind";

    // A failed copy leaves the old file as it was.
    ASSERT_EQ(::mkfifo(path("pipe"), 0644), 0);
    writeFile(path("to/pipe"), "old");
    EXPECT_FALSE(copyFile(path("pipe"), path("to/pipe")).ok());
    EXPECT_EQ(readFile(path("to/pipe")), "old");
    EXPECT_EQ(namesIn("to"), (QStringList{"pipe", "src.txt"}));

    // A folder is never replaced by a file, and a file never by itself.
    makeFolder("to/dir");
    EXPECT_EQ(copyFile(path("src.txt"), path("to/dir")).error, EISDIR);
    EXPECT_EQ(copyFile(path("src.txt"), path("src.txt")).error, EINVAL);
    EXPECT_EQ(copyFile(path("src.txt"), path("./src.txt")).error, EINVAL);
    EXPECT_EQ(readFile(path("src.txt")), "new contents");
}

TEST_F(FileOperationsTest, CopyFolderTreeMergesReplacingFilesAndCopyingLinksAsLinks)
{
    makeFolder("src");
    makeFolder("src/sub");
    writeFile(path("src/sub/x.txt"), "new x");
    writeFile(path("src/top.txt"), "top");
    ASSERT_EQ(::symlink("../elsewhere", path("src/sub/link")), 0);
    makeFolder("src/ro");
    writeFile(path("src/ro/r"), "r");
    ASSERT_EQ(::chmod(path("src/ro"), 0555), 0);
    makeFolder("dst");
    makeFolder("dst/src");
    makeFolder("dst/src/sub");
    writeFile(path("dst/src/sub/x.txt"), "old x");
    writeFile(path("dst/src/extra.txt"), "extra");

    EXPECT_TRUE(copyFolderTree(path("src"), path("dst/src")).ok());
    EXPECT_EQ(readFile(path("dst/src/sub/x.txt")), "new x");
    EXPECT_EQ(readFile(path("dst/src/top.txt")), "top");
    EXPECT_EQ(readFile(path("dst/src/extra.txt")), "extra");
    EXPECT_EQ(readFile(path("dst/src/ro/r")), "r");
    EXPECT_EQ(modeOf(path("dst/src/ro")), 0555u);
    char target[32] = {};
    EXPECT_EQ(QByteArray(target, int(::readlink(path("dst/src/sub/link"), target, sizeof target))), "../elsewhere");
    EXPECT_EQ(namesIn("dst/src/sub"), (QStringList{"link", "x.txt"}));
    ::chmod(path("src/ro"), 0755);
    ::chmod(path("dst/src/ro"), 0755);
}

TEST_F(FileOperationsTest, AFolderIsNeverCopiedOntoOrIntoItself)
{
    makeFolder("src");
    makeFolder("src/sub");
    writeFile(path("src/sub/f"), "f");
    ASSERT_EQ(::symlink(path("src/sub"), path("via-link")), 0);

    EXPECT_EQ(copyFolderTree(path("src"), path("src")).error, EINVAL);
    EXPECT_EQ(copyFolderTree(path("src"), path("src/src")).error, EINVAL);
    EXPECT_EQ(copyFolderTree(path("src"), path("src/sub/src")).error, EINVAL);
    EXPECT_EQ(copyFolderTree(path("src"), path("via-link/src")).error, EINVAL);
    EXPECT_EQ(namesIn("src"), QStringList{"sub"});
    EXPECT_EQ(namesIn("src/sub"), QStringList{"f"});

    writeFile(path("file"), "file");
    EXPECT_EQ(copyFolderTree(path("src"), path("file")).error, ENOTDIR);
    EXPECT_EQ(readFile(path("file")), "file");
}

} // namespace
