// A temporary folder for the tests of the file operations and the actions, with paths into it as
// bytes, and the file helpers they share.
#pragma once

#include "tests/support/unprivileged.h"

#include "platform/fileops/locate_entry.h"
#include "platform/files/paths.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace testsupport {

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

// An entry's status as the file operations read it: a link not followed.
inline struct statx statusOf(const QByteArray& path)
{
    struct statx st {};
    EXPECT_EQ(::statx(AT_FDCWD, path.constData(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &st), 0) << path.constData();
    return st;
}

inline mode_t modeOf(const QByteArray& path)
{
    struct stat st;
    return ::lstat(path.constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Where a test makes trees of thousands of entries: a tmpfs where the machine has one at
// /dev/shm, since folders and files are made there in a fraction of the time a disk takes.
inline QString inMemoryTemplate()
{
    const bool usable = ::access("/dev/shm", W_OK | X_OK) == 0;
    return (usable ? QStringLiteral("/dev/shm") : QDir::tempPath()) + QStringLiteral("/sorvane-test-XXXXXX");
}

// A chain of folders named "d", levels deep below base, each holding a file; made by descriptors,
// since the paths soon outgrow PATH_MAX.
inline void makeDeepChain(const QByteArray& base, int levels)
{
    int fd = ::open(base.constData(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    for (int level = 0; level < levels; ++level) {
        ASSERT_EQ(::mkdirat(fd, "d", 0755), 0) << "level " << level;
        const int file = ::openat(fd, "f", O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(file, 0);
        ::close(file);
        const int below = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        ASSERT_GE(fd = below, 0);
    }
    ::close(fd);
}

class TemporaryTree : public ::testing::Test {
protected:
    TemporaryTree() = default;
    explicit TemporaryTree(const QString& where) : dir(where) {}

    QByteArray path(const QByteArray& relative) const { return root + '/' + relative; }
    void makeFolder(const QByteArray& relative, mode_t mode = 0755) { ASSERT_EQ(::mkdir(path(relative), mode), 0) << relative.constData(); }
    QStringList namesIn(const QByteArray& relative) const
    {
        return QDir(QString::fromUtf8(path(relative))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System);
    }

    // A row's view of an entry: its path, the folder the walk listed it in, and its kind.
    platform::EntryRef entry(const QByteArray& relative) const
    {
        platform::EntryRef ref = unidentified(relative);
        struct stat st;
        if (::stat(platform::containingFolder(ref.path).constData(), &st) == 0)
            ref.folder = {uint64_t(st.st_dev), uint64_t(st.st_ino)};
        return ref;
    }
    // The same where the walk could not tell which folder it listed.
    platform::EntryRef unidentified(const QByteArray& relative) const
    {
        struct stat st;
        return {path(relative), {}, ::lstat(path(relative).constData(), &st) == 0 && S_ISDIR(st.st_mode)};
    }

    QTemporaryDir dir;
    QByteArray root = QFile::encodeName(dir.path());
};

class InMemoryTree : public TemporaryTree {
protected:
    InMemoryTree() : TemporaryTree(inMemoryTemplate()) {}
};

} // namespace testsupport
