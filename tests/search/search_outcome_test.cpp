// What a search tells the window as it goes and when it ends: folders it could not read, a stop,
// rows deleted meanwhile, the count, the sizes, the locations kept, and a window closed in a
// yield; against the fake file system and controls, yielding after every directory entry.
#include "fakes.h"

#include "search/results/result_texts.h"

#include <gtest/gtest.h>

namespace {

using fakes::Harness;
using fakes::lastOf;

class SearchOutcome : public ::testing::Test {
protected:
    Harness<> h;
};

// A search that could not read everything does not end as one that found all there is: neither
// where folders could not be read, nor where one was swapped for another folder once listed.
TEST_F(SearchOutcome, FoldersThatCouldNotBeReadOrWereSwappedAreCountedAndAnUnreadableLocationIsSaid)
{
    h.fs.add("/p/one/").locked = true;
    h.fs.add("/p/sub/two/").locked = true;
    h.fs.add("/p/sub/ok.txt");
    EXPECT_EQ(h.search("/p"), (QStringList{"/p/one", "/p/sub", "/p/sub/two", "/p/sub/ok.txt"}));
    EXPECT_EQ(h.controls.status[2], "已完成搜索（无法读取 2 个文件夹）");

    h.fs.add("/p/swapped/old.txt");
    h.controls.onYield = [&](int) {
        if (!h.paths().contains("/p/swapped") || h.fs.find("/p/was"))
            return;
        h.fs.rename("/p/swapped", "/p/was");
        h.fs.add("/p/swapped/new.txt");
    };
    EXPECT_EQ(h.search("/p").filter("swapped"), QStringList{"/p/swapped"});
    EXPECT_EQ(h.controls.status[2], "已完成搜索（无法读取 2 个文件夹； 1 个文件夹在搜索中被更换）");
    h.controls.onYield = nullptr;

    h.fs.add("/q/").locked = true;
    h.search("/q");
    EXPECT_EQ(h.controls.status[1], "找到 0 个文件");
    EXPECT_EQ(h.controls.status[2], "无法读取搜索位置");

    // A stop says only that the search ended.
    h.controls.onYield = [&](int n) {
        if (n == 3)
            h.command.StopSearch();
    };
    h.search("/p");
    EXPECT_EQ(h.controls.status[2], "已完成搜索");
}

TEST_F(SearchOutcome, StopInTheRootHandlesNoFurtherEntryAndKeepsTheRows)
{
    for (const char* path : {"/s/sub/deep.txt", "/s/f1", "/s/f2", "/s/f3", "/s/f4"})
        h.fs.add(path);
    h.controls.onYield = [&](int) {
        if (h.results.totalRows() == 3 && !h.command.state().StopRequested)
            h.command.StopSearch();
    };
    EXPECT_EQ(h.search("/s"), (QStringList{"/s/sub", "/s/f1", "/s/f2"}));
    EXPECT_EQ(h.command.stats().entries, 3);
    EXPECT_EQ(h.fs.listed, std::vector<QByteArray>{"/s"});
    EXPECT_EQ(h.controls.status[1], "找到 3 个文件");
    EXPECT_EQ(h.controls.status[2], "已完成搜索");
    EXPECT_EQ(lastOf(h.controls.log, 1), QStringList{"idle"});
}

// A folder deleted from its row while the search runs takes the rows below it along, and the
// count follows at once; the rows after them stay whole.
TEST_F(SearchOutcome, AFolderDeletedDuringTheSearchTakesItsRowsAndTheCountFollows)
{
    for (int i = 0; i < 3; ++i)
        h.fs.add("/d/f" + QByteArray::number(i), 10 + i);
    h.fs.add("/d/sub/g", 99);
    h.fs.add("/d/sub/deeper/h1");
    h.fs.add("/d/sub/deeper/h2");
    h.fs.add("/d/sub2/k", 7); // a name that begins like the deleted one
    QString countAfterDelete;
    h.controls.onYield = [&](int) {
        if (!countAfterDelete.isEmpty() || h.fs.listed.back() != "/d/sub/deeper")
            return;
        h.fs.remove("/d/sub");
        h.command.diskChanged("/d/sub");
        h.command.entryDeleted("/d/sub");
        countAfterDelete = h.controls.status[1];
    };
    EXPECT_EQ(h.search("/d"), (QStringList{"/d/f0", "/d/f1", "/d/f2", "/d/sub2", "/d/sub2/k"}));
    EXPECT_EQ(countAfterDelete, "找到 5 个文件"); // f0 to f2, sub2 and k were found by then
    EXPECT_EQ(h.command.state().MatchCount, 8) << "the entries accepted, the deleted ones among them";
    EXPECT_EQ(h.controls.status[1], "找到 5 个文件");
    EXPECT_EQ(h.controls.status[2], "已完成搜索");
    EXPECT_EQ(h.results.row(2).sizeText(), search::sizeText(12));
    EXPECT_EQ(h.results.row(4).sizeText(), search::sizeText(7));
}

// Without "全字匹配" the name test looks for "*" and "?" themselves: a search that so found
// nothing says why, with whatever else it has to say.
TEST_F(SearchOutcome, ASearchThatTookItsWildcardsAsCharactersAndFoundNothingSaysSo)
{
    h.fs.add("/w/report1.txt");
    h.fs.add("/w/notes.md");
    h.fs.add("/e/");
    h.fs.add("/u/report*x");
    h.fs.add("/v/report1.txt");
    h.fs.add("/v/locked/").locked = true;
    h.fs.add("/x/").locked = true;
    const QString hint = "已完成搜索（通配符需勾选全字匹配）";
    const struct {
        const char* location;
        const char* name;
        int wholeWord;
        bool stop;
        QString end;
    } cases[] = {
        {"/w", "report*", 0, false, hint},
        {"/w", "rep?rt", 0, false, hint},
        {"/w", "*report*", 0, false, hint},
        {"/w", "report*", 0, true, hint}, // a stop too: the word is about the name, not the walk
        {"/w", "report*", 1, false, "已完成搜索"},
        {"/w", "x*", 1, false, "已完成搜索"},   // ticked: the wildcards were read
        {"/w", "zzz", 0, false, "已完成搜索"},  // no wildcard
        {"/u", "report*", 0, false, "已完成搜索"}, // found as it stands
        {"/e", "  *  ", 0, false, "已完成搜索"},  // the lone "*" is every name
        {"/e", "*.*", 0, false, "已完成搜索"},    // an extension filter reads its pattern
        {"/w", "*.d?c", 0, false, "已完成搜索"},
        {"/w", "?.doc", 0, false, "已完成搜索"},
        {"/v", "report*", 0, false, "已完成搜索（无法读取 1 个文件夹；通配符需勾选全字匹配）"},
        {"/v", "report", 0, false, "已完成搜索（无法读取 1 个文件夹）"},
        {"/x", "report*", 0, false, "无法读取搜索位置"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.location << " " << c.name << " whole=" << c.wholeWord << " stop=" << c.stop);
        h.controls.checks[1] = c.wholeWord;
        h.controls.onYield = [&](int) {
            if (c.stop)
                h.command.StopSearch();
        };
        h.search(c.location, c.name);
        EXPECT_EQ(h.controls.status[2], c.end);
    }
}

TEST_F(SearchOutcome, CountTextReplacesSearchingOnlyFromTheFirstRow)
{
    for (const char* n : {"n1", "n2", "n3"})
        h.fs.add(QByteArray("/y/") + n);
    for (int i = 1; i <= 12; ++i)
        h.fs.add("/y/match" + QByteArray::number(i));
    QStringList seen;
    h.controls.onYield = [&](int) { seen << h.controls.status[1]; };

    h.search("/y", "nothing");
    EXPECT_EQ(seen.count("正在搜索..."), seen.size());
    EXPECT_EQ(h.controls.status[1], "找到 0 个文件");

    seen.clear();
    h.search("/y", "match");
    EXPECT_EQ(seen.mid(0, 5), QStringList(5, "正在搜索...")); // ".", "..", n1 to n3
    EXPECT_EQ(seen.mid(5, 1), QStringList{"找到 1 个文件"});
    EXPECT_EQ(h.controls.status[1], "找到 12 个文件");
}

TEST_F(SearchOutcome, SizeTextForFilesAndNoneForFolders)
{
    h.fs.add("/b/zero", 0);
    h.fs.add("/b/max", 2147483647);
    h.fs.add("/b/huge", int64_t(5) << 30);
    h.fs.add("/b/dir/");
    h.search("/b");
    ASSERT_EQ(h.results.totalRows(), 4);
    EXPECT_EQ(h.results.row(0).sizeText(), " 0" + QString(13, u' ') + "字节");
    EXPECT_EQ(h.results.row(1).sizeText(), " 2147483647" + QString(4, u' ') + "字节");
    EXPECT_EQ(h.results.row(2).sizeText(), " 5368709120" + QString(4, u' ') + "字节");
    EXPECT_EQ(h.results.row(3).sizeText(), QString());
}

TEST_F(SearchOutcome, HistoryAddsANewLocationAsPlainTextIgnoringCase)
{
    for (const char* path : {"/Data/", "/x[1]/", "/x1/"})
        h.fs.add(path);
    const QStringList base{"全盘搜索", "/", "/Data", "/x[1]"};
    const struct {
        const char* location;
        bool added;
    } cases[] = {{"/data", false}, {"  /Data  ", false}, {"/Data/", true}, {"/x[1]", false}, {"/x1", true},
                 {"全盘搜索", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.location);
        h.controls.entries = base;
        h.search(c.location);
        EXPECT_EQ(h.controls.entries, c.added ? base + QStringList{search::trimBlanks(c.location)} : base);
    }
    // The text standing at the finish counts; a blank one is not remembered.
    h.controls.entries = base;
    h.controls.onYield = [&](int) { h.controls.location = "   "; };
    h.search("/x1");
    EXPECT_EQ(h.controls.entries, base);
}

TEST_F(SearchOutcome, AllVolumesWalksEachListedEntryInOrderWithinItsOwnVolume)
{
    h.fs.add("/etc/e.conf");
    h.fs.add("/mnt/v/").volume = 2;
    h.fs.add("/mnt/v/file");
    h.fs.add("/Data/song.mp3");
    h.controls.entries = {"全盘搜索", "/", "/mnt/v", "/Data"};
    EXPECT_EQ(h.search("全盘搜索"),
              (QStringList{"/etc", "/mnt", "/Data", "/etc/e.conf", "/mnt/v", "/Data/song.mp3", // "/"
                           "/mnt/v/file",                                                      // "/mnt/v"
                           "/Data/song.mp3"}));                                                 // "/Data"
    EXPECT_EQ(h.controls.status[2], "已完成搜索");

    // A stop drops the volumes not yet walked, whether or not folders were still queued.
    for (int stopAt : {1, 3}) {
        SCOPED_TRACE(stopAt);
        h.controls.onYield = [&](int n) {
            if (n == stopAt)
                h.command.StopSearch();
        };
        EXPECT_EQ(h.search("全盘搜索"), stopAt == 1 ? QStringList{} : QStringList{"/etc"});
        EXPECT_EQ(h.command.stats().entries, stopAt == 1 ? 0 : 1);
    }
}

TEST_F(SearchOutcome, RootSlashGivesPathsWithOneSeparator)
{
    h.fs.add("/usr/lib/x");
    QStringList progress;
    h.controls.onYield = [&](int) { progress << h.controls.status[2]; };
    EXPECT_EQ(h.search("/"), (QStringList{"/usr", "/usr/lib", "/usr/lib/x"}));
    EXPECT_EQ(h.fs.listed, (std::vector<QByteArray>{"/", "/usr", "/usr/lib"}));
    EXPECT_TRUE(progress.contains("正在搜索: /"));
    EXPECT_EQ(h.controls.entries.last(), "/");
}

TEST_F(SearchOutcome, ClosingTheWindowInAYieldEndsTheSearchAtItsNextEntry)
{
    for (const char* path : {"/w/a/x1", "/w/a/x2", "/w/a/x3", "/w/b/y", "/w/f"})
        h.fs.add(path);
    h.controls.onYield = [&](int) {
        if (h.fs.listed.back() == "/w/a" && h.results.totalRows() == 4)
            h.command.windowClosing();
    };
    EXPECT_EQ(h.search("/w"), (QStringList{"/w/a", "/w/b", "/w/f", "/w/a/x1"}));
    EXPECT_FALSE(h.command.isRunning());
    EXPECT_TRUE(h.command.state().FolderQueue.empty());
    EXPECT_EQ(h.controls.status[2], "已完成搜索");
    EXPECT_EQ(h.fs.listed.back(), "/w/a");
}

TEST_F(SearchOutcome, CountersGoPast32767)
{
    for (int i = 0; i < 40000; ++i)
        h.fs.add("/n/d" + QByteArray::number(i) + '/');
    h.search("/n");
    EXPECT_EQ(h.command.state().FolderQueue.queuedTotal(), 40000u);
    EXPECT_EQ(h.command.state().MatchCount, 40000);
    EXPECT_EQ(h.results.rowCount(), 40000);
    EXPECT_EQ(h.controls.status[1], "找到 40000 个文件");
}

} // namespace
