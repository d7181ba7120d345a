// What the tests of the result actions share: a window over rows of a real temporary folder,
// the actions on it, and a progress that stalls where a cancel must fall.
#pragma once

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

namespace result_actions_testing {


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

inline const QByteArray kGbName = "\xb2\xe2\xca\xd4.txt"; // "测试.txt" in GB18030, no UTF-8

} // namespace result_actions_testing
