#include "action_fakes.h"
#include "tests/support/temporary_tree.h"
#include "actions/background_operation.h"
#include "actions/entry_batch.h"
#include "actions/progress_window.h"
#include "actions/form2.h"
#include "actions/form3.h"
#include "actions/result_actions.h"
#include "actions/result_window.h"
#include "platform/fileops/entry_copy.h"
#include "platform/fileops/operation_progress.h"
#include "platform/files/posix_file_system.h"
#include "platform/session/termination_signals.h"
#include "search/results/result_list.h"
#include "tests/support/scoped_mount.h"
#include "tests/search/walk/gated_file_system.h"
#include "search/results/result_texts.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QLabel>
#include <QProgressBar>
#include <QTest>

#include <chrono>
#include <csignal>
#include <memory>
#include <random>
#include <thread>

namespace {

using actions::Form2;
using actions::Form3;
using namespace testing_actions;
using namespace testsupport;

class FakeWindow : public actions::ResultWindow {
public:
    QWidget* ownerWindow() override { return &owner; }
    search::ResultList& resultList() override { return rows; }
    int selectedResultRow() const override { return selected; }
    std::vector<int> selectedResultRows() const override
    {
        return several.empty() ? ResultWindow::selectedResultRows() : several;
    }
    void selectResultRows(const std::vector<int>& rows) override { several = rows; }
    void showResultMenu() override {}
    void diskChanged(const QByteArray& path) override { changes << "changed " + path; }
    void entryRenamed(const QByteArray& from, const QByteArray& to) override
    {
        changes << "renamed " + from + " " + to;
    }
    void entryDeleted(const QByteArray& path) override
    {
        changes << "deleted " + path;
        rows.removeEntry(path);
    }

    QWidget owner;
    QList<QByteArray> changes; // what the actions told the window, in order
    search::ResultList rows;
    int selected = -1;
    std::vector<int> several; // where set, the rows selected instead
};

class ResultActionsTest : public ::testing::Test {
protected:
    ResultActionsTest() = default;
    explicit ResultActionsTest(const QString& where) : dir(where) {}

    QByteArray path(const QByteArray& relative) const { return root + '/' + relative; }
    // A row for an entry of the temporary folder, selected.
    int addRow(const QByteArray& relative)
    {
        search::ResultRow row;
        const qsizetype slash = relative.lastIndexOf('/');
        row.folder = slash < 0 ? root : path(relative.left(slash));
        row.name = relative.mid(slash + 1);
        struct stat st, folder;
        const bool seen = ::lstat(path(relative), &st) == 0;
        if (::stat(row.folder.constData(), &folder) == 0)
            row.listedIn = window.rows.recordFolder({uint64_t(folder.st_dev), uint64_t(folder.st_ino)});
        row.isFolder = seen && S_ISDIR(st.st_mode);
        row.hasSize = seen && !S_ISDIR(st.st_mode);
        row.size = row.hasSize ? st.st_size : 0;
        row.icon = 7;
        window.rows.append(row);
        window.rows.flush();
        return window.selected = window.rows.rowCount() - 1;
    }
    void rename(const QString& text)
    {
        whenShown<Form2>([text](Form2& d) {
            d.Text1->setText(text);
            d.Command1->click();
        });
        actions.renameClicked();
    }
    void copy(const QByteArray& target)
    {
        whenShown<Form3>([target](Form3& d) {
            d.Text1->setText(QString::fromUtf8(target));
            d.Command1->click();
        });
        actions.copyClicked();
    }

    QTemporaryDir dir;
    QByteArray root = QFile::encodeName(dir.path());
    FakeWindow window;
    FakeMessages messages;
    platform::PosixFileSystem fileSystem;
    FakeShell shell;
    actions::ResultActions actions{window, messages, fileSystem, shell};
};

// Holds the operation once it has done the given amount until the user cancels it, so that a
// cancel falls at a known point however fast the machine is.
class StallAt : public platform::OperationProgress {
public:
    explicit StallAt(int64_t amount) : amount_(amount) {}

protected:
    void advanced() override
    {
        if (done() < amount_)
            return;
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!cancelled() && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

private:
    int64_t amount_;
};

class LongActionTest : public ResultActionsTest {
protected:
    LongActionTest() : ResultActionsTest(testsupport::inMemoryTemplate()) {}
    static actions::ProgressPolicy stallAt(int64_t amount)
    {
        return {std::chrono::milliseconds(0), [amount] { return std::make_unique<StallAt>(amount); }};
    }
    QStringList namesIn(const QByteArray& relative) const
    {
        return QDir(QString::fromUtf8(path(relative))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    actions::ResultActions quick{window, messages, fileSystem, shell, nullptr, {std::chrono::milliseconds(0)}};
};

const QByteArray kGbName = "\xb2\xe2\xca\xd4.txt"; // "测试.txt" in GB18030, no UTF-8

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

// Four rows chosen: a file, a folder and a file inside it, which goes with its folder, and a
// file's row whose name a folder has taken since, which a delete of that row alone refuses too.
TEST_F(ResultActionsTest, SeveralRowsAreDeletedInOneGoAndTheOnesThatFailStaySelectedWithOneMessage)
{
    writeFile(path("a.txt"), "a");
    ASSERT_EQ(::mkdir(path("F"), 0755), 0);
    writeFile(path("F/x"), "x");
    writeFile(path("b.txt"), "b");
    for (const char* name : {"a.txt", "F", "F/x", "b.txt"})
        addRow(name);
    ASSERT_EQ(::unlink(path("b.txt")), 0);
    ASSERT_EQ(::mkdir(path("b.txt"), 0755), 0);
    window.several = {0, 1, 2, 3};

    messages.answer = platform::MessageAnswer::No;
    actions.deleteClicked();
    EXPECT_TRUE(exists(path("a.txt")));
    messages.answer = platform::MessageAnswer::Yes;
    actions.deleteClicked();
    EXPECT_FALSE(exists(path("a.txt")));
    EXPECT_FALSE(exists(path("F")));
    EXPECT_TRUE(exists(path("b.txt")));
    ASSERT_EQ(window.rows.rowCount(), 1);
    EXPECT_EQ(window.rows.row(0).name, "b.txt");
    EXPECT_EQ(window.several, std::vector<int>{0}) << "the row that failed stays selected";
    EXPECT_EQ(messages.shown, (QStringList(2, "请确认是否删除选中的 4 个项目？|36|提示") << "有 1 个项目删除失败|16|提示"));
    // The walk hears of each entry as it goes; the rows leave a few at a time, after their changes.
    EXPECT_EQ(window.changes, (QList<QByteArray>{"changed " + path("a.txt"), "changed " + path("F"),
                                                 "deleted " + path("a.txt"), "deleted " + path("F")}));
    EXPECT_EQ(actions.SelectedPath(), dir.path() + "/a.txt");
}

// The window over rows of the real tree while a search walks a fake tree of the same paths behind
// gates, its workers reading ahead: what the actions tell the window reaches the walk, and the
// fake disk follows the real one where an entry went.
class WindowOverAWalk : public actions::ResultWindow {
public:
    WindowOverAWalk(FakeWindow& window, fakes::Harness<fakes::GatedFileSystem>& walk) : window_(window), walk_(walk) {}
    QWidget* ownerWindow() override { return window_.ownerWindow(); }
    search::ResultList& resultList() override { return window_.rows; }
    int selectedResultRow() const override { return window_.selectedResultRow(); }
    std::vector<int> selectedResultRows() const override { return window_.selectedResultRows(); }
    void selectResultRows(const std::vector<int>& rows) override { window_.selectResultRows(rows); }
    void showResultMenu() override {}
    void diskChanged(const QByteArray& path) override
    {
        if (!exists(path))
            walk_.fs.removeFromTree(path);
        walk_.command.diskChanged(path);
    }
    void entryRenamed(const QByteArray&, const QByteArray&) override {}
    void entryDeleted(const QByteArray& path) override
    {
        window_.entryDeleted(path);
        walk_.command.entryDeleted(path);
    }

private:
    FakeWindow& window_;
    fakes::Harness<fakes::GatedFileSystem>& walk_;
};

TEST_F(ResultActionsTest, SeveralRowsDeletedInAYieldOfAWalkReadingAheadLeaveItNothingOfWhatLayBelowThem)
{
    for (const char* folder : {"F", "F/b", "H"})
        ASSERT_EQ(::mkdir(path(folder), 0755), 0);
    for (const char* file : {"F/a.txt", "F/b/c.txt", "G.txt"})
        writeFile(path(file), file);
    search::ReadAheadPolicy fourWorkers;
    fourWorkers.workers = 4;
    fakes::Harness<fakes::GatedFileSystem> walk(fourWorkers);
    QSet<QString> expected{dir.path() + "/H"};
    for (const char* file : {"F/a.txt", "F/b/c.txt", "G.txt"})
        walk.fs.tree.add(path(file));
    for (int i = 0; i < 50; ++i) {
        walk.fs.tree.add(path("H/later" + QByteArray::number(i)));
        expected << dir.path() + "/H/later" + QString::number(i);
    }
    addRow("F");
    addRow("G.txt");
    window.several = {0, 1};
    WindowOverAWalk over(window, walk);
    actions::ResultActions acting{over, messages, fileSystem, shell};
    bool deleted = false;
    walk.controls.onYield = [&](int) {
        // F/b's row is there, the folder read ahead but not yet walked.
        if (deleted || !walk.paths().contains(dir.path() + "/F/b") || !walk.fs.waitRead(path("F/b")))
            return;
        acting.deleteClicked();
        deleted = true;
    };
    const QStringList rows = walk.search(dir.path());
    ASSERT_TRUE(deleted);
    EXPECT_FALSE(exists(path("F")));
    EXPECT_FALSE(exists(path("G.txt")));
    EXPECT_EQ(QSet<QString>(rows.begin(), rows.end()), expected);
    EXPECT_EQ(rows.size(), expected.size());
    EXPECT_EQ(walk.controls.status[1], search::countText(expected.size()));
    EXPECT_EQ(walk.controls.status[2], "已完成搜索") << "nothing below F counted as unreadable";
    EXPECT_EQ(messages.shown, QStringList{"请确认是否删除选中的 2 个项目？|36|提示"});
}

// Four rows into one folder: a folder there has the name of one of the files, which a copy never
// replaces, and two rows share a name, of which the first chosen is copied.
TEST_F(ResultActionsTest, SeveralRowsAreCopiedInOneGoAndTheRefusedOnesAreSummedUpOnce)
{
    writeFile(path("a.txt"), "a");
    writeFile(path("c.txt"), "c");
    for (const char* folder : {"d", "sub", "to", "to/c.txt"})
        ASSERT_EQ(::mkdir(path(folder), 0755), 0);
    writeFile(path("d/f"), "f");
    writeFile(path("sub/a.txt"), "other a");
    for (const char* name : {"a.txt", "c.txt", "d", "sub/a.txt"})
        addRow(name);
    window.several = {0, 1, 2, 3};
    copy(path("to"));
    EXPECT_EQ(readFile(path("to/a.txt")), "a");
    EXPECT_EQ(readFile(path("to/d/f")), "f");
    EXPECT_TRUE(QFileInfo(QString::fromUtf8(path("to/c.txt"))).isDir());
    EXPECT_EQ(messages.shown, QStringList{"有 2 个项目复制失败|16|提示"});
    EXPECT_EQ(window.changes, (QList<QByteArray>{"changed " + path("to/a.txt"), "changed " + path("to/c.txt"),
                                                 "changed " + path("to/d")}));
    EXPECT_EQ(window.rows.rowCount(), 4);
}

TEST_F(ResultActionsTest, SeveralRowsAreOpenedAndLocatedTogetherMoreThanTenOnlyOnceAskedAndNotRenamed)
{
    std::vector<int> all;
    for (int i = 0; i < 11; ++i)
        all.push_back(addRow("f" + QByteArray::number(i)));
    window.several = {0, 1, 2};
    actions.locateClicked();
    actions.openClicked();
    EXPECT_EQ(shell.calls.first(), "locate all " + path("f0") + " " + path("f1") + " " + path("f2"));
    EXPECT_EQ(shell.calls.mid(1), (QList<QByteArray>{"open " + path("f0"), "open " + path("f1"), "open " + path("f2")}));
    EXPECT_TRUE(messages.shown.isEmpty());

    window.several = all;
    messages.answer = platform::MessageAnswer::No;
    actions.rowDoubleClicked();
    EXPECT_EQ(shell.calls.size(), 4);
    messages.answer = platform::MessageAnswer::Yes;
    actions.locateClicked();
    EXPECT_EQ(shell.calls.size(), 5);
    EXPECT_EQ(messages.shown, QStringList(2, "确定要打开选中的 11 个项目吗？|36|提示"));

    bool dialogShown = false;
    QTimer::singleShot(0, [&] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            dialogShown = true;
            dialog->reject();
        }
    });
    actions.renameClicked();
    actions.propertiesClicked();
    QCoreApplication::processEvents();
    EXPECT_FALSE(dialogShown);
    EXPECT_EQ(shell.calls.size(), 5) << "properties are for one row";
}

// Batches of random length and pace, cancelled (as a signal to end the program cancels) at a
// random entry or not at all, with and without the progress window: every entry that ran is told
// once, in order, with its own result, before the batch returns; none after the cancel runs.
TEST(EntryBatchTest, EveryEntryThatRanIsToldOnceInOrderWhereverTheCancelFalls)
{
    std::mt19937 random(20261209);
    for (int round = 0; round < 40; ++round) {
        const size_t count = random() % 12;
        const size_t cancelAt = random() % (count + 2); // past the end: no cancel
        const actions::ProgressPolicy policy{std::chrono::milliseconds(random() % 2 ? 0 : 500), {}};
        std::vector<int> pace(count);
        for (int& us : pace)
            us = int(random() % 1500);
        size_t ran = 0; // the worker's own until the batch has returned
        std::vector<std::pair<size_t, int>> told;
        const platform::FileOperationResult result = actions::runForEachEntry(
            nullptr, actions::ProgressKind::Delete, policy, count,
            [&](size_t index, platform::OperationProgress& progress) {
                ++ran;
                std::this_thread::sleep_for(std::chrono::microseconds(pace[index]));
                if (index == cancelAt)
                    actions::cancelRunningOperations(std::chrono::milliseconds(0));
                progress.setTotal(2);
                progress.advance(1);
                return platform::FileOperationResult{progress.cancelled() ? ECANCELED : int(index)};
            },
            [&](size_t index, const platform::FileOperationResult& done) { told.emplace_back(index, done.error); });
        const size_t expectedRuns = std::min(count, cancelAt + 1);
        ASSERT_EQ(ran, expectedRuns) << "round " << round;
        ASSERT_EQ(told.size(), expectedRuns) << "round " << round;
        for (size_t i = 0; i < told.size(); ++i)
            EXPECT_EQ(told[i], std::make_pair(i, i == cancelAt ? ECANCELED : int(i))) << "round " << round;
        EXPECT_EQ(result.error, cancelAt < count ? ECANCELED : 0) << "round " << round;
    }
}

TEST_F(LongActionTest, ALongDeleteShowsItsProgressAndACancelStopsItAndKeepsTheRow)
{
    ASSERT_EQ(::mkdir(path("tree"), 0755), 0);
    for (int f = 0; f < 200; ++f)
        writeFile(path("tree/f") + QByteArray::number(f), "");
    addRow("tree");
    QStringList seen;
    whenShown<actions::ProgressWindow>([&](actions::ProgressWindow& w) {
        seen << w.windowTitle() << w.Label1->text() << w.Command1->text();
        ASSERT_TRUE(QTest::qWaitFor([&w] { return w.ProgressBar1->value() > 0; }, 20000));
        w.Command1->click();
        seen << QString::number(w.isVisible()) << QString::number(w.Command1->isEnabled());
    });
    actions::ResultActions stalling{window, messages, fileSystem, shell, nullptr, stallAt(100)};
    stalling.deleteClicked();
    EXPECT_EQ(seen, (QStringList{"正在删除...", "正在删除...", "取消", "1", "0"}));
    EXPECT_EQ(messages.shown, QStringList{"请确认是否删除？|36|提示"}) << "a cancel is no failure";
    EXPECT_EQ(window.rows.rowCount(), 1);
    EXPECT_EQ(namesIn("tree").size(), 100) << "it stopped at the entry after the cancel";
    EXPECT_EQ(window.changes, QList<QByteArray>{"changed " + path("tree")});
}

TEST_F(LongActionTest, ACancelledDeleteOfSeveralRowsKeepsThoseNotYetDeletedSelectedAndIsNoFailure)
{
    for (const char* name : {"a", "b", "c"}) {
        writeFile(path(name), name);
        addRow(name);
    }
    window.several = {0, 1, 2};
    QStringList seen;
    whenShown<actions::ProgressWindow>([&](actions::ProgressWindow& w) {
        seen << w.windowTitle();
        ASSERT_TRUE(QTest::qWaitFor([&w] { return w.ProgressBar1->value() > 0; }, 20000));
        w.Command1->click();
    });
    actions::ResultActions stalling{window, messages, fileSystem, shell, nullptr, stallAt(actions::kBatchEntrySteps)};
    stalling.deleteClicked();
    EXPECT_EQ(seen, QStringList{"正在删除..."});
    EXPECT_EQ(namesIn(""), (QStringList{"b", "c"})) << "it stopped after the first entry";
    EXPECT_EQ(window.several, (std::vector<int>{0, 1}));
    EXPECT_EQ(messages.shown, QStringList{"请确认是否删除选中的 3 个项目？|36|提示"});
}

TEST_F(LongActionTest, ACancelledFolderCopyTellsOfWhatItKeptAndOfNothingWhenItKeptNothing)
{
    ASSERT_EQ(::mkdir(path("src"), 0755), 0);
    for (const char* name : {"a", "b"})
        writeFile(path("src/") + name, QByteArray(20 << 20, *name));
    ASSERT_EQ(::mkdir(path("to"), 0755), 0);
    addRow("src");
    const auto copyCancelledAfter = [&](int64_t bytes) {
        actions::ResultActions stalling{window, messages, fileSystem, shell, nullptr, stallAt(bytes)};
        whenShown<Form3>([&](Form3& d) {
            d.Text1->setText(QString::fromUtf8(path("to")));
            whenShown<actions::ProgressWindow>([bytes](actions::ProgressWindow& w) {
                const int reached = std::max<int64_t>(1, bytes * 1000 / (40 << 20));
                ASSERT_TRUE(QTest::qWaitFor([&w, reached] { return w.ProgressBar1->value() >= reached; }, 20000));
                w.Command1->click();
            });
            d.Command1->click();
        });
        stalling.copyClicked();
    };
    copyCancelledAfter(1); // within the first file
    EXPECT_TRUE(messages.shown.isEmpty());
    EXPECT_EQ(namesIn("to"), QStringList{});
    copyCancelledAfter(20 << 20); // once the first file is whole
    EXPECT_EQ(messages.shown, QStringList{"已取消复制，已复制的文件保留在目标位置|48|提示"});
    EXPECT_EQ(namesIn("to/src").size(), 1);
}

TEST_F(LongActionTest, ASignalToEndTheProgramStopsARunningCopyAsACancelDoesAndItsHiddenFileGoes)
{
    writeFile(path("big"), QByteArray(64 << 20, 'b'));
    ASSERT_EQ(::mkdir(path("to"), 0755), 0);
    const platform::Fd from(::open(root, O_RDONLY | O_DIRECTORY)), to(::open(path("to"), O_RDONLY | O_DIRECTORY));
    const struct statx st = statusOf(path("big"));
    platform::TerminationSignals termination;
    QList<int> received;
    bool ended = false;
    QStringList leftWhenEnded;
    QObject::connect(&termination, &platform::TerminationSignals::terminationRequested, [&](int signal) {
        received << signal;
        ended = actions::cancelRunningOperations(std::chrono::seconds(10));
        leftWhenEnded = namesIn("to");
    });
    whenShown<actions::ProgressWindow>([](actions::ProgressWindow& w) {
        ASSERT_TRUE(QTest::qWaitFor([&w] { return w.ProgressBar1->value() > 0; }, 20000));
        ::raise(SIGTERM);
    });
    // The hidden file is what a volume without files of no name gets.
    const platform::FileOperationResult done =
        actions::runWithProgress(&window.owner, actions::ProgressKind::Copy, stallAt(1), [&](platform::OperationProgress& p) {
            p.setTotal(int64_t(st.stx_size));
            return platform::FileOperationResult{platform::copyRegularEntry(from.get(), "big", st, to.get(), "big", &p,
                                                                            platform::NewFile::Hidden)};
        });
    EXPECT_EQ(done.error, ECANCELED);
    EXPECT_EQ(received, QList<int>{SIGTERM});
    EXPECT_TRUE(ended) << "the copy had ended when the program went on to close";
    EXPECT_EQ(leftWhenEnded, QStringList{});
    EXPECT_TRUE(platform::TerminationSignals::received());
}

TEST_F(LongActionTest, ACopyShowsItsProgressAndEndsWithTheBarFull)
{
    writeFile(path("big"), QByteArray(64 << 20, 'b'));
    ASSERT_EQ(::mkdir(path("to"), 0755), 0);
    addRow("big");
    int bar = -1;
    QString current;
    whenShown<Form3>([&](Form3& d) {
        d.Text1->setText(QString::fromUtf8(path("to")));
        whenShown<actions::ProgressWindow>([&](actions::ProgressWindow& w) {
            QObject::connect(&w, &QDialog::finished, [&] {
                bar = w.ProgressBar1->value();
                current = w.Label2->text();
            });
        });
        d.Command1->click();
    });
    quick.copyClicked();
    EXPECT_EQ(readFile(path("to/big")).size(), 64 << 20);
    EXPECT_EQ(bar, 1000);
    EXPECT_EQ(current, dir.path() + "/big");
    EXPECT_TRUE(messages.shown.isEmpty());
}

} // namespace
