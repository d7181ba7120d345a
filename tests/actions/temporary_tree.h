// A temporary folder for the tests of the file operations, with paths into it as bytes.
#pragma once

#include "action_fakes.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace testing_actions {

class TemporaryTree : public ::testing::Test {
protected:
    QByteArray path(const char* relative) const { return root + '/' + relative; }
    void makeFolder(const char* relative, mode_t mode = 0755) { ASSERT_EQ(::mkdir(path(relative), mode), 0) << relative; }
    QStringList namesIn(const char* relative) const
    {
        return QDir(QString::fromUtf8(path(relative))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System);
    }

    QTemporaryDir dir;
    QByteArray root = QFile::encodeName(dir.path());
};

} // namespace testing_actions
