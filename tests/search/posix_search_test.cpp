// Searches through the real file system on a temporary tree: links, raw name bytes, and a
// listing made inside a yield.
#include "fakes.h"

#include "platform/posix_file_system.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kGbName("\xD6\xD0\xCE\xC4.txt"); // "中文.txt" in GB18030

class PosixSearch : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        root = QFile::encodeName(tmp.path());
        ASSERT_EQ(::mkdir(root + "/sub", 0755), 0);
        ASSERT_EQ(::mkdir(root + "/many", 0755), 0);
        touch(root + "/sub/a.txt");
        touch(root + "/" + kGbName);
        ASSERT_EQ(::symlink(".", root + "/loop"), 0); // points to its own folder
    }
    // QDir cannot remove a name that is not valid UTF-8, so the test removes it itself.
    void TearDown() override { ::unlink(root + "/" + kGbName); }
    static void touch(const QByteArray& path)
    {
        const int fd = ::open(path.constData(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0) << path.constData();
        ::close(fd);
    }
    static QStringList sorted(QStringList list)
    {
        list.sort();
        return list;
    }

    QTemporaryDir tmp;
    QByteArray root;
    fakes::Harness<platform::PosixFileSystem> h;
};

TEST_F(PosixSearch, LinkToItsOwnFolderIsARowOfItsOwnAndNeverEntered)
{
    const QString r = QFile::decodeName(root);
    EXPECT_EQ(h.search(r, "loop"), QStringList{r + "/loop"});
    EXPECT_EQ(sorted(h.search(r)),
              sorted({r + "/sub", r + "/many", r + "/loop", r + "/中文.txt", r + "/sub/a.txt"}));
    EXPECT_EQ(h.command.state().FolderQueue.queuedTotal(), 2u);
}

TEST_F(PosixSearch, NonUtf8NameIsFoundByItsChineseTextAndItsRowKeepsTheBytes)
{
    const QString r = QFile::decodeName(root);
    ASSERT_EQ(h.search(r, "中文"), QStringList{r + "/中文.txt"});
    EXPECT_EQ(h.results.row(0).nameText(), "中文.txt");
    EXPECT_EQ(h.results.row(0).pathBytes(), root + "/" + kGbName);
}

TEST_F(PosixSearch, ListingMadeInsideAYieldLeavesTheWalkWhereItWas)
{
    QStringList expected;
    for (int i = 0; i < 1500; ++i) {
        const QByteArray name = "entry-with-a-rather-long-name-to-fill-buffers-" + QByteArray::number(i);
        touch(root + "/many/" + name);
        expected << QFile::decodeName(root + "/many/" + name);
    }
    h.controls.onYield = [&](int n) {
        if (n % 97 != 0)
            return;
        const auto other = h.fs.listFolder(root + "/many", {});
        ASSERT_TRUE(other);
        while (other->next()) {
        }
        EXPECT_FALSE(h.fs.firstMatch(root + "/many/entry*").isEmpty());
    };
    EXPECT_EQ(sorted(h.search(QFile::decodeName(root), "entry")), sorted(expected));
}

} // namespace
