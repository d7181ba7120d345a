// The actions on several rows selected: one question, one operation, one summing up.
#include "result_actions_fixture.h"

namespace {

using namespace result_actions_testing;

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


} // namespace
