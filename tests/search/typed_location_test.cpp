// Locations as typed through the real file system: names of bytes of their own, blanks, links, and
// a tree deeper than the kernel takes in one path.
#include "posix_search_fixture.h"

#include "tests/support/scoped_mount.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

#include <fcntl.h>
#include <unistd.h>

namespace {

using posixsearch::kGbName;
using posixsearch::PosixSearch;

// Typed locations reach folders whose names are bytes of their own.
class TypedLocation : public PosixSearch {};

TEST_P(TypedLocation, AChineseNameTypedAsTextReachesAFolderNamedInGb18030)
{
    const QByteArray gbFolder("\xD6\xD0\xCE\xC4"); // "中文" in GB18030
    ASSERT_EQ(::mkdir(root + "/" + gbFolder, 0755), 0);
    touch(root + "/" + gbFolder + "/inside.txt");
    const QString r = QFile::decodeName(root);
    EXPECT_EQ(h.search(r + "/中文", "inside"), QStringList{r + "/中文/inside.txt"});
    EXPECT_TRUE(h.messages.shown.isEmpty());
    EXPECT_EQ(h.results.row(0).pathBytes(), root + "/" + gbFolder + "/inside.txt");
    // The history keeps the bytes that were searched beside the text.
    EXPECT_EQ(h.controls.entries.last(), r + "/中文");
    EXPECT_EQ(h.controls.bytes.value(int(h.controls.entries.size()) - 1), root + "/" + gbFolder);
    ::unlink(root + "/" + gbFolder + "/inside.txt");
    ::rmdir(root + "/" + gbFolder);
}

TEST_P(TypedLocation, AListedEntrySearchesItsOwnBytes)
{
    const QByteArray odd("odd\xFF"); // no text spells these bytes
    ASSERT_EQ(::mkdir(root + "/" + odd, 0755), 0);
    touch(root + "/" + odd + "/x.txt");
    h.controls.entries << "the odd one";
    h.controls.bytes[1] = root + "/" + odd;
    h.search("the odd one", "x");
    ASSERT_EQ(h.results.totalRows(), 1);
    EXPECT_EQ(h.results.row(0).pathBytes(), root + "/" + odd + "/x.txt");
    ::unlink(root + "/" + odd + "/x.txt");
    ::rmdir(root + "/" + odd);
}

TEST_P(TypedLocation, ATrailingBlankIsKeptWhereTheFolderHasItAndTrimmedWhereNot)
{
    ASSERT_EQ(::mkdir(root + "/sp ", 0755), 0);
    touch(root + "/sp /blank.txt");
    const QString r = QFile::decodeName(root);
    EXPECT_EQ(h.search(r + "/sp ", "blank"), QStringList{r + "/sp /blank.txt"});
    EXPECT_EQ(h.search(r + "/sub  ", "a.txt"), QStringList{r + "/sub/a.txt"}); // no "sub  ": trimmed
    EXPECT_TRUE(h.messages.shown.isEmpty());
    ::unlink(root + "/sp /blank.txt");
    ::rmdir(root + "/sp ");
}

TEST_P(TypedLocation, ARootThatIsALinkToAFolderIsSearchedThereUnderThePathAsTyped)
{
    ASSERT_EQ(::symlink("sub", root + "/via"), 0);
    const QString r = QFile::decodeName(root);
    for (const QString& typed : {r + "/via", r + "/via/"}) {
        SCOPED_TRACE(typed.toStdString());
        EXPECT_EQ(h.search(typed, "a.txt"), QStringList{r + "/via/a.txt"});
        EXPECT_TRUE(h.messages.shown.isEmpty());
    }
    // Inside the walk a link stays an entry of its own.
    EXPECT_FALSE(h.search(r, "a.txt").contains(r + "/via/a.txt"));
    // A link to a file is still no folder to search.
    ASSERT_EQ(::symlink("sub/a.txt", root + "/file-link"), 0);
    h.search(r + "/file-link");
    EXPECT_EQ(h.messages.shown.value(0), "指定搜索位置无效|48|错误");
}

TEST_P(TypedLocation, MergedUsrLinksOfThisMachineAreSearchable)
{
    struct stat st;
    if (::lstat("/bin", &st) != 0 || !S_ISLNK(st.st_mode))
        GTEST_SKIP() << "/bin is no link on this machine";
    for (const char* typed : {"/bin", "/bin/"}) {
        SCOPED_TRACE(typed);
        const QStringList rows = h.search(typed, "sh");
        EXPECT_TRUE(h.messages.shown.isEmpty()) << h.messages.shown.join(", ").toStdString();
        EXPECT_TRUE(rows.contains("/bin/sh"));
    }
}

// A tree deeper than the kernel takes in one path, built and removed relative to descriptors.
class DeepTree : public ::testing::TestWithParam<bool> {
protected:
    static constexpr int kLevels = 30;
    void TearDown() override
    {
        if (!tmp.path().isEmpty())
            std::system(("rm -rf -- '" + QFile::encodeName(tmp.path()) + "/d'").constData());
    }
    QTemporaryDir tmp;
    fakes::Harness<platform::PosixFileSystem> h{GetParam() ? search::ReadAheadPolicy{} : search::ReadAheadPolicy::off()};
};

TEST_P(DeepTree, EveryLevelIsWalkedPastPathMaxAndTheRowsKeepTheirFullPaths)
{
    const QByteArray name(200, 'd');
    int fd = ::open(QFile::encodeName(tmp.path()).constData(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::mkdirat(fd, "d", 0755), 0);
    QByteArray path = QFile::encodeName(tmp.path()) + "/d";
    int level = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
    ::close(fd);
    for (int i = 0; i < kLevels; ++i) {
        const int marker = ::openat(level, ("marker" + QByteArray::number(i)).constData(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(marker, 0);
        ::close(marker);
        ASSERT_EQ(::mkdirat(level, name.constData(), 0755), 0);
        const int next = ::openat(level, name.constData(), O_RDONLY | O_DIRECTORY);
        ::close(level);
        ASSERT_GE(next, 0);
        level = next;
        path += '/' + name;
    }
    ::close(level);
    ASSERT_GT(path.size(), PATH_MAX);

    h.search(tmp.path() + "/d", "marker");
    ASSERT_EQ(h.results.totalRows(), kLevels);
    EXPECT_EQ(h.results.row(kLevels - 1).pathBytes(), path.left(path.size() - 201) + "/marker29");
    EXPECT_EQ(h.controls.status[2], "已完成搜索");
}

INSTANTIATE_TEST_SUITE_P(Both, TypedLocation, ::testing::Bool(), posixsearch::readAheadName);
INSTANTIATE_TEST_SUITE_P(Both, DeepTree, ::testing::Bool(), posixsearch::readAheadName);

} // namespace
