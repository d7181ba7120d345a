#include "tests/support/temporary_tree.h"
#include "platform/fileops/file_copy.h"
#include "platform/fileops/file_delete.h"
#include "platform/fileops/file_rename.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace platform;
using testsupport::exists;
using testsupport::readFile;
using testsupport::writeFile;
using RowEntryTest = testsupport::TemporaryTree;
using LongPathTest = testsupport::InMemoryTree;

TEST_F(RowEntryTest, ALinkSwappedInForAFolderAboveARowLeadsNoActionOutside)
{
    makeFolder("a");
    makeFolder("a/sub");
    writeFile(path("a/sub/file.txt"), "mine");
    makeFolder("outside");
    makeFolder("outside/sub");
    writeFile(path("outside/sub/file.txt"), "theirs");
    makeFolder("to");
    const EntryRef file = entry("a/sub/file.txt"), folder = entry("a/sub");
    ASSERT_EQ(::rename(path("a"), path("a.old")), 0);
    ASSERT_EQ(::symlink(path("outside"), path("a")), 0);

    for (const EntryRef& row : {file, unidentified("a/sub/file.txt")}) {
        EXPECT_FALSE(deleteFile(row).ok());
        EXPECT_FALSE(renameEntry(row, "moved.txt").ok());
        EXPECT_FALSE(copyFile(row, path("to/file.txt")).ok());
    }
    for (const EntryRef& row : {folder, unidentified("a/sub")}) {
        EXPECT_FALSE(deleteFolderTree(row).ok());
        EXPECT_FALSE(renameEntry(row, "moved").ok());
        EXPECT_FALSE(copyFolderTree(row, path("to/sub")).ok());
    }
    EXPECT_EQ(namesIn("outside/sub"), QStringList{"file.txt"});
    EXPECT_EQ(readFile(path("outside/sub/file.txt")), "theirs");
    EXPECT_EQ(namesIn("to"), QStringList{});
    EXPECT_EQ(readFile(path("a.old/sub/file.txt")), "mine");
}

TEST_F(RowEntryTest, ALinkTypedAsTheSearchsLocationIsPassedWhereTheEntryIsTheOneTheWalkSaw)
{
    makeFolder("real");
    writeFile(path("real/f.txt"), "f");
    ASSERT_EQ(::symlink("real", path("typed")), 0);
    EntryRef viaLink = entry("real/f.txt");
    viaLink.path = path("typed/f.txt");

    EXPECT_EQ(renameEntry(unidentified("typed/f.txt"), "g.txt").error, ELOOP) << "nothing proves where it leads";
    EXPECT_TRUE(renameEntry(viaLink, "g.txt").ok());
    EXPECT_EQ(readFile(path("real/g.txt")), "f");
}

// An editor saves by writing a new file and renaming it over the old one.
void saveAsAnEditorDoes(const QByteArray& file, const QByteArray& content)
{
    writeFile(file + ".new", content);
    ASSERT_EQ(::rename(file + ".new", file), 0);
}

TEST_F(RowEntryTest, AFileSavedAgainSinceTheSearchIsStillTheRowsEntry)
{
    makeFolder("to");
    for (const char* name : {"copied.txt", "renamed.txt", "deleted.txt"})
        writeFile(path(name), "old");
    const EntryRef copied = entry("copied.txt"), renamed = entry("renamed.txt"), deleted = entry("deleted.txt");
    for (const char* name : {"copied.txt", "renamed.txt", "deleted.txt"})
        saveAsAnEditorDoes(path(name), "saved");

    EXPECT_TRUE(copyFile(copied, path("to/copied.txt")).ok());
    EXPECT_TRUE(renameEntry(renamed, "new name.txt").ok());
    EXPECT_TRUE(deleteFile(deleted).ok());
    EXPECT_EQ(readFile(path("to/copied.txt")), "saved");
    EXPECT_EQ(readFile(path("new name.txt")), "saved");
    EXPECT_FALSE(exists(path("deleted.txt")));
}

TEST_F(RowEntryTest, AnEntryOfTheOtherKindOrInAnotherFolderOfTheSameNameIsLeftAlone)
{
    writeFile(path("a.txt"), "file");
    makeFolder("d");
    makeFolder("p");
    writeFile(path("p/f.txt"), "old");
    makeFolder("to");
    const EntryRef file = entry("a.txt"), folder = entry("d"), inside = entry("p/f.txt");
    // A folder where the file was: deleting or copying it would take a tree the user never saw.
    ASSERT_EQ(::rename(path("a.txt"), path("a.old")), 0);
    makeFolder("a.txt");
    writeFile(path("a.txt/unseen"), "unseen");
    ASSERT_EQ(::rmdir(path("d")), 0);
    writeFile(path("d"), "now a file");
    // Another folder of the same name above the row's entry.
    ASSERT_EQ(::rename(path("p"), path("p.old")), 0);
    makeFolder("p");
    writeFile(path("p/f.txt"), "another");

    for (const EntryRef& row : {file, inside}) {
        EXPECT_EQ(deleteFile(row).error, ESTALE);
        EXPECT_EQ(deleteFolderTree(row).error, ESTALE);
        EXPECT_EQ(copyFile(row, path("to/x")).error, ESTALE);
        EXPECT_EQ(renameEntry(row, "moved").error, ESTALE);
    }
    EXPECT_EQ(deleteFolderTree(folder).error, ESTALE);
    EXPECT_EQ(copyFolderTree(folder, path("to/d")).error, ESTALE);
    EXPECT_EQ(readFile(path("a.txt/unseen")), "unseen");
    EXPECT_EQ(readFile(path("d")), "now a file");
    EXPECT_EQ(readFile(path("p/f.txt")), "another");
    EXPECT_EQ(namesIn("to"), QStringList{});
    EXPECT_EQ(namesIn(""), (QStringList{"a.old", "a.txt", "d", "p", "p.old", "to"}));
}

TEST_F(LongPathTest, ARowDeeperThanPathMaxIsRenamedAndDeleted)
{
    makeFolder("deep");
    testsupport::makeDeepChain(path("deep"), 3000);
    QByteArray bottom = path("deep"); // the last folder holding a file
    for (int level = 1; level < 3000; ++level)
        bottom += "/d";
    ASSERT_GT(bottom.size(), 6000);

    EXPECT_TRUE(renameEntry({bottom + "/f", {}}, "g").ok());
    EXPECT_EQ(deleteFile({bottom + "/f", {}}).error, ENOENT);
    EXPECT_TRUE(deleteFile({bottom + "/g", {}}).ok());
    EXPECT_TRUE(deleteFolderTree(entry("deep")).ok());
    EXPECT_FALSE(exists(path("deep")));
}

} // namespace
