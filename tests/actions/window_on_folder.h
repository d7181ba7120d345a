// The main window over the real file system, searching a temporary folder, with its message
// boxes and the desktop's shell services recorded.
#pragma once

#include "action_fakes.h"
#include "mainwindow/form1.h"
#include "mainwindow/form1_controls.h"
#include "platform/files/posix_file_system.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace testing_actions {

inline mainwindow::Form1Controls ui(const std::unique_ptr<mainwindow::Form1>& w)
{
    return mainwindow::Form1Controls::of(*w);
}

class WindowOnFolder : public ::testing::Test {
protected:
    WindowOnFolder() = default;
    explicit WindowOnFolder(const QString& where) : dir(where) {}
    void SetUp() override
    {
        w = std::make_unique<mainwindow::Form1>(mainwindow::Form1Services{.fileSystem = fileSystem,
                                                                          .messages = &messages,
                                                                          .settings = nullptr,
                                                                          .probeVolumes = [] { return QList<QByteArray>{"/"}; },
                                                                          .yieldPolicy = {},
                                                                          .shell = &shell,
                                                                          .saveDialog = &saveDialog});
    }
    void showWindow()
    {
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    }
    QByteArray path(const QByteArray& relative) const { return root + '/' + relative; }
    void search()
    {
        ui(w).Combo1->setEditText(dir.path());
        ui(w).Command1->click();
    }

    QTemporaryDir dir;
    QByteArray root = QFile::encodeName(dir.path());
    platform::PosixFileSystem fileSystem;
    FakeMessages messages;
    FakeShell shell;
    FakeSaveDialog saveDialog;
    std::unique_ptr<mainwindow::Form1> w;
};

} // namespace testing_actions
