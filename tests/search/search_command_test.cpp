// Whole searches through SearchCommand against the fake file system and controls, yielding after
// every directory entry, with handlers run inside chosen yields.
#include "fakes.h"

#include "search/results/result_texts.h"

#include <gtest/gtest.h>

namespace {

using fakes::Harness;
using fakes::lastOf;
using fakes::slice;

class Search : public ::testing::Test {
protected:
    Harness<> h;
};

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

} // namespace
