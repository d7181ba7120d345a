// Fakes and helpers shared by the tests of the result actions.
#pragma once

#include "platform/desktop/save_dialog.h"
#include "platform/desktop/shell_services.h"
#include "platform/message_boxes.h"
#include "tests/support/recording_messages.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QByteArray>
#include <QStringList>
#include <QTimer>

#include <functional>

namespace testing_actions {

using FakeMessages = testsupport::RecordingMessages;

class FakeShell : public platform::ShellServices {
public:
    void open(const QByteArray& path) override { calls << "open " + path; }
    void locate(const QByteArray& path) override { calls << "locate " + path; }
    void locateAll(const QList<QByteArray>& paths) override { calls << "locate all " + paths.join(' '); }
    void showProperties(const QByteArray& path, QWidget* owner) override
    {
        calls << "properties " + path;
        lastOwner = owner;
    }
    QList<QByteArray> calls;
    QWidget* lastOwner = nullptr;
};

// Answers with the path set, and records what it was asked.
class FakeSaveDialog : public platform::SaveDialog {
public:
    QString askSavePath(QWidget*, const QString& title, const QString& suggested, const QString&) override
    {
        asked << title + '|' + suggested;
        return answer;
    }
    QString answer; // empty: cancelled
    QStringList asked;
};

// Runs a step on the modal dialog of the given type once it shows (a menu may come first).
template <typename Dialog>
void whenShown(std::function<void(Dialog&)> step, int triesLeft = 200)
{
    QTimer::singleShot(triesLeft == 200 ? 0 : 10, [step = std::move(step), triesLeft]() mutable {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (!dialog && triesLeft > 0)
            return whenShown<Dialog>(std::move(step), triesLeft - 1);
        ASSERT_NE(dialog, nullptr) << "no dialog of the expected type showed";
        step(*dialog);
    });
}

} // namespace testing_actions
