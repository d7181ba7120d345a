#pragma once
// The window over the real file system, made as the program makes it, with recorded message boxes,
// two volumes and a temporary tree; a hook may act from inside the walk's listing calls.
#include "mainwindow/form1.h"
#include "mainwindow/form1_controls.h"
#include "platform/files/posix_file_system.h"
#include "platform/session/settings_store.h"
#include "tests/support/memory_store.h"
#include "tests/support/recording_messages.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace form1test {

inline mainwindow::Form1Controls ui(const std::unique_ptr<mainwindow::Form1>& w)
{
    return mainwindow::Form1Controls::of(*w);
}

using mainwindow::Form1;

using testsupport::MemoryStore;
using RecordedMessages = testsupport::RecordingMessages;

// A file system that lets a test act in the middle of a walk: a hook runs when a chosen folder
// is listed.
class HookedFileSystem : public platform::PosixFileSystem {
public:
    platform::OpenedFolder openFolder(const QByteArray& path, bool followLink) override
    {
        listed();
        return PosixFileSystem::openFolder(path, followLink);
    }
    platform::OpenedFolder openBelow(const platform::OpenFolder& from, QByteArrayView names) override
    {
        listed();
        return PosixFileSystem::openBelow(from, names);
    }
    void listed()
    {
        if (++listings == hookAt && hook)
            hook();
    }
    int listings = 0;
    int hookAt = -1;
    std::function<void()> hook;
};

class Form1Test : public ::testing::Test {
protected:
    std::unique_ptr<Form1> makeWindow(platform::SettingsStore* settings = nullptr)
    {
        return std::make_unique<Form1>(mainwindow::Form1Services{
            .fileSystem = fileSystem,
            .messages = &messages,
            .settings = settings,
            .probeVolumes = [] { return QList<QByteArray>{"/", "/media/u/STICK"}; },
            .yieldPolicy = {},
            // The hooks act from inside the walk's own listing calls, on the window's thread.
            .readAhead = search::ReadAheadPolicy::off()});
    }

    void makeTree(int folders, int filesEach)
    {
        for (int f = 0; f < folders; ++f) {
            const QString folder = tree.path() + QStringLiteral("/d%1").arg(f);
            QDir().mkpath(folder);
            for (int i = 0; i < filesEach; ++i) {
                QFile file(folder + QStringLiteral("/file%1.txt").arg(i));
                ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            }
        }
    }

    HookedFileSystem fileSystem;
    RecordedMessages messages;
    QTemporaryDir tree;
};

} // namespace form1test
