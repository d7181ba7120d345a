// The window as it starts and as it is driven: its controls, the focus, the keys, the location
// field, a refused location and the rows' icons.
#include "form1_fixture.h"

#include "mainwindow/form1.h"
#include "mainwindow/form1_controls.h"
#include "mainwindow/option_box.h"
#include "mainwindow/result_view.h"
#include "platform/message_boxes.h"
#include "platform/files/posix_file_system.h"
#include "platform/desktop/row_icon_source.h"
#include "platform/session/settings_store.h"
#include "search/results/result_list.h"
#include "tests/support/memory_store.h"
#include "tests/support/recording_messages.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QSignalSpy>
#include <QTest>
#include <QPixmap>
#include <QScreen>

#include <map>

namespace {

using namespace form1test; // the fixture, ui(), and the names it uses

TEST_F(Form1Test, TheControlsShowTheirCaptionsWithinTheWindowAndNoneCoversAnother)
{
    auto w = makeWindow();
    EXPECT_EQ(w->windowTitle(), "Sorvane");
    // A caption may touch its field; the fields, boxes, buttons, list and status bar never meet.
    const QWidget* const controls[] = {ui(w).Text1,  ui(w).Combo1,   ui(w).Combo2,   ui(w).Check1,
                                       ui(w).Check2, ui(w).Check3,   ui(w).Check4,   ui(w).Command1,
                                       ui(w).Command2, ui(w).List1, ui(w).StatusBar1};
    for (const QWidget* a : controls) {
        EXPECT_TRUE(w->rect().contains(a->geometry())) << a->objectName().toStdString();
        for (const QWidget* b : controls)
            EXPECT_TRUE(a == b || !a->geometry().intersects(b->geometry()))
                << a->objectName().toStdString() << " covers " << b->objectName().toStdString();
    }
    EXPECT_EQ(ui(w).Label1->text(), "请输入文件名");
    EXPECT_EQ(ui(w).Label2->text(), "搜索位置");
    EXPECT_EQ(ui(w).Label3->text(), "文件类型");
    EXPECT_EQ(ui(w).Check1->text(), "全字匹配");
    EXPECT_EQ(ui(w).Check2->text(), "区分大小写");
    EXPECT_EQ(ui(w).Check3->text(), "包括隐藏文件");
    EXPECT_EQ(ui(w).Check4->text(), "拼音匹配");
    EXPECT_EQ(ui(w).Command1->text(), "开始搜索");
    EXPECT_EQ(ui(w).Command2->text(), "停止搜索");
    EXPECT_EQ(ui(w).Label1->buddy(), ui(w).Text1);
    EXPECT_EQ(ui(w).Label2->buddy(), ui(w).Combo1);
    EXPECT_EQ(ui(w).Label3->buddy(), ui(w).Combo2);
    EXPECT_EQ(ui(w).List1->font().family(), "Timers New Roman");
    EXPECT_EQ(ui(w).List1->font().pointSize(), 9);
}

TEST_F(Form1Test, StartUpFillsTheListsAndLeavesTheWindowReady)
{
    auto w = makeWindow();
    ASSERT_EQ(ui(w).Combo1->count(), 3);
    EXPECT_EQ(ui(w).Combo1->itemText(0), "全盘搜索");
    EXPECT_EQ(ui(w).Combo1->itemText(1), "/");
    EXPECT_EQ(ui(w).Combo1->itemText(2), "/media/u/STICK");
    EXPECT_EQ(ui(w).Combo1->currentText(), "全盘搜索");
    EXPECT_TRUE(ui(w).Combo1->isEditable());
    EXPECT_FALSE(ui(w).Combo2->isEditable());
    const QStringList captions{"所有文件", "应用程序", "文本文件", "图片文件", "声音文件",
                               "视频文件", "网页文件", "图标文件", "光标文件", "文件夹"};
    ASSERT_EQ(ui(w).Combo2->count(), captions.size());
    for (int i = 0; i < captions.size(); ++i)
        EXPECT_EQ(ui(w).Combo2->itemText(i), captions[i]);
    EXPECT_EQ(ui(w).Combo2->currentIndex(), 0);
    EXPECT_TRUE(ui(w).Command1->isEnabled());
    EXPECT_FALSE(ui(w).Command2->isEnabled());
    EXPECT_EQ(w->results().rowCount(), 0);
    EXPECT_EQ(w->results().columnCount(), 4);
    EXPECT_EQ(w->results().headerData(3, Qt::Horizontal, Qt::DisplayRole).toString(), "修改日期");
    const QStringList headers{"文件名称", "文件位置", "文件大小"};
    int columnsWidth = 0;
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(w->results().headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(), headers[c]);
        columnsWidth += ui(w).List1->horizontalHeader()->sectionSize(c);
    }
    EXPECT_LE(columnsWidth, ui(w).List1->viewport()->width()) << "the columns need no scrolling";
    EXPECT_TRUE(ui(w).Panel1->text().isEmpty());
    EXPECT_TRUE(ui(w).Panel2->text().isEmpty());
    QStringList menu;
    for (QAction* a : ui(w).mnuMain->actions())
        menu << a->text();
    EXPECT_EQ(menu, (QStringList{"打开", "定位", "复制", "删除", "重命名", "属性", "", "导出结果…"}));
    EXPECT_TRUE(ui(w).mnuMain->actions()[6]->isSeparator());
}

TEST_F(Form1Test, TheFocusMovesInTheLaidDownOrderAndStartsInTheNameField)
{
    auto w = makeWindow();
    w->show();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    EXPECT_EQ(QApplication::focusWidget(), ui(w).Text1);
    const QWidget* order[] = {ui(w).Text1, ui(w).Command1, ui(w).List1, ui(w).Command2, ui(w).Combo1,
                              ui(w).Check1, ui(w).Check2, ui(w).Combo2, ui(w).Check3, ui(w).Check4};
    for (size_t i = 0; i + 1 < std::size(order); ++i) {
        QWidget* next = order[i]->nextInFocusChain();
        while (next->focusProxy() || !(next->focusPolicy() & Qt::TabFocus) || next->parentWidget() != w.get())
            next = next->nextInFocusChain(); // skip a combo box's own line edit and the like
        EXPECT_EQ(next, order[i + 1]) << i;
    }
}

TEST_F(Form1Test, TheNameFieldSelectsItsWholeTextWhenItGetsTheFocus)
{
    auto w = makeWindow();
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    ui(w).Text1->setText("abc");
    ui(w).Combo1->setFocus();
    ui(w).Text1->setFocus(Qt::TabFocusReason);
    (void)QTest::qWaitFor([&w] { return !ui(w).Text1->selectedText().isEmpty(); });
    EXPECT_EQ(ui(w).Text1->selectedText(), "abc");
    QTest::keyClicks(ui(w).Text1, "x");
    EXPECT_EQ(ui(w).Text1->text(), "x");
}

TEST_F(Form1Test, EnterStartsASearchFromTheFieldsAndTheOptionBoxes)
{
    makeTree(1, 2);
    auto w = makeWindow();
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    ui(w).Combo1->setEditText(tree.path());
    ui(w).Text1->setText("file");
    for (QWidget* from : {static_cast<QWidget*>(ui(w).Text1), static_cast<QWidget*>(ui(w).Combo1),
                          static_cast<QWidget*>(ui(w).Check3), static_cast<QWidget*>(ui(w).List1)}) {
        ui(w).Panel2->clear();
        from->setFocus();
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : from;
        QTest::keyClick(target, Qt::Key_Return);
        EXPECT_EQ(ui(w).Panel2->text(), "已完成搜索") << from->metaObject()->className();
        EXPECT_EQ(ui(w).Panel1->text(), "找到 2 个文件");
    }
    // The location joined the list once, however often it was searched.
    EXPECT_EQ(ui(w).Combo1->count(), 4);
    EXPECT_EQ(ui(w).Combo1->currentText(), tree.path());
}

TEST_F(Form1Test, TheWindowIsLockedWhileSearchingAndEnterThenStartsNothing)
{
    makeTree(3, 1);
    auto w = makeWindow();
    w->show();
    ui(w).Combo1->setEditText(tree.path());
    bool sawLocked = false;
    int finishedInside = 0;
    fileSystem.hookAt = 2;
    fileSystem.hook = [&] {
        sawLocked = !ui(w).Command1->isEnabled() && ui(w).Command2->isEnabled() && !ui(w).Check1->isEnabled()
            && !ui(w).Check2->isEnabled() && !ui(w).Check3->isEnabled() && !ui(w).Check4->isEnabled()
            && !ui(w).Combo2->isEnabled()
            && ui(w).Text1->isEnabled() && ui(w).Combo1->isEnabled() && ui(w).List1->isEnabled()
            // the file type list takes the colour of a button meanwhile
            && ui(w).Combo2->palette().color(QPalette::Base) == QApplication::palette().color(QPalette::Button);
        QObject::connect(w.get(), &Form1::searchFinished, [&] { ++finishedInside; });
        QTest::keyClick(ui(w).Text1, Qt::Key_Return);
    };
    ui(w).Command1->click();
    EXPECT_TRUE(sawLocked);
    EXPECT_EQ(finishedInside, 1) << "Enter during a search started a second one";
    EXPECT_TRUE(ui(w).Command1->isEnabled());
    EXPECT_FALSE(ui(w).Command2->isEnabled());
    EXPECT_TRUE(ui(w).Check1->isEnabled() && ui(w).Check2->isEnabled() && ui(w).Check3->isEnabled()
                && ui(w).Check4->isEnabled() && ui(w).Combo2->isEnabled());
    EXPECT_EQ(ui(w).Combo2->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Base));
}

TEST_F(Form1Test, TheLocationFieldSearchesWhatWasTypedAndCompletesNothing)
{
    makeTree(2, 1);
    auto w = makeWindow();
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    // A remembered location that begins with what will be typed.
    ui(w).Combo1->setEditText(tree.path() + "/d1");
    ui(w).Command1->click();
    ASSERT_EQ(ui(w).Combo1->count(), 4);

    QLineEdit* field = ui(w).Combo1->lineEdit();
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, tree.path() + "/d");
    EXPECT_EQ(field->text(), tree.path() + "/d") << "the field filled in a listed entry";
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(messages.prompts, QStringList{"指定搜索位置不存在"}) << "the typed text was not what was searched";
}

TEST_F(Form1Test, TheKeypadEnterStartsASearchAndTheKeypadDeleteDeletes)
{
    makeTree(1, 2);
    auto w = makeWindow();
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    ui(w).Combo1->setEditText(tree.path());
    ui(w).Text1->setText("file");
    for (QWidget* from : {static_cast<QWidget*>(ui(w).Text1), static_cast<QWidget*>(ui(w).Combo1->lineEdit()),
                          static_cast<QWidget*>(ui(w).Check2)}) {
        ui(w).Panel2->clear();
        QTest::keyClick(from, Qt::Key_Enter, Qt::KeypadModifier);
        EXPECT_EQ(ui(w).Panel2->text(), "已完成搜索") << from->metaObject()->className();
    }
    QSignalSpy deletes(ui(w).List1, &mainwindow::ResultView::deleteKeyPressed);
    ui(w).List1->setFocus();
    QTest::keyClick(ui(w).List1, Qt::Key_Delete, Qt::KeypadModifier);
    EXPECT_EQ(deletes.count(), 1);
}

TEST_F(Form1Test, ARefusedLocationEndsNoSearchAndEmitsNoFinish)
{
    auto w = makeWindow();
    QSignalSpy finished(w.get(), &Form1::searchFinished);
    ui(w).Combo1->setEditText(tree.path() + "/missing");
    ui(w).Command1->click();
    EXPECT_EQ(messages.prompts, QStringList{"指定搜索位置不存在"});
    EXPECT_EQ(finished.count(), 0);
    ui(w).Combo1->setEditText(tree.path());
    ui(w).Command1->click();
    EXPECT_EQ(finished.count(), 1);
}

// One image for every row, of a source the test put in.
class OneIcon : public platform::RowIconSource {
public:
    uint32_t GetFileIcon(QStringView, bool isFolder) override { return isFolder ? 2 : 1; }
    QIcon icon(uint32_t image) const override
    {
        QPixmap pixmap(16, 16);
        pixmap.fill(image == 2 ? Qt::blue : Qt::red);
        return QIcon(pixmap);
    }
};

TEST_F(Form1Test, RowsShowTheIconsOfTheSourceTheServicesGive)
{
    makeTree(1, 1);
    OneIcon icons;
    Form1 w(mainwindow::Form1Services{.fileSystem = fileSystem, .messages = &messages, .settings = nullptr,
                                      .probeVolumes = {}, .yieldPolicy = {}, .shell = nullptr, .icons = &icons,
                                      .readAhead = {}});
    mainwindow::Form1Controls::of(w).Combo1->setEditText(tree.path());
    mainwindow::Form1Controls::of(w).Command1->click();
    ASSERT_EQ(w.results().rowCount(), 2);
    for (int row = 0; row < 2; ++row) {
        const QIcon shown = w.results().data(w.results().index(row, 0), Qt::DecorationRole).value<QIcon>();
        const QColor colour = shown.pixmap(16, 16).toImage().pixelColor(8, 8);
        EXPECT_EQ(colour, w.results().row(row).hasSize ? QColor(Qt::red) : QColor(Qt::blue));
    }
}

} // namespace
