// Whole searches through SearchCommand against the fake file system and controls, yielding after
// every directory entry, with handlers run inside chosen yields.
#include "fakes.h"

#include "search/results/result_texts.h"

#include <gtest/gtest.h>

namespace {

using fakes::Harness;

class Search : public ::testing::Test {
protected:
    Harness<> h;
};

QStringList slice(const std::vector<QString>& log, size_t from, size_t n)
{
    QStringList out;
    for (size_t i = from; i < log.size() && i < from + n; ++i)
        out << log[i];
    return out;
}

QStringList lastOf(const std::vector<QString>& log, size_t n)
{
    return slice(log, log.size() >= n ? log.size() - n : 0, n);
}

TEST_F(Search, ValidationRefusesInOrderAndLeavesEverythingAsItWas)
{
    h.fs.add("/t/a.txt", 5);
    h.fs.add("/usr/lib/");
    h.fs.add("/ghost/").unreadable = true;
    ASSERT_EQ(h.search("/t"), QStringList{"/t/a.txt"});
    const std::vector<QString> logBefore = h.controls.log;
    const QString status1 = h.controls.status[1], status2 = h.controls.status[2];

    const struct {
        const char* location;
        const char* prompt;
        const char* title;
    } cases[] = {
        {"/missing", "指定搜索位置不存在", "错误"},
        {"", "请选择搜索位置", "提示"},
        {"   ", "请选择搜索位置", "提示"},
        {" 全盘搜索", "指定搜索位置不存在", "错误"}, // a blank first: a relative path, not all volumes
        {"/t/a.txt", "指定搜索位置无效", "错误"},   // a file
        {"/usr/l*", "指定搜索位置无效", "错误"},    // exists only as a wildcard pattern
        {"/ghost", "指定搜索位置无效", "错误"},     // attributes cannot be read
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.location);
        const size_t shownBefore = h.messages.shown.size();
        EXPECT_EQ(h.search(QString::fromUtf8(c.location)), QStringList{"/t/a.txt"});
        ASSERT_EQ(h.messages.shown.size(), shownBefore + 1);
        EXPECT_EQ(h.messages.shown.back(), QString::fromUtf8(c.prompt) + "|48|" + QString::fromUtf8(c.title));
        EXPECT_EQ(h.controls.log, logBefore);
        EXPECT_EQ(h.controls.status[1], status1);
        EXPECT_EQ(h.controls.status[2], status2);
    }
}

TEST_F(Search, LocksTheWindowBeforeTheWalkAndUnlocksAfterTheFinish)
{
    h.fs.add("/t/a.txt");
    h.search("/t");
    EXPECT_EQ(slice(h.controls.log, 0, 2), (QStringList{"searching", "status1 正在搜索..."}));
    EXPECT_EQ(lastOf(h.controls.log, 4),
              (QStringList{"status1 找到 1 个文件", "status2 已完成搜索", "append /t", "idle"}));
    EXPECT_FALSE(h.command.isRunning());
}

TEST_F(Search, NameAndExtensionPatternsComeFromTheNameBox)
{
    h.fs.add("/t/");
    const struct {
        const char* typed;
        const char* namePattern;
        const char* extPattern;
    } cases[] = {
        {"*", "", ""},           {"  *  ", "", ""},         {"*.*", "*.*", "*"},
        {"a.txt", "a.txt", "txt"}, {"*.txt", "*.txt", "txt"}, {"ab.txt", "ab.txt", ""},
        {".txt", ".txt", ""},    {"a.", "a.", ""},          {"?.tar.gz", "?.tar.gz", "gz"},
        {"  abc ", "abc", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        h.search("/t", c.typed);
        EXPECT_EQ(h.command.criteria().NamePattern, QString(c.namePattern));
        EXPECT_EQ(h.command.criteria().ExtPattern, QString(c.extPattern));
    }
}

TEST_F(Search, ContainsWholeWordAndCaseDecideWhichNamesAreFound)
{
    const char* const files[] = {"xABCx.txt", "xabcx.txt", "abc", "ABC", "abcd", "abc.txt", "a.txt",
                                 "B.TXT", "txt", "report.txt", "ac", "bc", "dot."};
    QStringList all;
    for (const char* f : files) {
        h.fs.add(QByteArray("/m/") + f);
        all << f;
    }
    const QStringList withTxt{"xABCx.txt", "xabcx.txt", "abc.txt", "a.txt", "B.TXT", "txt", "report.txt"};
    const struct {
        const char* name;
        int wholeWord, caseSensitive, category;
        QStringList found;
    } cases[] = {
        {"abc", 0, 0, 0, {"xABCx.txt", "xabcx.txt", "abc", "ABC", "abcd", "abc.txt"}},
        {"abc", 0, 1, 0, {"xabcx.txt", "abc", "abcd", "abc.txt"}},
        {"abc", 1, 0, 0, {"abc", "ABC"}},
        {"abc", 1, 1, 0, {"abc"}},
        {"*", 0, 0, 0, all},
        {"*", 1, 0, 0, {}},
        {"*.txt", 0, 0, 0, withTxt},
        {"*.txt", 0, 1, 0, {"xABCx.txt", "xabcx.txt", "abc.txt", "a.txt", "txt", "report.txt"}},
        {"*.txt", 1, 0, 0, {"xABCx.txt", "xabcx.txt", "abc.txt", "a.txt", "B.TXT", "report.txt"}},
        {"*.txt", 1, 1, 0, {"xABCx.txt", "xabcx.txt", "abc.txt", "a.txt", "report.txt"}},
        {"TXT", 0, 0, 0, withTxt},
        {"rep*", 1, 0, 0, {"report.txt"}},
        {"rep*", 0, 0, 0, {}}, // no wildcards in the contains test
        {"[ab]c", 1, 0, 0, {"ac", "bc"}},
        {"[ab]c", 1, 1, 0, {"ac", "bc"}},
        {"[AB]C", 1, 1, 0, {}},
        {"[ab", 1, 0, 0, {}},     // a malformed whole-word pattern finds nothing
        {"zzz", 0, 0, 0, {}},     // no extension filter: "dot." is not taken for an empty extension
        {"*.*", 0, 0, 0, all},
        {"*.[t", 0, 0, 0, all},   // a malformed extension pattern lets everything through
        {"*.[t", 0, 0, 2, withTxt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << " whole=" << c.wholeWord << " case=" << c.caseSensitive
                                        << " category=" << c.category);
        h.controls.checks[1] = c.wholeWord;
        h.controls.checks[2] = c.caseSensitive;
        h.controls.category = c.category;
        h.search("/m", c.name);
        EXPECT_EQ(h.names(), c.found);
    }
}

TEST_F(Search, HiddenEntriesNeedTheBoxButHiddenFoldersAreSearchedAnyway)
{
    h.fs.add("/h/.cache/seen.txt");
    h.fs.add("/h/.cache/.inner");
    h.fs.add("/h/.dot.txt");
    h.fs.add("/h/sys.txt").extraBits = platform::System;
    h.fs.add("/h/plain.txt");
    EXPECT_EQ(h.search("/h"), (QStringList{"/h/plain.txt", "/h/.cache/seen.txt"}));
    h.controls.checks[3] = 1;
    EXPECT_EQ(h.search("/h"), (QStringList{"/h/.cache", "/h/.dot.txt", "/h/sys.txt", "/h/plain.txt",
                                           "/h/.cache/seen.txt", "/h/.cache/.inner"}));
}

TEST_F(Search, OnlyWithPinyinHanNamesAreFoundByTheirReadings)
{
    h.fs.add("/p/办公计划.docx");
    h.fs.add("/p/budget.txt");
    EXPECT_EQ(h.search("/p", "bgjh"), QStringList{});
    h.controls.checks[4] = 1;
    EXPECT_EQ(h.search("/p", "bgjh"), QStringList{"/p/办公计划.docx"});
}

TEST_F(Search, CategoriesChooseRowsButEveryFolderIsSearched)
{
    for (const char* path : {"/c/setup.exe", "/c/SETUP.EXE", "/c/exe", "/c/tools.exe/in.exe", "/c/notes.txt",
                             "/c/pics.jpg/"})
        h.fs.add(path);
    h.controls.category = 1;
    for (int caseSensitive : {0, 1}) {
        h.controls.checks[2] = caseSensitive;
        EXPECT_EQ(h.search("/c"),
                  (QStringList{"/c/setup.exe", "/c/SETUP.EXE", "/c/exe", "/c/tools.exe/in.exe"}));
    }
    h.controls.category = 9;
    EXPECT_EQ(h.search("/c"), (QStringList{"/c/tools.exe", "/c/pics.jpg"}));
    h.controls.category = 3;
    EXPECT_EQ(h.search("/c"), QStringList{});
}

TEST_F(Search, RowsComeBreadthFirstInListingOrderWithTheirIcons)
{
    for (const char* path : {"/r/a/", "/r/f1", "/r/b/", "/r/f2", "/r/e/", "/r/a/a1/", "/r/a/fa", "/r/b/fb",
                             "/r/a/a1/deep"})
        h.fs.add(path, 1);
    QStringList progress; // panel 2 as it changes from yield to yield
    h.controls.onYield = [&](int) {
        if (progress.isEmpty() || progress.last() != h.controls.status[2])
            progress << h.controls.status[2];
    };

    EXPECT_EQ(h.search("/r"), (QStringList{"/r/a", "/r/f1", "/r/b", "/r/f2", "/r/e", "/r/a/a1", "/r/a/fa",
                                           "/r/b/fb", "/r/a/a1/deep"}));
    EXPECT_EQ(h.fs.listed, (std::vector<QByteArray>{"/r", "/r/a", "/r/b", "/r/e", "/r/a/a1"}));
    // "/r/e" holds only "." and "..": it leaves the previous folder's text.
    EXPECT_EQ(progress, (QStringList{"", "正在搜索: /r", "正在搜索: /r/a", "正在搜索: /r/b", "正在搜索: /r/a/a1"}));
    for (int i = 0; i < h.results.totalRows(); ++i) {
        const search::ResultRow& row = h.results.row(i);
        EXPECT_EQ(row.icon, h.icons.numbers.at({row.nameText(), !row.hasSize})) << row.name.bytes().constData();
    }
}

TEST_F(Search, EntryWithUnreadableAttributesIsQueuedAndBecomesARowOnlyWithHidden)
{
    h.fs.add("/u/ghost").unreadable = true;
    h.fs.add("/u/plain.txt", 7);
    EXPECT_EQ(h.search("/u"), QStringList{"/u/plain.txt"});
    EXPECT_EQ(h.fs.listed, (std::vector<QByteArray>{"/u", "/u/ghost"}));

    h.controls.checks[3] = 1;
    EXPECT_EQ(h.search("/u"), (QStringList{"/u/ghost", "/u/plain.txt"}));
    EXPECT_EQ(h.results.row(0).sizeText(), QString());
    EXPECT_EQ(h.results.row(1).sizeText(), search::sizeText(7));
    h.controls.category = 9; // it counts as a folder
    EXPECT_EQ(h.search("/u"), QStringList{"/u/ghost"});
}

// A search that could not read everything does not end as one that found all there is: neither
// where folders could not be read, nor where one was swapped for another folder once listed.
TEST_F(Search, FoldersThatCouldNotBeReadOrWereSwappedAreCountedAndAnUnreadableLocationIsSaid)
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

TEST_F(Search, StopInTheRootHandlesNoFurtherEntryAndKeepsTheRows)
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
TEST_F(Search, AFolderDeletedDuringTheSearchTakesItsRowsAndTheCountFollows)
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
TEST_F(Search, ASearchThatTookItsWildcardsAsCharactersAndFoundNothingSaysSo)
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

TEST_F(Search, CountTextReplacesSearchingOnlyFromTheFirstRow)
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

TEST_F(Search, SizeTextForFilesAndNoneForFolders)
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

TEST_F(Search, HistoryAddsANewLocationAsPlainTextIgnoringCase)
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

TEST_F(Search, AllVolumesWalksEachListedEntryInOrderWithinItsOwnVolume)
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

TEST_F(Search, RootSlashGivesPathsWithOneSeparator)
{
    h.fs.add("/usr/lib/x");
    QStringList progress;
    h.controls.onYield = [&](int) { progress << h.controls.status[2]; };
    EXPECT_EQ(h.search("/"), (QStringList{"/usr", "/usr/lib", "/usr/lib/x"}));
    EXPECT_EQ(h.fs.listed, (std::vector<QByteArray>{"/", "/usr", "/usr/lib"}));
    EXPECT_TRUE(progress.contains("正在搜索: /"));
    EXPECT_EQ(h.controls.entries.last(), "/");
}

TEST_F(Search, ClosingTheWindowInAYieldEndsTheSearchAtItsNextEntry)
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

TEST_F(Search, CountersGoPast32767)
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
