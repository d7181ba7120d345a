#include "tests/support/temporary_tree.h"
#include "platform/fileops/file_rename.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>

namespace {

using namespace platform;
using namespace testsupport;
using FileOperationsTest = TemporaryTree;

class RenameTest : public FileOperationsTest, public ::testing::WithParamInterface<bool> {
protected:
    FileOperationResult rename(const char* from, const QByteArray& to)
    {
        return GetParam() ? renameEntryByLink(entry(from), to) : renameEntry(entry(from), to);
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

TEST_P(RenameTest, ANewNameIsOneNameInTheSameFolder)
{
    writeFile(path("a.txt"), "a");
    makeFolder("d");
    for (const QByteArray& name : {QByteArray(""), QByteArray("."), QByteArray(".."), QByteArray("d/a.txt"),
                                   QByteArray("x\0y", 3)})
        EXPECT_EQ(rename("a.txt", name).error, EINVAL) << name.constData();
    EXPECT_EQ(readFile(path("a.txt")), "a");
    EXPECT_EQ(namesIn("d"), QStringList{});
}

TEST_P(RenameTest, AFolderPutInAFileRowsPlaceIsNotRenamed)
{
    writeFile(path("a.txt"), "old");
    const EntryRef seen = entry("a.txt");
    ASSERT_EQ(::rename(path("a.txt"), path("a.old")), 0);
    makeFolder("a.txt");
    const FileOperationResult done = GetParam() ? renameEntryByLink(seen, "b.txt") : renameEntry(seen, "b.txt");
    EXPECT_EQ(done.error, ESTALE);
    EXPECT_TRUE(exists(path("a.txt")));
    EXPECT_FALSE(exists(path("b.txt")));
}

INSTANTIATE_TEST_SUITE_P(KernelAndPortable, RenameTest, ::testing::Bool());

} // namespace
