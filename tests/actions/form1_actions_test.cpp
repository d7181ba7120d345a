#include "window_on_folder.h"
#include "tests/support/temporary_tree.h"
#include "actions/form2.h"
#include "actions/form3.h"
#include "actions/result_actions.h"
#include "mainwindow/form1.h"
#include "mainwindow/form1_controls.h"
#include "mainwindow/result_view.h"
#include "platform/files/open_beneath.h"
#include "platform/files/paths.h"
#include "platform/files/posix_file_system.h"
#include "search/results/result_list.h"
#include "search/results/result_order.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QComboBox>
#include <QMimeData>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <climits>
#include <cstdlib>
#include <memory>

namespace {

using actions::Form2;
using actions::Form3;
using mainwindow::Form1;
using namespace testing_actions;
using namespace testsupport;

class Form1ActionsTest : public WindowOnFolder {
protected:
    void SetUp() override
    {
        WindowOnFolder::SetUp();
        QPixmap icon(32, 32);
        icon.fill(Qt::darkCyan);
        w->setWindowIcon(QIcon(icon));
        ASSERT_NO_FATAL_FAILURE(showWindow());
        QObject::connect(ui(w).mnuMain, &QMenu::aboutToShow, [this] { ++menusShown; });
    }
    QPoint rowCentre(int row) const { return ui(w).List1->visualRect(ui(w).List1->model()->index(row, 0)).center(); }
    // Right-clicks a row and, once the menu shows, picks an item, or dismisses the menu without one.
    QStringList pickFromMenu(int row, QAction* item) { return pickFromMenuAt(rowCentre(row), item); }
    QStringList pickFromMenuAt(QPoint where, QAction* item)
    {
        auto shown = std::make_shared<QStringList>();
        QTimer::singleShot(0, [shown, item] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            for (QAction* a : menu->actions())
                *shown << a->text();
            if (item)
                menu->setActiveAction(item);
            QTest::keyClick(menu, item ? Qt::Key_Return : Qt::Key_Escape);
        });
        QTest::mouseClick(ui(w).List1->viewport(), Qt::RightButton, {}, where);
        QCoreApplication::processEvents();
        return *shown;
    }
    // The names in the order the list shows them.
    QStringList shownNames() const
    {
        QStringList names;
        const QAbstractItemModel* shown = ui(w).List1->model();
        for (int r = 0; r < shown->rowCount(); ++r)
            names << shown->index(r, 0).data().toString();
        return names;
    }
    // F holds a file and a folder with a file and an empty folder; G.txt and H/d.txt lie beside it.
    void makeTreeWithFolderF()
    {
        for (const char* folder : {"F", "F/b", "F/b/e", "H"})
            ASSERT_EQ(::mkdir(path(folder), 0755), 0);
        for (const char* file : {"F/a.txt", "F/b/c.txt", "G.txt", "H/d.txt"})
            writeFile(path(file), file);
    }
    QSet<QString> rowNames() const
    {
        QSet<QString> names;
        for (int r = 0; r < w->results().rowCount(); ++r)
            names << w->results().row(r).nameText();
        return names;
    }

    int menusShown = 0;
};

TEST_F(Form1ActionsTest, TheMenuShowsItsItemsOnlyOnARightReleaseOverRowsAndADismissalTakesNoPath)
{
    pickFromMenu(0, nullptr);
    EXPECT_EQ(menusShown, 0) << "no menu over an empty list";
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        writeFile(path(name), name);
    search();
    ASSERT_EQ(w->results().rowCount(), 3);
    QTest::mouseClick(ui(w).List1->viewport(), Qt::LeftButton, {}, rowCentre(0));
    QTest::mouseClick(ui(w).List1->viewport(), Qt::MiddleButton, {}, rowCentre(0));
    EXPECT_EQ(menusShown, 0);

    EXPECT_EQ(pickFromMenu(2, nullptr), (QStringList{"打开", "定位", "复制", "删除", "重命名", "属性", "", "导出结果…"}));
    EXPECT_EQ(menusShown, 1);
    EXPECT_EQ(ui(w).List1->selectedRow(), 2) << "the right press selects the row under the pointer";
    EXPECT_TRUE(w->resultActions().SelectedPath().isEmpty());
    EXPECT_TRUE(shell.calls.isEmpty());

    pickFromMenu(0, ui(w).mnuOpenDir);
    const QByteArray first = w->results().row(0).pathBytes();
    EXPECT_EQ(shell.calls, QList<QByteArray>{"locate " + first});
    pickFromMenu(1, nullptr);
    EXPECT_EQ(w->resultActions().selectedPathBytes(), first);

    // Below the last row: no row is selected, so no action can fall on the one selected before.
    const QPoint belowTheRows = rowCentre(2) + QPoint(0, 4 * ui(w).List1->visualRect(ui(w).List1->model()->index(2, 0)).height());
    ASSERT_FALSE(ui(w).List1->indexAt(belowTheRows).isValid());
    pickFromMenuAt(belowTheRows, nullptr);
    EXPECT_EQ(menusShown, 3);
    EXPECT_EQ(ui(w).List1->selectedRow(), -1);
}

TEST_F(Form1ActionsTest, ADoubleClickOpensTheRowAndOnAnEmptyListDoesNothing)
{
    QTest::mouseClick(ui(w).List1->viewport(), Qt::LeftButton, {}, QPoint(20, 10));
    QTest::mouseDClick(ui(w).List1->viewport(), Qt::LeftButton, {}, QPoint(20, 10));
    EXPECT_TRUE(shell.calls.isEmpty());
    writeFile(path("a.txt"), "a");
    search();
    QTest::mouseClick(ui(w).List1->viewport(), Qt::LeftButton, {}, rowCentre(0)); // a double-click begins with a click
    QTest::mouseDClick(ui(w).List1->viewport(), Qt::LeftButton, {}, rowCentre(0));
    EXPECT_EQ(shell.calls, QList<QByteArray>{"open " + path("a.txt")});
}

TEST_F(Form1ActionsTest, TheDialogsShowTheirLayoutCaptionsAndDefaultButtonsAndSelectTheirText)
{
    writeFile(path("a.txt"), "a");
    search();
    ui(w).List1->selectRow(0);
    const auto checkFrame = [this](QDialog& d, QSize size, QLabel* label, QPushButton* ok, QPushButton* cancel) {
        EXPECT_EQ(d.size(), size);
        EXPECT_EQ(d.minimumSize(), d.maximumSize());
        EXPECT_TRUE(d.isModal());
        EXPECT_EQ(d.windowIcon().cacheKey(), w->windowIcon().cacheKey());
        EXPECT_LE((d.geometry().center() - w->geometry().center()).manhattanLength(), 4) << "centred on its owner";
        EXPECT_EQ(ok->text(), "确定");
        EXPECT_EQ(cancel->text(), "取消");
        EXPECT_TRUE(ok->isDefault());
        EXPECT_EQ(label->buddy(), d.findChild<QLineEdit*>("Text1"));
        EXPECT_EQ(ok->geometry().topLeft().x(), 48);
        EXPECT_EQ(cancel->geometry(), QRect(136, ok->y(), 81, 25));
        QTest::keyClick(&d, Qt::Key_Escape);
        EXPECT_TRUE(d.isVisible()) << "Escape closes nothing";
    };
    whenShown<Form2>([&](Form2& d) {
        EXPECT_EQ(d.windowTitle(), "重命名文件");
        checkFrame(d, {256, 88}, d.Label1, d.Command1, d.Command2);
        EXPECT_EQ(d.Label1->text(), "请输入新名字：");
        EXPECT_EQ(d.Label1->geometry(), QRect(16, 8, 113, 17));
        EXPECT_EQ(d.Text1->geometry(), QRect(16, 24, 233, 18));
        EXPECT_EQ(d.Command1->geometry(), QRect(48, 56, 81, 25));
        EXPECT_EQ(d.Text1->text(), "a.txt");
        EXPECT_EQ(d.Text1->selectedText(), "a.txt");
        QTest::keyClick(d.Text1, Qt::Key_Return); // the default button: the unchanged name
        EXPECT_FALSE(d.isVisible());
    });
    ui(w).mnuRename->trigger();

    whenShown<Form3>([&](Form3& d) {
        EXPECT_EQ(d.windowTitle(), "复制文件");
        checkFrame(d, {273, 110}, d.Label1, d.Command1, d.Command2);
        EXPECT_EQ(d.Label1->text(), "目标位置：");
        EXPECT_EQ(d.Label1->geometry(), QRect(16, 16, 65, 17));
        EXPECT_EQ(d.Text1->geometry(), QRect(16, 32, 241, 18));
        EXPECT_EQ(d.Command1->geometry(), QRect(48, 72, 81, 25));
        EXPECT_TRUE(d.Text1->text().isEmpty());
        QTest::keyClicks(d.Text1, "/tm");
        d.Command1->setFocus();
        d.Text1->setFocus(Qt::TabFocusReason);
        (void)QTest::qWaitFor([&d] { return !d.Text1->selectedText().isEmpty(); });
        EXPECT_EQ(d.Text1->selectedText(), "/tm");
        d.Command2->click();
    });
    ui(w).mnuCopy->trigger();
    EXPECT_TRUE(messages.shown.isEmpty());
    EXPECT_TRUE(exists(path("a.txt")));
}

TEST_F(Form1ActionsTest, ADeleteARenameAndACopyDuringASearchLeaveTheWalkGoingOn)
{
    QSet<QString> expected;
    for (int i = 0; i < 12; ++i) {
        const QByteArray name = "f" + QByteArray::number(i) + ".txt";
        writeFile(path(name), name);
        expected << QString::fromLatin1(name);
    }
    ASSERT_EQ(::mkdir(path("sub"), 0755), 0);
    writeFile(path("sub/g.txt"), "g");
    expected << "sub" << "g.txt";
    QTemporaryDir elsewhere;

    QStringList done;
    // Each action runs in a yield of the walk once a row shows (the first yields may come while
    // the first folder is still being read).
    std::function<void(std::function<void()>)> step = [&](std::function<void()> action) {
        QTimer::singleShot(0, [&, action] {
            ASSERT_TRUE(w->searchCommand().isRunning());
            if (w->results().rowCount() == 0)
                return step(action);
            done << w->results().row(0).nameText();
            action();
        });
    };
    step([&] {
        pickFromMenu(0, ui(w).mnuDelete);
        step([&] {
            whenShown<Form2>([](Form2& d) {
                d.Text1->setText("renamed");
                d.Command1->click();
            });
            pickFromMenu(0, ui(w).mnuRename);
            step([&] {
                whenShown<Form3>([&](Form3& d) {
                    d.Text1->setText(elsewhere.path());
                    d.Command1->click();
                });
                pickFromMenu(0, ui(w).mnuCopy);
            });
        });
    });
    search();

    ASSERT_EQ(done.size(), 3);
    expected.remove(done[0]);
    expected.remove(done[1]);
    expected << "renamed";
    EXPECT_EQ(rowNames(), expected) << "every other entry was still found, once";
    EXPECT_EQ(w->results().rowCount(), expected.size());
    EXPECT_EQ(ui(w).Panel1->text(), QStringLiteral("找到 %1 个文件").arg(expected.size()));
    EXPECT_EQ(ui(w).Panel2->text(), "已完成搜索");
    EXPECT_FALSE(exists(path(done[0].toUtf8())));
    EXPECT_TRUE(exists(path("renamed")));
    EXPECT_TRUE(exists(QFile::encodeName(elsewhere.path()) + "/renamed"));
    EXPECT_EQ(messages.prompts, QStringList{"请确认是否删除？"});
}

// Found breadth-first, the rows below F lie in three runs of the list: the delete takes them all,
// and the sorted view shows the rest in their order.
TEST_F(Form1ActionsTest, DeletingAFolderTakesTheRowsBelowItAndTheCountFollows)
{
    makeTreeWithFolderF();
    search();
    ASSERT_EQ(ui(w).Panel1->text(), "找到 8 个文件");
    ui(w).List1->sortByColumn(search::ResultList::NameColumn, Qt::AscendingOrder);
    const QStringList before = shownNames();

    pickFromMenu(int(before.indexOf("F")), ui(w).mnuDelete);
    EXPECT_FALSE(exists(path("F")));
    QStringList kept = before;
    for (const char* gone : {"F", "a.txt", "b", "c.txt", "e"})
        kept.removeOne(gone);
    EXPECT_EQ(shownNames(), kept);
    EXPECT_EQ(ui(w).Panel1->text(), "找到 3 个文件");
    for (int row = 0; row < ui(w).List1->model()->rowCount(); ++row)
        EXPECT_TRUE(exists(w->results().row(w->resultOrder().listRow(row)).pathBytes())) << row;
}

TEST_F(Form1ActionsTest, DeletingAFolderDuringASearchTakesItsRowsFoundSoFarAndTheWalkFindsNoMore)
{
    makeTreeWithFolderF();
    QByteArray chain = "H";
    for (int depth = 1; depth <= 6; ++depth) // the walk goes on below F's depth
        ASSERT_EQ(::mkdir(path(chain += "/x" + QByteArray::number(depth)), 0755), 0);
    QString countAfterDelete;
    std::function<void()> step = [&] {
        QTimer::singleShot(0, [&] {
            ASSERT_TRUE(w->searchCommand().isRunning());
            if (!rowNames().contains("e"))
                return step();
            pickFromMenu(int(shownNames().indexOf("F")), ui(w).mnuDelete);
            countAfterDelete = ui(w).Panel1->text();
            EXPECT_EQ(countAfterDelete, QStringLiteral("找到 %1 个文件").arg(w->results().totalRows()));
        });
    };
    step();
    search();

    EXPECT_FALSE(exists(path("F")));
    EXPECT_FALSE(countAfterDelete.isEmpty());
    EXPECT_EQ(rowNames(), (QSet<QString>{"G.txt", "H", "d.txt", "x1", "x2", "x3", "x4", "x5", "x6"}));
    EXPECT_EQ(ui(w).Panel1->text(), "找到 9 个文件");
    EXPECT_EQ(ui(w).Panel2->text(), "已完成搜索");
}

TEST_F(Form1ActionsTest, ClicksAndKeysSelectSeveralRowsWhichTheMenuAndTheClipboardTakeTogether)
{
    for (const char* name : {"a", "b", "c", "d", "e", "f"})
        writeFile(path(name), name);
    search();
    ui(w).List1->sortByColumn(search::ResultList::NameColumn, Qt::AscendingOrder);
    mainwindow::ResultView* list = ui(w).List1;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(1));
    QTest::keyClick(list, Qt::Key_Down, Qt::ShiftModifier);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, rowCentre(4));
    ASSERT_EQ(list->selectedRows(), (std::vector<int>{1, 2, 4}));

    // A right click on one of them keeps them all; rename and properties are for one row.
    pickFromMenu(2, ui(w).mnuOpenDir);
    EXPECT_EQ(list->selectedRows(), (std::vector<int>{1, 2, 4}));
    EXPECT_FALSE(ui(w).mnuRename->isEnabled());
    EXPECT_FALSE(ui(w).mnuAttrib->isEnabled());
    EXPECT_TRUE(ui(w).mnuDelete->isEnabled());
    EXPECT_EQ(shell.calls, QList<QByteArray>{"locate all " + path("b") + " " + path("c") + " " + path("e")});

    QGuiApplication::clipboard()->clear();
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(copied);
    EXPECT_EQ(copied->text(), QStringList({dir.path() + "/b", dir.path() + "/c", dir.path() + "/e"}).join('\n'));
    EXPECT_EQ(copied->data("x-special/gnome-copied-files"),
              "copy\n" + platform::fileUri(path("b")) + "\n" + platform::fileUri(path("c")) + "\n"
                  + platform::fileUri(path("e")));

    QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(list->selectedRows().size(), 6u);
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(messages.shown, QStringList{"请确认是否删除选中的 6 个项目？|36|提示"});
    EXPECT_EQ(w->results().rowCount(), 0);
    EXPECT_EQ(ui(w).Panel1->text(), "找到 0 个文件");

    // One row again: the menu is as it always was.
    writeFile(path("g"), "g");
    search();
    pickFromMenu(0, nullptr);
    EXPECT_TRUE(ui(w).mnuRename->isEnabled());
    EXPECT_TRUE(ui(w).mnuAttrib->isEnabled());
}

// Chosen in a yield of the walk, before it has listed F's folders: F goes with its rows and the
// walk is told, as for a delete of F alone, so it neither finds nor misses anything below F.
TEST_F(Form1ActionsTest, SeveralRowsDeletedDuringASearchLeaveTheWalkGoingOnAsADeleteOfEachWould)
{
    makeTreeWithFolderF();
    QByteArray chain = "H";
    for (int depth = 1; depth <= 6; ++depth)
        ASSERT_EQ(::mkdir(path(chain += "/x" + QByteArray::number(depth)), 0755), 0);
    bool deleted = false;
    std::function<void()> step = [&] {
        QTimer::singleShot(0, [&] {
            ASSERT_TRUE(w->searchCommand().isRunning());
            if (!rowNames().contains("b"))
                return step();
            QTest::mouseClick(ui(w).List1->viewport(), Qt::LeftButton, {}, rowCentre(int(shownNames().indexOf("F"))));
            QTest::mouseClick(ui(w).List1->viewport(), Qt::LeftButton, Qt::ControlModifier,
                              rowCentre(int(shownNames().indexOf("G.txt"))));
            QTest::keyClick(ui(w).List1, Qt::Key_Delete);
            deleted = true;
        });
    };
    step();
    search();

    ASSERT_TRUE(deleted);
    EXPECT_FALSE(exists(path("F")));
    EXPECT_FALSE(exists(path("G.txt")));
    EXPECT_EQ(rowNames(), (QSet<QString>{"H", "d.txt", "x1", "x2", "x3", "x4", "x5", "x6"}));
    EXPECT_EQ(ui(w).Panel1->text(), "找到 8 个文件");
    EXPECT_EQ(ui(w).Panel2->text(), "已完成搜索") << "no folder below F counted as unreadable";
    EXPECT_EQ(messages.shown, QStringList{"请确认是否删除选中的 2 个项目？|36|提示"});
}

} // namespace
