// A temporary folder for the tests of the file operations, with paths into it as bytes.
#pragma once

#include "action_fakes.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

namespace testing_actions {

// Where a test makes trees of thousands of entries: a tmpfs where the machine has one at
// /dev/shm, since folders and files are made there in a fraction of the time a disk takes.
inline QString inMemoryTemplate()
{
    const bool usable = ::access("/dev/shm", W_OK | X_OK) == 0;
    return (usable ? QStringLiteral("/dev/shm") : QDir::tempPath()) + QStringLiteral("/sorvane-test-XXXXXX");
}

class TemporaryTree : public ::testing::Test {
protected:
    TemporaryTree() = default;
    explicit TemporaryTree(const QString& where) : dir(where) {}

    QByteArray path(const char* relative) const { return root + '/' + relative; }
    void makeFolder(const char* relative, mode_t mode = 0755) { ASSERT_EQ(::mkdir(path(relative), mode), 0) << relative; }
    QStringList namesIn(const char* relative) const
    {
        return QDir(QString::fromUtf8(path(relative))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System);
    }

    QTemporaryDir dir;
    QByteArray root = QFile::encodeName(dir.path());
};

class InMemoryTree : public TemporaryTree {
protected:
    InMemoryTree() : TemporaryTree(inMemoryTemplate()) {}
};

} // namespace testing_actions
