// Fakes and helpers shared by the tests of the result actions.
#pragma once

#include "platform/message_boxes.h"
#include "tests/support/recording_messages.h"
#include "platform/shell_services.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QByteArray>
#include <QStringList>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

namespace testing_actions {

using FakeMessages = testsupport::RecordingMessages;

class FakeShell : public platform::ShellServices {
public:
    void open(const QByteArray& path) override { calls << "open " + path; }
    void locate(const QByteArray& path) override { calls << "locate " + path; }
    void showProperties(const QByteArray& path, QWidget* owner) override
    {
        calls << "properties " + path;
        lastOwner = owner;
    }
    QList<QByteArray> calls;
    QWidget* lastOwner = nullptr;
};

inline void writeFile(const QByteArray& path, const QByteArray& content, mode_t mode = 0644)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, mode);
    ASSERT_GE(fd, 0) << path.constData();
    ASSERT_EQ(::write(fd, content.constData(), size_t(content.size())), content.size());
    ::close(fd);
}

inline QByteArray readFile(const QByteArray& path)
{
    QByteArray content;
    const int fd = ::open(path.constData(), O_RDONLY);
    if (fd < 0)
        return "<missing>";
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        content.append(buffer, n);
    ::close(fd);
    return content;
}

inline bool exists(const QByteArray& path)
{
    struct stat st;
    return ::lstat(path.constData(), &st) == 0;
}

inline mode_t modeOf(const QByteArray& path)
{
    struct stat st;
    return ::lstat(path.constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

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
