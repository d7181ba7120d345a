// The window's life around the searches: the option boxes restored at start-up and saved on
// close, a close during a search, and where the window first shows.
#include "form1_fixture.h"

#include "mainwindow/option_box.h"
#include "search/results/result_list.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

namespace {

using namespace form1test; // the fixture, ui(), and the names it uses

TEST_F(Form1Test, OptionBoxesAreRestoredAtStartUpAndSavedOnClose)
{
    MemoryStore store;
    store.values["Form1/check1"] = "7";
    store.values["Form1/check2"] = "1";
    store.values["Form1/check3"] = "2";
    store.values["Form1/check4"] = "1";
    auto w = makeWindow(&store);
    EXPECT_EQ(ui(w).Check1->checkState(), Qt::Unchecked);
    EXPECT_EQ(ui(w).Check2->checkState(), Qt::Checked);
    EXPECT_EQ(ui(w).Check3->checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(ui(w).Check4->checkState(), Qt::Checked);
    EXPECT_EQ(store.writes.size(), 0) << "nothing is written before the window closes";

    w->show();
    // A click never makes a greyed box, it ticks or unticks it.
    ui(w).Check3->click();
    EXPECT_EQ(ui(w).Check3->checkState(), Qt::Checked);
    ui(w).Check3->click();
    EXPECT_EQ(ui(w).Check3->checkState(), Qt::Unchecked);
    ui(w).Check1->click();
    ui(w).Check4->click();
    w->close();
    EXPECT_EQ(store.values["Form1/check1"], "1");
    EXPECT_EQ(store.values["Form1/check2"], "1");
    EXPECT_EQ(store.values["Form1/check3"], "0");
    EXPECT_EQ(store.values["Form1/check4"], "0");
}

// The box's greyed state comes only from a stored value, and Qt counts it as checked.
TEST_F(Form1Test, AGreyedOptionBoxLeavesItsOptionOff)
{
    makeTree(1, 2);
    MemoryStore store;
    store.values["Form1/check1"] = "2";
    auto w = makeWindow(&store);
    ui(w).Combo1->setEditText(tree.path());
    ui(w).Text1->setText("file");
    ui(w).Command1->click();
    EXPECT_EQ(ui(w).Panel1->text(), "找到 2 个文件") << "a greyed 全字匹配 matched whole names";
}

TEST_F(Form1Test, ClosingWithoutASearchSavesTheSameValuesAgain)
{
    MemoryStore store;
    store.values["Form1/check2"] = "1";
    auto w = makeWindow(&store);
    w->show();
    w->close();
    EXPECT_EQ(store.values["Form1/check1"], "0");
    EXPECT_EQ(store.values["Form1/check2"], "1");
    EXPECT_EQ(store.values["Form1/check3"], "0");
    EXPECT_EQ(store.values["Form1/check4"], "0");
}

TEST_F(Form1Test, ClosingDuringASearchStopsItAndTheWindowStaysClosed)
{
    makeTree(20, 3);
    MemoryStore store;
    auto w = makeWindow(&store);
    w->show();
    ui(w).Combo1->setEditText(tree.path());
    fileSystem.hookAt = 3; // the root and one sub-folder have been listed
    fileSystem.hook = [&] { w->close(); };
    ui(w).Command1->click();
    EXPECT_TRUE(w->closedDuringSearch());
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(w->searchCommand().isRunning());
    EXPECT_LT(fileSystem.listings, 21) << "the walk went on after the window closed";
    EXPECT_LT(w->results().totalRows(), 80);
    EXPECT_EQ(store.values.count("Form1/check1"), 1u) << "the options were saved";
}

TEST_F(Form1Test, TheWindowFirstShowsCentredOnTheScreen)
{
    auto w = makeWindow();
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    const QPoint screenCentre = w->screen()->geometry().center();
    // The offscreen platform adds its frame, then the window is placed within it.
    const auto centred = [&] {
        const QPoint centre = w->frameGeometry().center();
        return w->frameGeometry().size() != w->size() && std::abs(centre.x() - screenCentre.x()) <= 2
            && std::abs(centre.y() - screenCentre.y()) <= 2;
    };
    (void)QTest::qWaitFor(centred);
    const QPoint windowCentre = w->frameGeometry().center();
    EXPECT_LE(std::abs(windowCentre.x() - screenCentre.x()), 2) << windowCentre.x();
    EXPECT_LE(std::abs(windowCentre.y() - screenCentre.y()), 2) << windowCentre.y();
}

} // namespace
