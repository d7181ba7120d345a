// Searches through the real file system on a temporary tree: links, raw name bytes, and a
// listing made inside a yield.
#include "posix_search_fixture.h"

#include "platform/files/posix_file_system.h"
#include "tests/support/scoped_mount.h"
#include "tests/support/unprivileged.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <QDir>
#include <QSet>

#include <climits>
#include <cstdlib>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using posixsearch::kGbName;
using posixsearch::PosixSearch;

TEST_P(PosixSearch, LinkToItsOwnFolderIsARowOfItsOwnAndNeverEntered)
{
    const QString r = QFile::decodeName(root);
    EXPECT_EQ(h.search(r, "loop"), QStringList{r + "/loop"});
    EXPECT_EQ(sorted(h.search(r)),
              sorted({r + "/sub", r + "/many", r + "/loop", r + "/中文.txt", r + "/sub/a.txt"}));
    EXPECT_EQ(h.command.state().FolderQueue.queuedTotal(), 2u);
}

TEST_P(PosixSearch, NonUtf8NameIsFoundByItsChineseTextAndItsRowKeepsTheBytes)
{
    const QString r = QFile::decodeName(root);
    ASSERT_EQ(h.search(r, "中文"), QStringList{r + "/中文.txt"});
    EXPECT_EQ(h.results.row(0).nameText(), "中文.txt");
    EXPECT_EQ(h.results.row(0).pathBytes(), root + "/" + kGbName);
}

// The actions find a row's entry by the folder it was listed in: a search repeated on the same
// folder must not hand its rows the previous search's record of it.
TEST_P(PosixSearch, EveryRowKnowsTheFolderItWasListedInAlsoWhenTheSearchIsRepeated)
{
    const QString r = QFile::decodeName(root);
    for (int run = 0; run < 2; ++run) {
        ASSERT_EQ(h.search(r, "sub"), QStringList{r + "/sub"});
        struct stat folder;
        ASSERT_EQ(::stat(root, &folder), 0);
        EXPECT_EQ(h.results.listedIn(h.results.row(0)), platform::identityOf(folder)) << "search " << run + 1;
    }
}

TEST_P(PosixSearch, ListingMadeInsideAYieldLeavesTheWalkWhereItWas)
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
        const platform::OpenedFolder opened = h.fs.openFolder(root + "/many", false);
        ASSERT_TRUE(opened.folder);
        const auto other = opened.folder->list();
        while (other->next()) {
        }
        EXPECT_FALSE(h.fs.firstMatch(root + "/many/entry*").isEmpty());
    };
    EXPECT_EQ(sorted(h.search(QFile::decodeName(root), "entry")), sorted(expected));
}

// A folder the user may not read is not a folder without files: the search says how many it
// could not read, and that it could not read the location itself.
TEST_P(PosixSearch, FoldersTheUserCannotReadAreCountedAtTheEnd)
{
    for (const char* folder : {"/one", "/sub/two", "/sub/ok"})
        ASSERT_EQ(::mkdir(root + folder, 0755), 0);
    for (const char* folder : {"/one", "/sub/two"})
        ASSERT_EQ(::chmod(root + folder, 0), 0);
    const int answer = testsupport::asUnprivilegedUser(root, [&] {
        // A harness of the child's own, whose workers are joined before the child exits.
        fakes::Harness<platform::PosixFileSystem> mine{GetParam() ? search::ReadAheadPolicy{}
                                                                  : search::ReadAheadPolicy::off()};
        mine.search(QFile::decodeName(root));
        if (mine.controls.status[2] != "已完成搜索（无法读取 2 个文件夹）")
            return 1;
        mine.search(QFile::decodeName(root + "/one"));
        return mine.controls.status[2] == "无法读取搜索位置" ? 0 : 2;
    });
    for (const char* folder : {"/one", "/sub/two"})
        ::chmod(root + folder, 0755);
    EXPECT_EQ(answer, 0) << "1: the count of unreadable folders, 2: the unreadable location";
}

// A process that may start no further thread still searches, on the window's own thread.
TEST(NoRoomForThreads, TheSearchRunsWithoutWorkers)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root, to search as a user whose count of threads can be capped at one";
    QTemporaryDir tmp;
    const QByteArray root = QFile::encodeName(tmp.path());
    ASSERT_EQ(::mkdir(root + "/sub", 0755), 0);
    ::close(::open(root + "/sub/found.txt", O_CREAT | O_WRONLY, 0644));
    const int answer = testsupport::asUnprivilegedUser(root, [&] {
        const struct rlimit one{1, 1};
        if (::setrlimit(RLIMIT_NPROC, &one) != 0)
            return 3;
        fakes::Harness<platform::PosixFileSystem> alone{search::ReadAheadPolicy{}};
        if (alone.search(QFile::decodeName(root), "found") != QStringList{QFile::decodeName(root + "/sub/found.txt")})
            return 1;
        return alone.command.stats().readAheadThreads == 0 ? 0 : 2;
    });
    EXPECT_EQ(answer, 0) << "1: the rows, 2: a worker started after all, 3: no cap";
}

// A folder swapped for a link to an outside folder just after the walk opened it: nothing below
// it is read through the link, whether it is opened from the folder still held or from above.
TEST_P(PosixSearch, AFolderSwappedForALinkLeadsTheWalkNowhereElse)
{
    struct SwappingFileSystem : platform::PosixFileSystem {
        std::function<void(QByteArrayView)> opened;
        platform::OpenedFolder openBelow(const platform::OpenFolder& from, QByteArrayView names) override
        {
            platform::OpenedFolder result = PosixFileSystem::openBelow(from, names);
            opened(names);
            return result;
        }
    };
    QTemporaryDir outside;
    const QByteArray o = QFile::encodeName(outside.path());
    ASSERT_EQ(::mkdir(o + "/b", 0755), 0);
    touch(o + "/b/kprivate.txt");
    for (size_t openFolders : {size_t(1), size_t(0)}) {
        SCOPED_TRACE(openFolders);
        const QByteArray t = root + "/t" + QByteArray::number(openFolders);
        ASSERT_EQ(::mkdir(t, 0755), 0);
        ASSERT_EQ(::mkdir(t + "/a", 0755), 0);
        ASSERT_EQ(::mkdir(t + "/a/b", 0755), 0);
        touch(t + "/a/b/kdecoy.txt");
        search::ReadAheadPolicy policy = GetParam() ? search::ReadAheadPolicy{} : search::ReadAheadPolicy::off();
        policy.openFolders = openFolders;
        fakes::Harness<SwappingFileSystem> swapping(policy);
        bool swapped = false;
        swapping.fs.opened = [&](QByteArrayView names) {
            if (names != "a" || swapped)
                return;
            swapped = ::rename(t + "/a", t + "/a.old") == 0 && ::symlink(o, t + "/a") == 0;
        };
        const QStringList rows = swapping.search(QFile::decodeName(t), "k");
        EXPECT_TRUE(swapped);
        EXPECT_TRUE(rows.filter("kprivate").isEmpty()) << rows.join(' ').toStdString();
    }
}

// Mounts inside the searched folder are walked as find walks them: a bind mount of the same
// volume (whose root the parent's listing shows as another folder of the same device), a folder
// bound over another, a tmpfs. A search of every volume keeps each within itself.
TEST_P(PosixSearch, MountsInsideTheSearchedFolderAreWalkedAsFindWalksThem)
{
    for (const char* folder : {"/src", "/src/deeper", "/other", "/top", "/top/bind", "/top/over", "/top/over/x",
                               "/top/tm"})
        ASSERT_EQ(::mkdir(root + folder, 0755), 0);
    for (const char* file : {"/src/wombat1", "/src/deeper/wombat2", "/other/wombat3", "/top/wombat0",
                             "/top/over/x/covered-wombat"})
        touch(root + file);
    const testsupport::ScopedMount bind = testsupport::ScopedMount::bind(root + "/src", root + "/top/bind");
    if (!bind.mounted())
        GTEST_SKIP() << bind.why().toStdString();
    const testsupport::ScopedMount over = testsupport::ScopedMount::bind(root + "/other", root + "/top/over/x");
    const testsupport::ScopedMount memory = testsupport::ScopedMount::tmpfs(root + "/top/tm", "size=1m");
    ASSERT_TRUE(over.mounted() && memory.mounted());
    touch(root + "/top/tm/wombat4");

    const QString top = QFile::decodeName(root + "/top");
    EXPECT_EQ(sorted(h.search(top, "wombat")),
              sorted({top + "/wombat0", top + "/bind/wombat1", top + "/bind/deeper/wombat2",
                      top + "/over/x/wombat3", top + "/tm/wombat4"}));
    EXPECT_EQ(h.controls.status[2], "已完成搜索");
    h.controls.entries = {QStringLiteral("全盘搜索"), top};
    EXPECT_EQ(h.search(QStringLiteral("全盘搜索"), "wombat"), QStringList{top + "/wombat0"});
}

// A folder swapped for another folder once its parent was listed is not walked, and the end of
// the search says so.
TEST_P(PosixSearch, AFolderSwappedForAnotherFolderIsSkippedAndCounted)
{
    struct SwappingFileSystem : platform::PosixFileSystem {
        std::function<void(QByteArrayView)> opening;
        platform::OpenedFolder openBelow(const platform::OpenFolder& from, QByteArrayView names) override
        {
            opening(names);
            return PosixFileSystem::openBelow(from, names);
        }
    };
    ASSERT_EQ(::mkdir(root + "/sub/inner", 0755), 0);
    touch(root + "/sub/inner/kold.txt");
    fakes::Harness<SwappingFileSystem> swapping(GetParam() ? search::ReadAheadPolicy{} : search::ReadAheadPolicy::off());
    bool swapped = false;
    swapping.fs.opening = [&](QByteArrayView names) {
        if (names != "inner" || swapped)
            return;
        swapped = ::rename(root + "/sub/inner", root + "/inner.old") == 0 && ::mkdir(root + "/sub/inner", 0755) == 0;
        touch(root + "/sub/inner/knew.txt");
    };
    EXPECT_TRUE(swapping.search(QFile::decodeName(root), "k").filter(".txt").isEmpty());
    EXPECT_TRUE(swapped);
    EXPECT_EQ(swapping.controls.status[2], "已完成搜索（ 1 个文件夹在搜索中被更换）");
}

// However deep the tree, the walk holds no more folders open than its bound allows.
TEST_P(PosixSearch, ADeepChainIsWalkedWithinTheBoundOfOpenFolders)
{
    int fd = ::open(root, O_RDONLY | O_DIRECTORY);
    for (int level = 0; level < 150 && fd >= 0; ++level) {
        ASSERT_EQ(::mkdirat(fd, "chain-of-folders", 0755), 0);
        const int below = ::openat(fd, "chain-of-folders", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = below;
    }
    ::close(fd);
    const auto openDescriptors = [] { return QDir("/proc/self/fd").entryList(QDir::Files | QDir::System).size(); };
    search::ReadAheadPolicy policy = GetParam() ? search::ReadAheadPolicy{} : search::ReadAheadPolicy::off();
    policy.workers = 2;
    policy.openFolders = 4;
    fakes::Harness<platform::PosixFileSystem> deep(policy);
    const qsizetype before = openDescriptors();
    qsizetype most = 0;
    deep.controls.onYield = [&](int) { most = std::max(most, openDescriptors()); };
    deep.search(QFile::decodeName(root + "/chain-of-folders"), "chain");
    std::system(("rm -rf -- '" + root + "/chain-of-folders'").constData()); // past PATH_MAX
    EXPECT_EQ(deep.results.totalRows(), 149);
    // The bound, the root, and for each worker its own folder, the walk's and one to open from.
    EXPECT_LE(most - before, 4 + 1 + 3 * policy.workers);
}

// A folder's listing may hand out an entry again under the name it was given meanwhile (a
// directory's hash order puts the new name anywhere): a row renamed from the window while its
// folder is still being listed must not come back as a second row, nor a renamed folder's tree
// be walked twice.
TEST_P(PosixSearch, AnEntryRenamedWhileItsFolderIsListedIsListedOnce)
{
    const QByteArray many = root + "/many";
    constexpr int kEntries = 10000; // listed in many reads, so the new names land ahead of them
    for (int i = 0; i < kEntries; ++i)
        touch(many + "/f" + QByteArray::number(i));
    ASSERT_EQ(::mkdir(many + "/d", 0755), 0);
    touch(many + "/d/inside");
    int renamed = 0;
    h.controls.onYield = [&](int) {
        if (renamed >= 40 || h.results.totalRows() < 200)
            return;
        for (int row = int(h.results.totalRows()) - 1; row >= 0 && renamed < 40; --row) {
            const QByteArray path = h.results.row(row).pathBytes();
            if (!path.startsWith(many + "/") || h.results.row(row).name.view().startsWith("renamed"))
                continue;
            const QByteArray name = "renamed" + QByteArray::number(renamed++);
            ASSERT_EQ(::rename(path.constData(), (many + "/" + name).constData()), 0);
            h.results.renameResultRow(row, name);
            h.command.entryRenamed(path, many + "/" + name);
        }
    };
    const QStringList rows = h.search(QFile::decodeName(root));
    EXPECT_EQ(rows.size(), QSet<QString>(rows.begin(), rows.end()).size());
    EXPECT_EQ(rows.size(), kEntries + 7); // many, sub, loop, 中文.txt, sub/a.txt, many/d, many/d/inside
}

INSTANTIATE_TEST_SUITE_P(Both, PosixSearch, ::testing::Bool(), posixsearch::readAheadName);

} // namespace
