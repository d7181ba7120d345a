// Long operations: their progress, a cancel, a signal to end the program.
#include "result_actions_fixture.h"

namespace {

using namespace result_actions_testing;

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
