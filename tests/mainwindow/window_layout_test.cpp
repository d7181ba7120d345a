// The window that grows, and what it remembers of its size, columns and sort between runs.
#include "mainwindow/form1.h"
#include "mainwindow/form1_controls.h"
#include "mainwindow/option_box.h"
#include "mainwindow/result_view.h"
#include "platform/files/posix_file_system.h"
#include "search/results/result_list.h"
#include "search/results/result_order.h"
#include "tests/support/memory_store.h"
#include "tests/support/recording_messages.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QComboBox>
#include <QScreen>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <map>

namespace {

using mainwindow::Form1;
using testsupport::MemoryStore;

class WindowLayout : public ::testing::Test {
protected:
    std::unique_ptr<Form1> makeWindow(platform::SettingsStore* settings = nullptr)
    {
        auto w = std::make_unique<Form1>(mainwindow::Form1Services{
            .fileSystem = fileSystem, .messages = &messages, .settings = settings,
            .probeVolumes = [] { return QList<QByteArray>{"/"}; }, .yieldPolicy = {}});
        ui = mainwindow::Form1Controls::of(*w);
        return w;
    }
    // Widths for however many columns the list has, and their stored text.
    static QList<int> someWidths(int columns)
    {
        QList<int> widths;
        for (int c = 0; c < columns; ++c)
            widths << 100 + 50 * c;
        return widths;
    }
    static QString widthsText(const QList<int>& widths)
    {
        QStringList parts;
        for (int width : widths)
            parts << QString::number(width);
        return parts.join(',');
    }
    void showAndWait(Form1& w)
    {
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    }
    QList<int> columnWidths() const
    {
        QList<int> widths;
        for (int c = 0; c < ui.List1->horizontalHeader()->count(); ++c)
            widths << ui.List1->horizontalHeader()->sectionSize(c);
        return widths;
    }
    QStringList shownSizes(Form1& w) const
    {
        QStringList sizes;
        for (int r = 0; r < w.resultOrder().rowCount(); ++r)
            sizes << w.resultOrder().index(r, search::ResultList::SizeColumn).data().toString().simplified();
        return sizes;
    }
    // In the order found, which is the order the folder lists them in.
    QStringList foundSizes(Form1& w) const
    {
        QStringList sizes;
        for (int r = 0; r < w.results().rowCount(); ++r)
            sizes << w.results().row(r).sizeText().simplified();
        return sizes;
    }
    void writeFiles(std::initializer_list<int> sizes)
    {
        for (const QString& old : QDir(tree.path()).entryList(QDir::Files))
            QFile::remove(tree.filePath(old));
        int n = 0;
        for (int size : sizes) {
            QFile file(tree.filePath(QStringLiteral("f%1.txt").arg(n++)));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(size, 'x'));
        }
    }
    void clickHeader(int column)
    {
        QHeaderView* header = ui.List1->horizontalHeader();
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
        // Apart, as a person clicks: two quick clicks are a double-click.
        QTest::qWait(QApplication::doubleClickInterval() + 50);
    }

    platform::PosixFileSystem fileSystem;
    testsupport::RecordingMessages messages;
    mainwindow::Form1Controls ui{};
    QTemporaryDir tree;
};

TEST_F(WindowLayout, AtItsFirstSizeEverythingStandsAsLaidOutAndWhenLargerOnlyTheListAndStatusBarGrow)
{
    auto w = makeWindow();
    showAndWait(*w);
    EXPECT_EQ(w->size(), QSize(546, 426));
    EXPECT_EQ(w->minimumSize(), QSize(546, 426)) << "never smaller than the size laid out";
    EXPECT_GT(w->maximumWidth(), 546);
    EXPECT_TRUE(w->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(ui.List1->geometry(), QRect(8, 88, 529, 313));
    EXPECT_EQ(ui.StatusBar1->geometry(), QRect(0, 406, 546, 20));
    EXPECT_EQ(ui.Panel2->width(), 400);

    QWidget* const fixed[] = {ui.Label1, ui.Label2, ui.Label3, ui.Text1, ui.Combo1, ui.Combo2, ui.Check1,
                              ui.Check2, ui.Check3, ui.Check4, ui.Command1, ui.Command2};
    std::map<QWidget*, QRect> before;
    for (QWidget* control : fixed)
        before[control] = control->geometry();
    w->resize(546 + 200, 426 + 120);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->size() == QSize(746, 546); }));
    for (QWidget* control : fixed)
        EXPECT_EQ(control->geometry(), before[control]) << control->objectName().toStdString();
    EXPECT_EQ(ui.List1->geometry(), QRect(8, 88, 529 + 200, 313 + 120));
    EXPECT_EQ(ui.StatusBar1->geometry(), QRect(0, 406 + 120, 546 + 200, 20));
    EXPECT_EQ(ui.Panel2->width(), 400 + 200);
    EXPECT_EQ(ui.Panel1->width(), 133);
}

TEST_F(WindowLayout, ColumnsWiderThanTheListScrollSidewaysAndTheUserMayResizeThem)
{
    auto w = makeWindow();
    showAndWait(*w);
    QHeaderView* header = ui.List1->horizontalHeader();
    for (int c = 0; c < header->count(); ++c)
        EXPECT_EQ(header->sectionResizeMode(c), QHeaderView::Interactive) << c;
    header->resizeSection(search::ResultList::PathColumn, 900);
    QCoreApplication::processEvents();
    EXPECT_GT(ui.List1->horizontalScrollBar()->maximum(), 0) << "the columns past the list's width cannot be reached";
}

TEST_F(WindowLayout, SizeColumnsAndSortComeBackFromTheStoreAndGoBackIntoItOnClose)
{
    MemoryStore store;
    auto w = makeWindow(&store);
    const QList<int> widths = someWidths(ui.List1->horizontalHeader()->count());
    store.values["Form1/size"] = "700x500";
    store.values["Form1/columns"] = widthsText(widths);
    store.values["Form1/sort"] = "2,descending";
    w = makeWindow(&store);
    showAndWait(*w);
    EXPECT_EQ(w->size(), QSize(700, 500));
    EXPECT_EQ(columnWidths(), widths);
    EXPECT_EQ(ui.List1->horizontalHeader()->sortIndicatorSection(), 2);
    EXPECT_EQ(ui.List1->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_EQ(w->resultOrder().sortColumn(), 2);

    w->resize(720, 480);
    ui.List1->horizontalHeader()->resizeSection(0, 140);
    ui.List1->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->size() == QSize(720, 480); }));
    w->close();
    EXPECT_EQ(store.values["Form1/size"], "720x480");
    QList<int> changed = widths;
    changed[0] = 140;
    EXPECT_EQ(store.values["Form1/columns"], widthsText(changed));
    EXPECT_EQ(store.values["Form1/sort"], "none");
}

// Each bad value is ignored on its own: the others still come back.
TEST_F(WindowLayout, AMalformedOrTooLargeStoredValueIsIgnoredAndTheOthersStillApply)
{
    const QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size();
    const auto plain = makeWindow();
    const int columns = ui.List1->horizontalHeader()->count();
    const QList<int> defaults = columnWidths(), widths = someWidths(columns);
    const auto withWidth = [&](int column, const QString& width) {
        QStringList parts = widthsText(widths).split(',');
        parts[column] = width;
        return parts.join(',');
    };
    const std::pair<const char*, QString> bad[] = {
        {"size", "abc"}, {"size", "700x"}, {"size", "700 x 500"}, {"size", "-700x500"}, {"size", "300x200"},
        {"size", QStringLiteral("%1x500").arg(screen.width() + 1)},
        {"size", QStringLiteral("700x%1").arg(screen.height() + 1)}, {"size", "99999999999x500"},
        {"columns", widthsText(widths.first(columns - 1))}, {"columns", widthsText(widths) + ",90"},
        {"columns", withWidth(1, "x")}, {"columns", withWidth(1, "")}, {"columns", withWidth(1, "0")},
        {"columns", withWidth(1, QString::number(screen.width() + 1))},
        {"sort", QStringLiteral("%1,ascending").arg(columns)}, {"sort", "2,sideways"}, {"sort", "-1,ascending"},
        {"sort", "2"}};
    for (const auto& [key, value] : bad) {
        MemoryStore store;
        store.values["Form1/size"] = "700x500";
        store.values["Form1/columns"] = widthsText(widths);
        store.values["Form1/sort"] = "1,ascending";
        store.values[QStringLiteral("Form1/") + key] = value;
        auto w = makeWindow(&store);
        const std::string what = std::string(key) + "=" + value.toStdString();
        EXPECT_EQ(w->size(), key == QLatin1String("size") ? QSize(546, 426) : QSize(700, 500)) << what;
        EXPECT_EQ(columnWidths(), key == QLatin1String("columns") ? defaults : widths) << what;
        EXPECT_EQ(w->resultOrder().sortColumn(), key == QLatin1String("sort") ? -1 : 1) << what;
    }
}

TEST_F(WindowLayout, AHeaderSortStaysForTheNextSearchUntilClickedBackToTheOrderFound)
{
    writeFiles({3, 1, 2});
    auto w = makeWindow();
    showAndWait(*w);
    ui.Combo1->setEditText(tree.path());
    ui.Command1->click();
    EXPECT_EQ(shownSizes(*w), foundSizes(*w));
    clickHeader(search::ResultList::SizeColumn);
    clickHeader(search::ResultList::SizeColumn);
    EXPECT_EQ(shownSizes(*w), (QStringList{"3 字节", "2 字节", "1 字节"}));

    writeFiles({5, 9, 7, 4});
    ui.Command1->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->resultOrder().hasWaitingRows(); }));
    EXPECT_EQ(shownSizes(*w), (QStringList{"9 字节", "7 字节", "5 字节", "4 字节"}));
    EXPECT_EQ(ui.List1->horizontalHeader()->sortIndicatorSection(), int(search::ResultList::SizeColumn));
    EXPECT_EQ(ui.List1->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);

    clickHeader(search::ResultList::SizeColumn); // the third click: back to the order found
    writeFiles({6, 8, 1});
    ui.Command1->click();
    EXPECT_EQ(shownSizes(*w), foundSizes(*w));
    EXPECT_EQ(w->resultOrder().sortColumn(), -1);
    EXPECT_EQ(ui.List1->horizontalHeader()->sortIndicatorSection(), -1);
}

} // namespace

// Rows appended below the part shown move the scroll bar later, in fewer steps, but always: once
// the rows stop, its range covers every row.
TEST(ResultViewScrolling, TheScrollBarCatchesUpWithRowsAppendedOutOfSight)
{
    search::ResultList list;
    mainwindow::ResultView view;
    view.setModel(&list);
    view.resize(400, 200);
    view.show();
    int rows = 0;
    const auto append = [&](int count) {
        for (int i = 0; i < count; ++i, ++rows)
            list.append({.folder = "/t", .name = "f" + QByteArray::number(rows)});
        list.flush();
        QApplication::processEvents();
    };
    for (int batch = 0; batch < 20; ++batch)
        append(50);
    QScrollBar* bar = view.verticalScrollBar();
    const int shownRows = view.viewport()->height() / view.verticalHeader()->defaultSectionSize();
    EXPECT_TRUE(QTest::qWaitFor([&] { return bar->maximum() == rows - shownRows; }, 2000))
        << "the range stayed at " << bar->maximum() << " for " << rows << " rows";
}
