// The window and the walks' memory: the answer shown grey as the user types, confirmed by Enter,
// and the memory kept across starts in the cache file, or not at all where the setting says so.
#include "mainwindow/form1.h"
#include "mainwindow/form1_controls.h"
#include "mainwindow/result_view.h"
#include "platform/files/posix_file_system.h"
#include "search/results/result_list.h"
#include "tests/support/memory_store.h"
#include "tests/support/recording_messages.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <functional>

namespace {

class CountingFileSystem : public platform::PosixFileSystem {
public:
    platform::OpenedFolder openFolder(const QByteArray& path, bool followLink) override
    {
        if (listings++ == 0 && onFirstListing)
            onFirstListing();
        return PosixFileSystem::openFolder(path, followLink);
    }
    platform::OpenedFolder openBelow(const platform::OpenFolder& from, QByteArrayView names) override
    {
        ++listings;
        return PosixFileSystem::openBelow(from, names);
    }
    int listings = 0; // of the current walk, from 0
    std::function<void()> onFirstListing;
};

class Form1MemoryTest : public ::testing::Test {
protected:
    std::unique_ptr<mainwindow::Form1> makeWindow(QString memoryFolder = {}, platform::SettingsStore* settings = nullptr)
    {
        auto w = std::make_unique<mainwindow::Form1>(mainwindow::Form1Services{
            .fileSystem = fileSystem,
            .messages = &messages,
            .settings = settings,
            .probeVolumes = [] { return QList<QByteArray>{"/"}; },
            .yieldPolicy = {},
            .readAhead = search::ReadAheadPolicy::off(),
            .memoryFolder = memoryFolder});
        mainwindow::Form1Controls::of(*w).Combo1->setEditText(tree.path());
        return w;
    }
    void touch(const QString& name)
    {
        QDir().mkpath(tree.path() + "/d");
        QFile file(tree.path() + "/d/" + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    static QStringList rows(mainwindow::Form1& w, bool* allGrey = nullptr)
    {
        QStringList names;
        bool grey = true;
        const search::ResultList& list = w.results();
        for (int r = 0; r < list.rowCount(); ++r) {
            names << list.row(r).nameText();
            grey = grey && list.data(list.index(r, 0), Qt::ForegroundRole).isValid();
        }
        if (allGrey)
            *allGrey = grey;
        return names;
    }
    // Types a key into the name field; the memory may still be being read from its file.
    static void typeUntilRows(mainwindow::Form1& w, const QString& text)
    {
        QLineEdit* field = mainwindow::Form1Controls::of(w).Text1;
        const QDeadlineTimer deadline(5000);
        do {
            field->clear();
            QTest::keyClicks(field, text);
        } while (w.results().rowCount() == 0 && !deadline.hasExpired() && (QTest::qWait(20), true));
    }

    CountingFileSystem fileSystem;
    testsupport::RecordingMessages messages;
    QTemporaryDir tree;
};

TEST_F(Form1MemoryTest, TypingShowsTheRememberedAnswerGreyWithoutAWalkAndEnterConfirmsIt)
{
    for (const char* name : {"apple", "apricot", "banana"})
        touch(name);
    auto w = makeWindow();
    const mainwindow::Form1Controls c = mainwindow::Form1Controls::of(*w);
    QTest::keyClicks(c.Text1, "b");
    EXPECT_EQ(w->results().rowCount(), 0) << "nothing is remembered before a search";
    c.Text1->setText("*");
    c.Command1->click();
    ASSERT_EQ(rows(*w).size(), 4); // the folder d too

    QFile::remove(tree.path() + "/d/apricot");
    touch("avocado");
    const int listings = fileSystem.listings;
    c.Text1->clear();
    QTest::keyClicks(c.Text1, "ap");
    bool grey = false;
    EXPECT_EQ(rows(*w, &grey), QStringList({"apple", "apricot"}));
    EXPECT_TRUE(grey);
    EXPECT_EQ(c.Panel2->text(), "按回车核对");
    EXPECT_EQ(c.Panel1->text(), "找到 2 个文件");
    EXPECT_EQ(fileSystem.listings, listings) << "typing walks nothing";

    QTest::keyClick(c.Text1, Qt::Key_Return);
    EXPECT_EQ(rows(*w, &grey), QStringList({"apple"}));
    EXPECT_FALSE(grey);
    EXPECT_EQ(c.Panel2->text(), "已完成搜索");

    // 开始搜索 on a remembered location shows the memory's rows before the walk lists anything.
    c.Text1->setText("a");
    QStringList beforeTheWalk;
    fileSystem.listings = 0;
    fileSystem.onFirstListing = [&] { beforeTheWalk = rows(*w, &grey); };
    c.Command1->click();
    fileSystem.onFirstListing = nullptr;
    EXPECT_TRUE(grey);
    EXPECT_EQ(beforeTheWalk, rows(*w, &grey));
    EXPECT_FALSE(grey);
    EXPECT_EQ(beforeTheWalk.size(), 3); // apple, avocado, banana
    // A location nothing remembers leaves the list as it is.
    c.Combo1->setEditText(QDir::tempPath());
    QTest::keyClicks(c.Text1, "x");
    EXPECT_EQ(rows(*w), beforeTheWalk);
}

TEST_F(Form1MemoryTest, TheMemoryIsKeptAcrossStartsInAPrivateFileUnlessTheSettingSaysNo)
{
    touch("kept");
    QTemporaryDir cache;
    const QString file = cache.path() + "/walk-memory";
    {
        auto w = makeWindow(cache.path());
        mainwindow::Form1Controls::of(*w).Command1->click();
        w->close();
    }
    struct stat st {};
    ASSERT_EQ(stat(QFile::encodeName(file).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    {
        auto w = makeWindow(cache.path());
        const int listings = fileSystem.listings;
        typeUntilRows(*w, "kep");
        EXPECT_EQ(rows(*w), QStringList({"kept"}));
        EXPECT_EQ(fileSystem.listings, listings);
    }

    testsupport::MemoryStore off;
    off.values["Form1/remember"] = "0";
    auto w = makeWindow(cache.path(), &off);
    EXPECT_FALSE(QFile::exists(file)) << "switched off, the file goes";
    mainwindow::Form1Controls::of(*w).Command1->click();
    QTest::keyClicks(mainwindow::Form1Controls::of(*w).Text1, "k");
    EXPECT_EQ(mainwindow::Form1Controls::of(*w).Panel2->text(), "已完成搜索") << "nothing answers from memory";
    w->close();
    EXPECT_FALSE(QFile::exists(file)) << "and nothing is written";
}

} // namespace
