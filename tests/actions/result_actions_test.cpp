// The actions on one row selected: each checked before it acts, its row following.
#include "result_actions_fixture.h"

namespace {

using namespace result_actions_testing;

TEST_F(ResultActionsTest, ActionsTakeTheSelectedRowsBytesAndWithoutASelectionDoNothing)
{
    addRow("a.txt");
    addRow(kGbName);
    actions.openClicked();
    actions.locateClicked();
    actions.propertiesClicked();
    window.selected = 0;
    actions.rowDoubleClicked();
    EXPECT_EQ(shell.calls, (QList<QByteArray>{"open " + path(kGbName), "locate " + path(kGbName),
                                              "properties " + path(kGbName), "open " + path("a.txt")}));
    EXPECT_EQ(shell.lastOwner, &window.owner);

    window.selected = -1;
    for (auto action : {&actions::ResultActions::openClicked, &actions::ResultActions::locateClicked,
                        &actions::ResultActions::propertiesClicked, &actions::ResultActions::copyClicked,
                        &actions::ResultActions::renameClicked, &actions::ResultActions::rowDoubleClicked})
        (actions.*action)();
    actions.deleteClicked();
    EXPECT_EQ(shell.calls.size(), 4);
    EXPECT_EQ(messages.prompts, QStringList{"请确认是否删除？"});
    EXPECT_EQ(actions.SelectedPath(), dir.path() + "/a.txt") << "kept from the last action";
}

TEST_F(ResultActionsTest, DeleteAsksFirstThenRemovesTheFileOrTheWholeFolderWithItsRows)
{
    writeFile(path("a.txt"), "a");
    writeFile(path("gone.txt"), "g");
    ASSERT_EQ(::mkdir(path("d"), 0755), 0);
    writeFile(path("d/ro.txt"), "r", 0444);
    addRow("a.txt");
    addRow("gone.txt");
    addRow("d");
    addRow("d/ro.txt");

    window.selected = 0;
    messages.answer = platform::MessageAnswer::No;
    actions.deleteClicked();
    EXPECT_TRUE(exists(path("a.txt")));
    EXPECT_EQ(window.rows.rowCount(), 4);
    EXPECT_TRUE(actions.SelectedPath().isEmpty()) << "a delete answered No takes no path";

    messages.answer = platform::MessageAnswer::Yes;
    actions.deleteClicked();
    window.selected = 1; // now the folder's row
    actions.deleteClicked();
    EXPECT_FALSE(exists(path("a.txt")));
    EXPECT_FALSE(exists(path("d")));
    EXPECT_EQ(window.changes, (QList<QByteArray>{"changed " + path("a.txt"), "deleted " + path("a.txt"),
                                                 "changed " + path("d"), "deleted " + path("d")}));
    ASSERT_EQ(window.rows.rowCount(), 1);
    EXPECT_EQ(window.rows.row(0).name, "gone.txt");
    EXPECT_EQ(messages.shown, QStringList(3, "请确认是否删除？|36|提示"));

    // The entry has gone since: nothing deleted, the failure told, the row kept.
    ::unlink(path("gone.txt"));
    window.selected = 0;
    actions.deleteClicked();
    EXPECT_EQ(messages.shown.last(), "删除失败|16|提示");
    EXPECT_EQ(window.rows.rowCount(), 1);
}

TEST_F(ResultActionsTest, AFolderHoldingAMountIsNotDeletedAndKeepsItsRowAndTheMountedData)
{
    ASSERT_EQ(::mkdir(path("outside"), 0755), 0);
    writeFile(path("outside/data"), "outside data");
    ASSERT_EQ(::mkdir(path("tree"), 0755), 0);
    writeFile(path("tree/a.txt"), "a");
    ASSERT_EQ(::mkdir(path("tree/mnt"), 0755), 0);
    const testsupport::ScopedMount bind = testsupport::ScopedMount::bind(path("outside"), path("tree/mnt"));
    if (!bind.mounted())
        GTEST_SKIP() << bind.why().toStdString();
    addRow("tree");
    actions.deleteClicked();
    EXPECT_EQ(messages.shown.last(), "删除失败|16|提示");
    EXPECT_EQ(window.rows.rowCount(), 1);
    EXPECT_EQ(readFile(path("outside/data")), "outside data");
    EXPECT_EQ(readFile(path("tree/a.txt")), "a");
}

TEST_F(ResultActionsTest, AFileSavedAgainIsStillItsRowsButAFolderInItsPlaceIsNot)
{
    writeFile(path("a.txt"), "old");
    writeFile(path("b.txt"), "old");
    ASSERT_EQ(::mkdir(path("to"), 0755), 0);
    addRow("a.txt");
    addRow("b.txt");
    for (const char* name : {"a.txt", "b.txt"}) {
        writeFile(path(name) + ".new", "saved");
        ASSERT_EQ(::rename(path(name) + ".new", path(name)), 0); // as an editor saves
    }
    window.selected = 0;
    copy(path("to"));
    rename("c.txt");
    window.selected = 1;
    actions.deleteClicked();
    EXPECT_EQ(readFile(path("to/a.txt")), "saved");
    EXPECT_EQ(readFile(path("c.txt")), "saved");
    EXPECT_FALSE(exists(path("b.txt")));
    EXPECT_EQ(messages.shown, QStringList{"请确认是否删除？|36|提示"});

    ASSERT_EQ(::rename(path("c.txt"), path("c.old")), 0);
    ASSERT_EQ(::mkdir(path("c.txt"), 0755), 0);
    writeFile(path("c.txt/unseen"), "unseen");
    window.selected = 0;
    actions.deleteClicked();
    rename("d.txt");
    EXPECT_EQ(messages.shown.mid(1), (QStringList{"请确认是否删除？|36|提示", "删除失败|16|提示", "操作失败，无法重命名文件|16|提示"}));
    EXPECT_EQ(readFile(path("c.txt/unseen")), "unseen");
    EXPECT_EQ(window.rows.row(0).name, "c.txt");
}

TEST_F(ResultActionsTest, RenameGivesTheRowItsNewNameAndPathAndKeepsSizeAndIcon)
{
    writeFile(path("a.txt"), "12345");
    ASSERT_EQ(::mkdir(path("d"), 0755), 0);
    addRow("d");
    const int row = addRow("a.txt");
    rename("  b.doc  ");
    EXPECT_EQ(readFile(path("b.doc")), "12345");
    EXPECT_FALSE(exists(path("a.txt")));
    const search::ResultRow& r = window.rows.row(row);
    EXPECT_EQ(r.nameText(), "b.doc");
    EXPECT_EQ(r.pathText(), dir.path() + "/b.doc");
    EXPECT_EQ(r.size, 5);
    EXPECT_EQ(r.icon, 7u);
    EXPECT_EQ(actions.SelectedPath(), dir.path() + "/a.txt");

    window.selected = 0;
    rename("e");
    EXPECT_TRUE(exists(path("e")));
    EXPECT_EQ(window.rows.row(0).pathBytes(), path("e"));
    EXPECT_TRUE(messages.shown.isEmpty());
}

TEST(RenameDialogTest, TheNameKeepsItsOwnBlanksWhereTheUserLeftThemAndDropsTypedOnes)
{
    const struct {
        const char* typed;
        const char* original;
        const char* used;
    } cases[] = {
        {"b.txt", "a.txt", "b.txt"},
        {"  b.txt  ", "a.txt", "b.txt"},
        {" b.txt ", " a.txt ", " b.txt "},
        {"b.txt", " a.txt ", "b.txt"},
        {"   b.txt ", " a.txt ", "b.txt "},
        {"\u3000b", "a", "\u3000b"},
        {"   ", " a ", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Form2::nameToUse(QString::fromUtf8(c.typed), QString::fromUtf8(c.original)), QString::fromUtf8(c.used))
            << "typed '" << c.typed << "' for '" << c.original << "'";
}

TEST_F(ResultActionsTest, ANameWithBlanksAtItsEndsIsRenamedOnlyWhenChanged)
{
    writeFile(path(" a.txt "), "a");
    addRow(" a.txt ");
    rename(" a.txt ");
    EXPECT_EQ(readFile(path(" a.txt ")), "a") << "OK on the unchanged name renames nothing";
    rename(" b.txt ");
    EXPECT_EQ(readFile(path(" b.txt ")), "a");
    EXPECT_EQ(window.rows.row(0).name, " b.txt ");
    EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(ResultActionsTest, RenameOntoAnotherEntryIsRefusedAndLeavesBothAndTheRow)
{
    writeFile(path("a.txt"), "a");
    writeFile(path("b.txt"), "b");
    addRow("a.txt");
    rename("b.txt");
    EXPECT_EQ(messages.shown, QStringList{"操作失败，无法重命名文件|16|提示"});
    EXPECT_EQ(readFile(path("a.txt")), "a");
    EXPECT_EQ(readFile(path("b.txt")), "b");
    EXPECT_EQ(window.rows.row(0).name, "a.txt");
}

TEST_F(ResultActionsTest, TheRenameDialogRefusesIllegalKeysPastedSlashesControlCharactersDotNamesAndBlanks)
{
    writeFile(path("a.txt"), "a");
    addRow("a.txt");
    QStringList seen;
    whenShown<Form2>([&](Form2& d) {
        d.Text1->clear();
        QTest::keyClicks(d.Text1, "a:b");
        seen << d.Text1->text() << QString::number(messages.prompts.size());
        for (const char* name : {"x/y", ".", "..", "a\nb", "a\tb", "a\x7f"}) {
            d.Text1->setText(name);
            d.Command1->click();
            seen << QString::number(d.isVisible());
        }
        d.Text1->setText("   ");
        d.Command1->click();
        seen << d.Text1->text() << QString::number(d.isVisible());
        d.Command2->click();
    });
    actions.renameClicked();
    EXPECT_EQ(seen, (QStringList{"ab", "1", "1", "1", "1", "1", "1", "1", "", "1"}));
    EXPECT_EQ(messages.shown, QStringList(7, "文件名包含非法字符|16|提示") << "请输入文件名|48|提示");
    EXPECT_EQ(readFile(path("a.txt")), "a");
    EXPECT_EQ(window.rows.row(0).name, "a.txt");
}

TEST_F(ResultActionsTest, TheDialogsRunTheirOperationWhileOpenAndTellOfAFailureOnceClosed)
{
    QStringList seen;
    const auto shownDialog = [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && qobject_cast<actions::TextBoxDialog*>(w))
                return w->objectName();
        return QStringLiteral("none");
    };
    messages.onShow = [&] { seen << messages.prompts.last() + " over " + shownDialog(); };
    Form2 renameDialog(&window.owner, messages, "a.txt", [&](const QString& name) {
        seen << "rename to " + name + " in " + shownDialog();
        return false;
    });
    whenShown<Form2>([](Form2& d) {
        d.Text1->setText("b.txt");
        d.Command1->click();
    });
    renameDialog.exec();
    Form3 copyDialog(&window.owner, messages, fileSystem, [&](const QByteArray& target) {
        seen << "copy into " + QString::fromUtf8(target) + " in " + shownDialog();
        return actions::CopyOutcome::Failed;
    });
    whenShown<Form3>([this](Form3& d) {
        d.Text1->setText(dir.path());
        d.Command1->click();
    });
    copyDialog.exec();
    EXPECT_EQ(seen, (QStringList{"rename to b.txt in Form2", "操作失败，无法重命名文件 over none",
                                 "copy into " + dir.path() + " in Form3", "操作失败，无法复制文件 over none"}));
}

TEST_F(ResultActionsTest, ACopyTargetIsUsedAsTypedWhereItExistsAndTrimmedOnlyWhereNot)
{
    writeFile(path("a.txt"), "a");
    for (const char* folder : {"to ", "to", "other", "real"})
        ASSERT_EQ(::mkdir(path(folder), 0755), 0);
    ASSERT_EQ(::symlink("real", path("link")), 0);
    addRow("a.txt");
    copy(path("to "));
    copy("  " + path("other") + " ");
    copy(path("link"));
    EXPECT_EQ(readFile(path("to /a.txt")), "a");
    EXPECT_FALSE(exists(path("to/a.txt")));
    EXPECT_EQ(readFile(path("other/a.txt")), "a");
    EXPECT_EQ(readFile(path("real/a.txt")), "a") << "a link the user typed leads where it leads";
    EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(ResultActionsTest, CopyPutsTheEntryInsideTheTargetFolderReplacingWhatIsThere)
{
    writeFile(path("a.txt"), "new");
    ASSERT_EQ(::mkdir(path("to"), 0755), 0);
    writeFile(path("to/a.txt"), "old");
    ASSERT_EQ(::mkdir(path("d"), 0755), 0);
    ASSERT_EQ(::mkdir(path("d/sub"), 0755), 0);
    writeFile(path("d/sub/f"), "f new");
    ASSERT_EQ(::mkdir(path("to/d"), 0755), 0);
    ASSERT_EQ(::mkdir(path("to/d/sub"), 0755), 0);
    writeFile(path("to/d/sub/f"), "f old");
    writeFile(path("to/d/keep"), "keep");

    addRow("a.txt");
    copy(path("to") + "/");
    EXPECT_EQ(readFile(path("to/a.txt")), "new");
    writeFile(path("a.txt"), "newer");
    copy("  " + path("to") + "  ");
    EXPECT_EQ(readFile(path("to/a.txt")), "newer") << "without the trailing slash it lands inside too";
    EXPECT_FALSE(exists(path("toa.txt")));

    addRow("d");
    copy(path("to"));
    EXPECT_EQ(readFile(path("to/d/sub/f")), "f new");
    EXPECT_EQ(readFile(path("to/d/keep")), "keep");
    EXPECT_TRUE(messages.shown.isEmpty());
    EXPECT_EQ(window.rows.rowCount(), 2) << "a copy adds no row";
}

TEST_F(ResultActionsTest, ACopyTargetThatIsNoFolderIsRefusedAsInvalidOrMissingAndStaysSelected)
{
    writeFile(path("a.txt"), "a");
    writeFile(path("file"), "f");
    addRow("a.txt");
    QStringList seen;
    whenShown<Form3>([&](Form3& d) {
        for (const QByteArray& target : {path("file"), path("missing"), path("fi*"), QByteArray("  ")}) {
            d.Text1->setText(QString::fromUtf8(target));
            d.Command1->click();
            seen << QString::number(d.isVisible()) << d.Text1->selectedText();
        }
        d.Command2->click();
    });
    actions.copyClicked();
    EXPECT_EQ(seen, (QStringList{"1", dir.path() + "/file", "1", dir.path() + "/missing", "1", dir.path() + "/fi*", "1", ""}));
    EXPECT_EQ(messages.shown, (QStringList{"指定位置无效|48|错误", "指定位置不存在|48|错误", "指定位置无效|48|错误",
                                           "请输入文件名|48|提示"}));
    EXPECT_EQ(readFile(path("file")), "f");
    EXPECT_FALSE(exists(path("filea.txt")));
}

TEST_F(ResultActionsTest, CopyingOntoItselfOrIntoItselfCopiesNothingAndSaysSo)
{
    writeFile(path("a.txt"), "a");
    ASSERT_EQ(::mkdir(path("d"), 0755), 0);
    ASSERT_EQ(::mkdir(path("d/sub"), 0755), 0);
    writeFile(path("d/sub/f"), "f");
    addRow("a.txt");
    copy(root);
    addRow("d");
    copy(root);
    copy(path("d"));
    copy(path("d/sub"));
    EXPECT_EQ(messages.shown, QStringList(4, "操作失败，无法复制文件|16|提示"));
    EXPECT_EQ(readFile(path("a.txt")), "a");
    EXPECT_EQ(readFile(path("d/sub/f")), "f");
    EXPECT_FALSE(exists(path("d/d")));
    EXPECT_FALSE(exists(path("d/sub/d")));
}

TEST_F(ResultActionsTest, ANameThatIsNoUtf8IsCopiedRenamedAndDeletedAsItsOwnBytes)
{
    writeFile(path(kGbName), "gb");
    writeFile(path("\xff\xfe"), "odd");
    ASSERT_EQ(::mkdir(path("to"), 0755), 0);
    addRow("\xff\xfe");
    rename(window.rows.row(0).nameText()); // OK on the shown name changes nothing
    EXPECT_EQ(readFile(path("\xff\xfe")), "odd");

    const int row = addRow(kGbName);
    EXPECT_EQ(window.rows.row(row).nameText(), "测试.txt");
    copy(path("to"));
    EXPECT_EQ(readFile(path("to/" + kGbName)), "gb");
    rename("新名.txt");
    EXPECT_EQ(readFile(path("新名.txt")), "gb");
    EXPECT_FALSE(exists(path(kGbName)));
    EXPECT_EQ(window.rows.row(row).name, "新名.txt");

    addRow("to/" + kGbName);
    actions.deleteClicked();
    EXPECT_FALSE(exists(path("to/" + kGbName)));
    EXPECT_EQ(messages.shown, QStringList{"请确认是否删除？|36|提示"});
}


} // namespace
