#include "temporary_tree.h"
#include "platform/file_delete.h"

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

} // namespace
