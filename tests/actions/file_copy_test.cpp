#include "temporary_tree.h"
#include "platform/file_copy.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>

namespace {

using namespace platform;
using testing_actions::exists;
using testing_actions::modeOf;
using testing_actions::readFile;
using testing_actions::writeFile;
using FileOperationsTest = testing_actions::TemporaryTree;

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
