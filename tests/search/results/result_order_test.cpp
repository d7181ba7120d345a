// The order the list shows: sorted by a column as a Chinese reader expects, stable, back to the
// order found; rows that arrive, go or change while sorted take their places; what a row hands out.
#include "search/results/result_list.h"
#include "search/results/result_order.h"

#include <gtest/gtest.h>

#include <numeric>

#include <QAbstractItemModelTester>
#include <QCollator>
#include <QMimeData>
#include <QPersistentModelIndex>
#include <QTest>

#include <random>
#include <vector>

namespace {

using search::ResultList;
using search::ResultOrder;
using search::threeWay;

search::ResultRow row(const char* folder, const char* name, int64_t size, bool isFolder = false)
{
    search::ResultRow r;
    r.folder = folder;
    r.name = name;
    r.size = size;
    r.hasSize = !isFolder;
    r.isFolder = isFolder;
    return r;
}

// The list's rows in the order shown.
std::vector<int> shown(const ResultOrder& order)
{
    std::vector<int> rows;
    for (int r = 0; r < order.rowCount(); ++r)
        rows.push_back(order.listRow(r));
    return rows;
}

QStringList shownNames(const ResultOrder& order)
{
    QStringList names;
    for (int r = 0; r < order.rowCount(); ++r)
        names << order.data(order.index(r, ResultList::NameColumn), Qt::DisplayRole).toString();
    return names;
}

TEST(ResultOrder, SortsEachColumnAsAChineseReaderExpectsStablyAndGoesBackToTheOrderFound)
{
    ResultList list;
    const search::ResultRow rows[] = {
        row("/d", "文件10.txt", 10), // 0
        row("/d", "文件2.txt", 2),   // 1
        row("/d", "b.txt", 5),       // 2
        row("/d", "B.txt", 5),       // 3
        row("/d", "a.txt", 7),       // 4
        row("/d", "张三.doc", 1),    // 5  zhang
        row("/d", "李四.doc", 1),    // 6  li
        row("/d", "阿姨.doc", 3),    // 7  a
        row("/d", "sub", 0, true),   // 8
        row("/d/sub", "a.txt", 7),   // 9  the same name in another folder
        row("/d/x10", "k", 4),       // 10
        row("/d/x9", "k", 4),        // 11
    };
    // Seconds since the epoch: before 1970, ties, far ahead, one unknown.
    const int64_t times[] = {100, -5, 100, search::ResultRow::kUnknownTime, 7258118400, 0, 50, 100, 20, -5, 3, 1000};
    for (size_t i = 0; i < std::size(rows); ++i) {
        search::ResultRow r = rows[i];
        r.modified = times[i];
        list.append(r);
    }
    list.flush();
    ResultOrder order(list);

    const struct {
        int column;
        Qt::SortOrder direction;
        std::vector<int> expected;
    } cases[] = {
        // Chinese by pinyin (a, li, wen, zhang), before the Latin names; 2 before 10; a letter
        // before its capital; equal names in the order found, descending too.
        {ResultList::NameColumn, Qt::AscendingOrder, {7, 6, 1, 0, 5, 4, 9, 2, 3, 10, 11, 8}},
        {ResultList::NameColumn, Qt::DescendingOrder, {8, 10, 11, 3, 2, 4, 9, 5, 0, 1, 6, 7}},
        // By folder, each folder's component by component (x9 before x10), then by name.
        {ResultList::PathColumn, Qt::AscendingOrder, {7, 6, 1, 0, 5, 4, 2, 3, 8, 9, 11, 10}},
        {ResultList::PathColumn, Qt::DescendingOrder, {10, 11, 9, 8, 3, 2, 4, 5, 0, 1, 6, 7}},
        // Bytes; the folder, with no size, first; equal sizes in the order found.
        {ResultList::SizeColumn, Qt::AscendingOrder, {8, 5, 6, 1, 7, 10, 11, 2, 3, 4, 9, 0}},
        {ResultList::SizeColumn, Qt::DescendingOrder, {0, 4, 9, 2, 3, 10, 11, 7, 1, 5, 6, 8}},
        // Newest last; the row without a time first.
        {ResultList::ModifiedColumn, Qt::AscendingOrder, {3, 1, 9, 5, 10, 8, 6, 0, 2, 7, 11, 4}},
        {ResultList::ModifiedColumn, Qt::DescendingOrder, {4, 11, 0, 2, 7, 6, 8, 10, 5, 1, 9, 3}},
    };
    const std::vector<int> found{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    for (const auto& c : cases) {
        order.sort(c.column, c.direction);
        EXPECT_EQ(shown(order), c.expected) << "column " << c.column << " order " << c.direction;
        EXPECT_EQ(order.rowOfListRow(c.expected[3]), 3);
        order.sort(-1); // the third click
        EXPECT_EQ(shown(order), found);
    }
}

// The reference is Qt's own collator, not the keys: names as a Chinese reader orders them,
// folders component by component (a folder's rows before those of the folders below it), sizes by
// bytes with folders first; rows of equal keys in the order found, whichever the direction.
TEST(ResultOrder, ManyRowsAlikeInLongBeginningsAndWholeNamesSortAsTheCollatorOrdersThemStably)
{
    QCollator collator(QLocale(QLocale::Chinese, QLocale::China));
    collator.setNumericMode(true);
    const auto byFolder = [&](const search::ResultRow& a, const search::ResultRow& b) {
        const QList<QByteArray> left = a.folder.split('/'), right = b.folder.split('/');
        for (qsizetype i = 1; i < std::min(left.size(), right.size()); ++i)
            if (const int c = collator.compare(QString::fromUtf8(left[i]), QString::fromUtf8(right[i])))
                return c;
        return threeWay(left.size(), right.size());
    };
    const auto compare = [&](int column, const search::ResultRow& a, const search::ResultRow& b) {
        if (column == ResultList::SizeColumn)
            return threeWay(a.hasSize ? a.size : -1, b.hasSize ? b.size : -1);
        if (column == ResultList::ModifiedColumn) // an unknown time is the least
            return threeWay(a.modified, b.modified);
        const int folders = column == ResultList::PathColumn ? byFolder(a, b) : 0;
        return folders ? folders : collator.compare(a.nameText(), b.nameText());
    };

    ResultList list;
    ResultOrder order(list, nullptr, {.slice = {}, .pause = {}, .fewestRowsPerSlice = 97});
    order.sort(ResultList::NameColumn); // the rows arrive while sorted, and merge
    static const char* const stems[] = {"report_2024_summary_", "Report_2024_summary_", "报告会议记录", "img"};
    static const char* const folders[] = {"/r", "/r/a", "/r/a/b10", "/r/a/b9", "/r/报告", "/r/a/b9/c"};
    std::mt19937 rng(7);
    for (int batch = 0; batch < 40; ++batch) {
        for (int i = int(rng() % 150); i > 0; --i) {
            const QByteArray name = QByteArray(stems[rng() % 4]) + QByteArray::number(rng() % 30) + ".txt";
            search::ResultRow r = row(folders[rng() % 6], name.constData(), int64_t(rng() % 20), rng() % 13 == 0);
            r.modified = rng() % 7 == 0 ? search::ResultRow::kUnknownTime : int64_t(rng() % 50) - 25;
            list.append(r);
        }
        list.flush();
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return !order.hasWaitingRows(); }, 5000));

    for (const int column : {int(ResultList::NameColumn), int(ResultList::PathColumn), int(ResultList::SizeColumn),
                             int(ResultList::ModifiedColumn)}) {
        for (const Qt::SortOrder direction : {Qt::AscendingOrder, Qt::DescendingOrder}) {
            order.sort(column, direction);
            ASSERT_EQ(order.rowCount(), list.rowCount());
            for (int r = 1; r < order.rowCount(); ++r) {
                const int above = order.listRow(r - 1), below = order.listRow(r);
                int c = compare(column, list.row(above), list.row(below));
                c = direction == Qt::AscendingOrder ? c : -c;
                ASSERT_TRUE(c < 0 || (c == 0 && above < below))
                    << "column " << column << " order " << direction << " at " << r << ": "
                    << list.row(above).pathText().toStdString() << " before " << list.row(below).pathText().toStdString();
                ASSERT_EQ(order.rowOfListRow(below), r);
            }
        }
    }
}

QStringList* capturedWarnings = nullptr;

void captureWarning(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type != QtDebugMsg && type != QtInfoMsg && capturedWarnings)
        *capturedWarnings << text;
}

// Each step leaves the order a fresh sort of the same rows would give; Qt's model tester watches
// every notification on the way.
class WhileSorted : public ::testing::TestWithParam<std::pair<int, Qt::SortOrder>> {
protected:
    WhileSorted() : previousHandler(qInstallMessageHandler(captureWarning)) { capturedWarnings = &warnings; }
    ~WhileSorted() override
    {
        qInstallMessageHandler(previousHandler);
        capturedWarnings = nullptr;
    }

    void expectAsFreshlySorted(const char* step)
    {
        ResultOrder fresh(list);
        fresh.sort(GetParam().first, GetParam().second);
        ASSERT_EQ(shownNames(order), shownNames(fresh)) << step;
        ASSERT_EQ(shown(order), shown(fresh)) << step;
    }
    void addBatch(int count)
    {
        static const char* const stems[] = {"报告", "照片", "data", "Data", "img_", "文件", "zeta", "Alpha"};
        static const char* const folders[] = {"/r", "/r/sub", "/r/x10", "/r/x9", "/r/sub/deep"};
        for (int i = 0; i < count; ++i, ++made) {
            const QByteArray name = QByteArray(stems[(made * 7) % 8]) + QByteArray::number((made * 37) % 23) + ".txt";
            const bool folder = made % 11 == 0;
            search::ResultRow r = row(folders[(made * 3) % 5], name.constData(), folder ? 0 : (made * 13) % 17, folder);
            r.modified = made % 9 == 0 ? search::ResultRow::kUnknownTime : (made * 29) % 13 - 6;
            list.append(r);
        }
        list.flush();
    }

    QStringList warnings;
    QtMessageHandler previousHandler;
    ResultList list;
    ResultOrder order{list};
    QAbstractItemModelTester tester{&order, QAbstractItemModelTester::FailureReportingMode::Warning};
    int made = 0;
};

TEST_P(WhileSorted, RowsArrivingGoingAndChangingTakeTheirPlacesAndTheOrderOutlastsASearch)
{
    addBatch(40);
    order.sort(GetParam().first, GetParam().second);
    expectAsFreshlySorted("sorted");
    const int selectedListRow = 17;
    QPersistentModelIndex selected = order.index(order.rowOfListRow(selectedListRow), 1);
    const QString selectedName = list.row(selectedListRow).nameText();

    addBatch(3); // few: merged into place
    expectAsFreshlySorted("a small batch");
    addBatch(1);
    expectAsFreshlySorted("one row");
    addBatch(30); // many: sorted again
    expectAsFreshlySorted("a large batch");
    EXPECT_EQ(order.listRow(selected.row()), selectedListRow);

    list.removeResultRow(3);
    list.removeResultRow(0);
    expectAsFreshlySorted("two rows removed");
    list.renameResultRow(5, "报告0.txt");
    list.renameResultRow(6, "zzz");
    expectAsFreshlySorted("two rows renamed");
    list.movePrefix("/r/sub", "/r/a-sub");
    expectAsFreshlySorted("a folder renamed");
    addBatch(2);
    expectAsFreshlySorted("rows after the changes");
    // A walk confirming rows from memory refreshes sizes and times, and at its end puts the rows
    // in its order.
    search::ResultRow listed = list.row(2);
    listed.size += 1000;
    listed.modified += 86400;
    list.confirmRow(2, listed);
    list.flush();
    expectAsFreshlySorted("a size and a time refreshed");
    std::vector<int> reversed(size_t(list.rowCount()));
    std::iota(reversed.rbegin(), reversed.rend(), 0);
    list.reorder(reversed);
    expectAsFreshlySorted("the rows in a walk's order");
    ASSERT_TRUE(selected.isValid());
    EXPECT_EQ(list.row(order.listRow(selected.row())).nameText(), selectedName);

    // Emptied for a new search, the list keeps its order: the new rows come into it.
    list.clear();
    EXPECT_EQ(order.sortColumn(), GetParam().first);
    addBatch(3);
    addBatch(25);
    expectAsFreshlySorted("a new search's rows");
    selected = order.index(order.rowOfListRow(4), 1);
    const QString selectedAgain = list.row(4).nameText();

    order.sort(-1);
    EXPECT_EQ(list.row(selected.row()).nameText(), selectedAgain);
    list.clear();
    EXPECT_EQ(order.sortColumn(), -1) << "back in the order found, the next search stays in it";
    addBatch(5);
    EXPECT_EQ(shown(order), (std::vector<int>{0, 1, 2, 3, 4}));
    const QPersistentModelIndex third = order.index(2, 0);
    const QString thirdName = list.row(2).nameText();
    list.reorder({4, 3, 2, 1, 0});
    list.reorder({1, 0, 2, 3, 4});
    EXPECT_EQ(list.row(third.row()).nameText(), thirdName) << "a row selected follows its row";
    EXPECT_EQ(third.row(), 2);
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join('\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(EachColumnAndOrder, WhileSorted,
                         ::testing::Values(std::pair{int(ResultList::NameColumn), Qt::AscendingOrder},
                                           std::pair{int(ResultList::PathColumn), Qt::AscendingOrder},
                                           std::pair{int(ResultList::SizeColumn), Qt::DescendingOrder},
                                           std::pair{int(ResultList::ModifiedColumn), Qt::AscendingOrder}));

// On a long list rows wait between merges: whatever happens meanwhile keeps the model's contract,
// and they go into their places.
TEST_P(WhileSorted, RowsWaitingForAMergeTakeTheirPlacesWhateverHappensMeanwhile)
{
    // A row at each flush, and no slice after a pause.
    ResultOrder waiting(list, nullptr,
                        {.slice = {}, .pause = std::chrono::hours(1), .fewestRowsPerSlice = 1});
    QAbstractItemModelTester watching(&waiting, QAbstractItemModelTester::FailureReportingMode::Warning);
    addBatch(20);
    waiting.sort(GetParam().first, GetParam().second);
    addBatch(2); // one goes into its place, one waits
    addBatch(3);
    ASSERT_TRUE(waiting.hasWaitingRows());
    EXPECT_EQ(waiting.rowCount(), 22);
    list.removeResultRow(list.rowCount() - 1); // a waiting row
    list.removeResultRow(2);
    list.renameResultRow(4, "报告0.txt");
    list.renameResultRow(list.rowCount() - 1, "Alpha0.txt"); // waiting
    EXPECT_EQ(waiting.rowCount(), 21);
    waiting.sort(GetParam().first == 0 ? 1 : 0); // every row first
    EXPECT_FALSE(waiting.hasWaitingRows());
    EXPECT_EQ(waiting.rowCount(), list.rowCount());
    waiting.sort(GetParam().first, GetParam().second);
    addBatch(4);
    ASSERT_TRUE(waiting.hasWaitingRows());
    waiting.sort(-1);
    EXPECT_EQ(waiting.rowCount(), list.rowCount());

    ResultOrder soon(list, nullptr, {.slice = {}, .pause = {}, .fewestRowsPerSlice = 2});
    soon.sort(GetParam().first, GetParam().second);
    addBatch(5);
    addBatch(6);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !soon.hasWaitingRows(); }, 5000));
    ResultOrder fresh(list);
    fresh.sort(GetParam().first, GetParam().second);
    EXPECT_EQ(shown(soon), shown(fresh));
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join('\n').toStdString();
}

TEST(ResultOrder, ARowHandsOutItsPathAsShownAndAsAUriOfItsOwnBytes)
{
    ResultList list;
    list.append(row("/d", "plain", 1));
    list.append(row("/d/a b", "\xb1\xa8\xb8\xe6#1.txt", 2)); // 报告 in GB18030
    list.append(row("/d", "bad\xff", 3));
    list.flush();
    ResultOrder order(list);
    order.sort(ResultList::SizeColumn, Qt::DescendingOrder);

    const auto cells = [&](int shownRow) {
        QModelIndexList indexes;
        for (int column = 0; column < ResultList::ColumnCount; ++column)
            indexes << order.index(shownRow, column);
        return indexes;
    };
    std::unique_ptr<QMimeData> data(order.mimeData(cells(1)));
    ASSERT_TRUE(data);
    EXPECT_EQ(data->text(), "/d/a b/报告#1.txt") << "one entry for the row's three cells";
    EXPECT_EQ(data->data("text/uri-list"), "file:///d/a%20b/%B1%A8%B8%E6%231.txt\r\n");
    EXPECT_EQ(data->data("x-special/gnome-copied-files"), "copy\nfile:///d/a%20b/%B1%A8%B8%E6%231.txt");

    data.reset(order.mimeData(cells(0)));
    EXPECT_EQ(data->text(), QStringLiteral("/d/bad\uFFFD"));
    EXPECT_EQ(data->data("text/uri-list"), "file:///d/bad%FF\r\n");
    EXPECT_EQ(order.supportedDragActions(), Qt::CopyAction) << "a drag never moves the entry";
    EXPECT_TRUE(order.flags(order.index(0, 0)) & Qt::ItemIsDragEnabled);
}

} // namespace
