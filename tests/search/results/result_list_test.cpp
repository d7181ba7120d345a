// The result model: it keeps Qt's model contract, and rows reach a view only at a flush.
#include "search/results/result_list.h"
#include "search/results/result_texts.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>

namespace {

search::ResultRow row(const char* name, int64_t size, bool hasSize = true)
{
    search::ResultRow r;
    r.folder = "/d";
    r.name = name;
    r.size = size;
    r.hasSize = hasSize;
    return r;
}

QStringList* capturedWarnings = nullptr;

void captureWarning(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type != QtDebugMsg && type != QtInfoMsg && capturedWarnings)
        *capturedWarnings << text;
}

TEST(ResultList, KeepsTheModelContractOverAppendsFlushesRemovesAndClears)
{
    QStringList warnings;
    capturedWarnings = &warnings;
    const QtMessageHandler previous = qInstallMessageHandler(captureWarning);
    {
        search::ResultList list;
        QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::Warning);
        list.append(row("a", 1));
        list.append(row("b", 2));
        list.append(row("dir", 0, false));
        list.flush();
        list.removeResultRow(1);
        list.append(row("c", 3));
        list.flush();
        list.renameResultRow(0, "a2");
        list.removeResultRow(0);
        list.removeResultRow(7); // out of range: ignored
        list.append(row("f", 6));
        list.flush();
        list.append(row("g", 7)); // waits
        list.removeEntry("/d");
        list.clear();
        list.flush();
        list.append(row("e", 5));
        list.flush();
    }
    qInstallMessageHandler(previous);
    capturedWarnings = nullptr;
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join('\n').toStdString();
}

TEST(ResultList, RowsReachTheViewOnlyAtAFlushInOneInsertionPerBatch)
{
    search::ResultList list;
    QSignalSpy inserted(&list, &QAbstractItemModel::rowsInserted);
    list.append(row("a.txt", 1234));
    list.append(row("b", 0));
    list.append(row("dir", 0, false));
    EXPECT_EQ(list.rowCount(), 0);
    EXPECT_EQ(list.totalRows(), 3);
    EXPECT_EQ(inserted.count(), 0);

    list.flush();
    list.flush();
    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted[0][1].toInt(), 0);
    EXPECT_EQ(inserted[0][2].toInt(), 2);
    EXPECT_EQ(list.rowCount(), 3);

    const auto text = [&](int r, int c) { return list.data(list.index(r, c), Qt::DisplayRole).toString(); };
    EXPECT_EQ(text(0, search::ResultList::NameColumn), "a.txt");
    EXPECT_EQ(text(0, search::ResultList::PathColumn), "/d/a.txt");
    EXPECT_EQ(text(0, search::ResultList::SizeColumn), search::sizeText(1234));
    EXPECT_EQ(text(2, search::ResultList::SizeColumn), QString());
    EXPECT_EQ(list.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "文件位置");
}

TEST(ResultTexts, SizeIsLeftAlignedInFifteenThenBytesAndCountReadsFound)
{
    EXPECT_EQ(search::sizeText(0), " 0" + QString(13, u' ') + "字节");
    EXPECT_EQ(search::sizeText(1234), " 1234" + QString(10, u' ') + "字节");
    EXPECT_EQ(search::sizeText(2147483647), " 2147483647" + QString(4, u' ') + "字节");
    EXPECT_EQ(search::sizeText(int64_t(5) << 30), " 5368709120" + QString(4, u' ') + "字节");
    EXPECT_EQ(search::sizeText(1234567890123456789), " 1234567890123456789字节");
    EXPECT_EQ(search::countText(12), QStringLiteral("找到 12 个文件"));
    EXPECT_EQ(search::countText(0), QStringLiteral("找到 0 个文件"));
}

// A deleted entry's rows go with those below it, component by component, from the root's
// entries too, and whether shown or waiting; each run of shown rows in one removal.
const std::pair<const char*, const char*> kTreeRows[] = {
    {"", "t"}, {"", "tx"},                          // entries of the root
    {"/t", "F"}, {"/t", "F2"}, {"/t", "G"},          // "F2" only begins like "F"
    {"/t/F", "a"}, {"/t/F", "b"}, {"/t/F2", "c"},
    {"/t/F/b/", "d"},                               // a folder typed with its trailing "/"
    {"/t/F/b/e", "f"},                              // waits for the flush
};

void fill(search::ResultList& list)
{
    for (const auto& [folder, name] : kTreeRows) {
        search::ResultRow r;
        r.folder = folder;
        r.name = name;
        list.append(r);
        if (QByteArray(name) == "d")
            list.flush();
    }
}

QStringList paths(const search::ResultList& list)
{
    QStringList left;
    for (int i = 0; i < list.totalRows(); ++i)
        left << list.row(i).pathText();
    return left;
}

TEST(ResultList, RemovingManyEntriesAtOnceLeavesWhatRemovingThemOneByOneLeaves)
{
    const std::vector<std::vector<QByteArray>> deletes = {
        {"/t/F", "/tx"}, {"/t/F/b", "/t/F2/c", "/t/G"}, {"/t/F/a", "/t/F"}, {"/t/", "/t/F"}, {"/nowhere"}};
    for (const std::vector<QByteArray>& gone : deletes) {
        search::ResultList atOnce, oneByOne;
        fill(atOnce);
        fill(oneByOne);
        int64_t removed = 0;
        for (const QByteArray& path : gone)
            removed += oneByOne.removeEntry(path);
        EXPECT_EQ(atOnce.removeEntries(gone), removed) << gone.front().constData();
        EXPECT_EQ(paths(atOnce), paths(oneByOne)) << gone.front().constData();
        EXPECT_EQ(atOnce.rowCount(), oneByOne.rowCount());
    }
}

TEST(ResultList, RemovingAnEntryTakesItsRowsAndThoseBelowItOneRunAtATime)
{
    search::ResultList list;
    fill(list);
    QSignalSpy removed(&list, &QAbstractItemModel::rowsRemoved);
    EXPECT_EQ(list.removeEntry("/t/F"), 5);
    EXPECT_EQ(paths(list), (QStringList{"/t", "/tx", "/t/F2", "/t/G", "/t/F2/c"}));
    ASSERT_EQ(removed.count(), 3);
    EXPECT_EQ(removed[2][1].toInt(), 2); // the runs from the last: [5, 6] and [8], then [2]
    EXPECT_EQ(list.rowCount(), 5);

    EXPECT_EQ(list.removeEntry("/t/"), 4);
    EXPECT_EQ(list.totalRows(), 1);
    EXPECT_EQ(list.row(0).pathText(), "/tx");
}

} // namespace
