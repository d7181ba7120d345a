// The result list sorted by a header click, as the window shows it: the actions, the keys and the
// clipboard reach the entry of the row the user selected, whatever the order.
#include "window_on_folder.h"
#include "actions/form2.h"
#include "mainwindow/form1.h"
#include "mainwindow/form1_controls.h"
#include "mainwindow/result_view.h"
#include "platform/files/posix_file_system.h"
#include "search/results/result_list.h"
#include "platform/files/paths.h"
#include "tests/support/temporary_tree.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

using mainwindow::Form1;
using namespace testing_actions;
using namespace testsupport;

class SortedListTest : public WindowOnFolder {
protected:
    void SetUp() override
    {
        WindowOnFolder::SetUp();
        ASSERT_NO_FATAL_FAILURE(showWindow());
        ui = mainwindow::Form1Controls::of(*w);
        // Sizes that sort otherwise than the names.
        const std::pair<const char*, int> files[] = {{"a.bin", 30}, {"b.bin", 10}, {"c.bin", 50}, {"d.bin", 20}, {"e.bin", 40}};
        for (const auto& [name, size] : files)
            writeFile(path(name), QByteArray(size, 'x'));
        search();
    }
    void clickHeader(int section)
    {
        QHeaderView* header = ui.List1->horizontalHeader();
        const QPoint centre(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                            header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, centre);
    }
    QStringList shownNames() const
    {
        QStringList names;
        const QAbstractItemModel* shown = ui.List1->model();
        for (int r = 0; r < shown->rowCount(); ++r)
            names << shown->index(r, 0).data().toString();
        return names;
    }

    mainwindow::Form1Controls ui;
};

TEST_F(SortedListTest, HeaderClicksSortAscendingThenDescendingThenBackAndTheSortStaysForANewSearch)
{
    const QStringList found = shownNames();
    ASSERT_EQ(found.size(), 5);
    QHeaderView* header = ui.List1->horizontalHeader();
    EXPECT_EQ(header->sortIndicatorSection(), -1);

    clickHeader(search::ResultList::SizeColumn);
    EXPECT_EQ(shownNames(), (QStringList{"b.bin", "d.bin", "a.bin", "e.bin", "c.bin"}));
    EXPECT_EQ(header->sortIndicatorSection(), search::ResultList::SizeColumn);
    clickHeader(search::ResultList::SizeColumn);
    EXPECT_EQ(shownNames(), (QStringList{"c.bin", "e.bin", "a.bin", "d.bin", "b.bin"}));
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    clickHeader(search::ResultList::SizeColumn);
    EXPECT_EQ(shownNames(), found);
    EXPECT_EQ(header->sortIndicatorSection(), -1);

    clickHeader(search::ResultList::NameColumn);
    ASSERT_EQ(shownNames(), (QStringList{"a.bin", "b.bin", "c.bin", "d.bin", "e.bin"}));
    search();
    EXPECT_EQ(shownNames(), (QStringList{"a.bin", "b.bin", "c.bin", "d.bin", "e.bin"})) << "the same search again";
    EXPECT_EQ(header->sortIndicatorSection(), search::ResultList::NameColumn);
}

TEST_F(SortedListTest, ActionsAndKeysReachTheSelectedRowsEntryAndItsRowTakesItsPlace)
{
    clickHeader(search::ResultList::SizeColumn);
    ui.List1->selectRow(2); // a.bin, the third by size
    QTest::keyClick(ui.List1, Qt::Key_Delete);
    EXPECT_FALSE(exists(path("a.bin")));
    for (const char* kept : {"b.bin", "c.bin", "d.bin", "e.bin"})
        EXPECT_TRUE(exists(path(kept))) << kept;
    EXPECT_EQ(shownNames(), (QStringList{"b.bin", "d.bin", "e.bin", "c.bin"}));

    clickHeader(search::ResultList::NameColumn);
    ui.List1->selectRow(0); // b.bin
    whenShown<actions::Form2>([](actions::Form2& d) {
        d.Text1->setText("z.bin");
        d.Command1->click();
    });
    QTest::keyClick(ui.List1, Qt::Key_F2);
    EXPECT_TRUE(exists(path("z.bin")));
    EXPECT_EQ(shownNames(), (QStringList{"c.bin", "d.bin", "e.bin", "z.bin"})) << "the renamed row moved to its place";
    EXPECT_EQ(ui.List1->selectedRow(), 3) << "and the selection with it";

    const QPoint second = ui.List1->visualRect(ui.List1->model()->index(1, 0)).center();
    QTest::mouseClick(ui.List1->viewport(), Qt::LeftButton, {}, second);
    QTest::mouseDClick(ui.List1->viewport(), Qt::LeftButton, {}, second);
    EXPECT_EQ(shell.calls, QList<QByteArray>{"open " + path("d.bin")});

    for (const auto key : {Qt::Key_C, Qt::Key_Insert}) {
        QGuiApplication::clipboard()->clear();
        QTest::keyClick(ui.List1, key, Qt::ControlModifier);
        const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
        ASSERT_TRUE(copied);
        EXPECT_EQ(copied->text(), QFile::decodeName(path("d.bin")));
        EXPECT_EQ(copied->data("text/uri-list"), platform::fileUri(path("d.bin")) + "\r\n");
    }
}

} // namespace
