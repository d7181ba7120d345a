#pragma once
// The real file system on a temporary tree with a folder, a link to its own folder and a name in
// GB18030 bytes; every case runs with folders read ahead on worker threads and without.
#include "fakes.h"

#include "platform/files/posix_file_system.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace posixsearch {

inline const QByteArray kGbName("\xD6\xD0\xCE\xC4.txt"); // "中文.txt" in GB18030

class PosixSearch : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        root = QFile::encodeName(tmp.path());
        ASSERT_EQ(::mkdir(root + "/sub", 0755), 0);
        ASSERT_EQ(::mkdir(root + "/many", 0755), 0);
        touch(root + "/sub/a.txt");
        touch(root + "/" + kGbName);
        ASSERT_EQ(::symlink(".", root + "/loop"), 0); // points to its own folder
    }
    // QDir cannot remove a name that is not valid UTF-8, so the test removes it itself.
    void TearDown() override { ::unlink(root + "/" + kGbName); }
    static void touch(const QByteArray& path)
    {
        const int fd = ::open(path.constData(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0) << path.constData();
        ::close(fd);
    }
    static QStringList sorted(QStringList list)
    {
        list.sort();
        return list;
    }

    QTemporaryDir tmp;
    QByteArray root;
    fakes::Harness<platform::PosixFileSystem> h{GetParam() ? search::ReadAheadPolicy{} : search::ReadAheadPolicy::off()};
};

inline std::string readAheadName(const ::testing::TestParamInfo<bool>& info)
{
    return info.param ? "ReadAhead" : "Direct";
}

} // namespace posixsearch
