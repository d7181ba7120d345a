// Opening folders by name below an open folder and by path, the way of kernels with openat2 and
// the way of those without it, on a real temporary tree.
#include "platform/files/file_descriptor.h"
#include "platform/files/open_beneath.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace {

using platform::Fd;
using platform::PathLinks;

class OpenBeneathTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        platform::tryOpenat2(GetParam());
        for (const char* folder : {"dir", "dir/sub"})
            ASSERT_EQ(::mkdir(at(folder), 0755), 0);
        ASSERT_EQ(::close(::open(at("dir/file"), O_CREAT | O_WRONLY, 0644)), 0);
        ASSERT_EQ(::symlink("dir", at("link")), 0);
        ASSERT_EQ(::symlink("..", at("dir/up")), 0);
        // A chain whose names outgrow PATH_MAX.
        int fd = ::open(root, O_RDONLY | O_DIRECTORY);
        for (int level = 0; level < 120 && fd >= 0; ++level) {
            const QByteArray name = "a-folder-name-of-forty-bytes-or-so-" + QByteArray::number(level + 1000);
            ASSERT_EQ(::mkdirat(fd, name, 0755), 0);
            const int below = ::openat(fd, name, O_RDONLY | O_DIRECTORY);
            ::close(fd);
            fd = below;
            chain += (chain.isEmpty() ? "" : "/") + name;
        }
        ::close(fd);
        ASSERT_GT(chain.size(), PATH_MAX);
    }
    void TearDown() override
    {
        platform::tryOpenat2(true);
        std::system(("rm -rf -- '" + at("a-folder-name-of-forty-bytes-or-so-1000") + "'").constData());
    }
    QByteArray at(const QByteArray& relative) const { return root + "/" + relative; }
    // What an opening reached: the folder's inode, or the errno.
    static int64_t reached(int fd)
    {
        const Fd opened(fd);
        struct stat st;
        if (!opened)
            return -errno;
        return ::fstat(fd, &st) == 0 ? int64_t(st.st_ino) : -errno;
    }
    int64_t inodeOf(const QByteArray& relative) const
    {
        struct stat st;
        return ::stat(at(relative), &st) == 0 ? int64_t(st.st_ino) : 0;
    }

    QTemporaryDir dir;
    QByteArray root = QFile::encodeName(dir.path());
    QByteArray chain;
};

TEST_P(OpenBeneathTest, NamesBelowAFolderReachItsOwnFoldersOnlyNeverThroughALink)
{
    const Fd top(::open(root, O_PATH | O_DIRECTORY));
    const int linkErrors[] = {-ELOOP, -ENOTDIR};
    const struct {
        QByteArray names;
        QByteArray folder; // what it reaches, or "" where it fails
        int error = 0;     // the errno where only one is right
    } cases[] = {
        {"dir", "dir"},
        {"dir/sub", "dir/sub"},
        {"dir//sub/", "dir/sub"},
        {"dir/sub/..", "dir"},
        {"dir/../dir/sub", "dir/sub"},
        {"..", "", EXDEV},
        {"dir/../..", "", EXDEV},
        {"missing", "", ENOENT},
        {"dir/file", "", ENOTDIR},
        {"link", ""},
        {"link/sub", ""},
        {"dir/up", ""},
        {"dir/up/dir", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.names.constData());
        const int64_t got = reached(platform::openBeneath(top.get(), c.names));
        if (!c.folder.isEmpty())
            EXPECT_EQ(got, inodeOf(c.folder));
        else if (c.error)
            EXPECT_EQ(got, -c.error);
        else
            EXPECT_TRUE(got == linkErrors[0] || got == linkErrors[1]) << got;
    }
    EXPECT_GT(reached(platform::openBeneath(top.get(), chain)), 0);
    EXPECT_GT(reached(platform::openBeneath(top.get(), chain, O_PATH)), 0);
}

TEST_P(OpenBeneathTest, APathPassesTheLinksItIsAllowedAndNoOthersAtAnyLength)
{
    const struct {
        QByteArray relative;
        bool none, onTheWay, all; // whether each way opens it
    } cases[] = {
        {"dir/sub", true, true, true},
        {"link/sub", false, true, true},
        {"link", false, false, true},
        {"dir/up/dir", false, true, true},
        {"dir/file", false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.relative.constData());
        const int64_t expected = inodeOf(c.relative);
        EXPECT_EQ(reached(platform::openPath(at(c.relative), PathLinks::None)) == expected, c.none);
        EXPECT_EQ(reached(platform::openPath(at(c.relative), PathLinks::OnTheWay)) == expected, c.onTheWay);
        EXPECT_EQ(reached(platform::openPath(at(c.relative), PathLinks::All, O_PATH)) == expected, c.all);
    }
    for (PathLinks links : {PathLinks::None, PathLinks::OnTheWay, PathLinks::All})
        EXPECT_GT(reached(platform::openPath(at(chain), links)), 0) << int(links);
    struct stat rootStatus;
    ASSERT_EQ(::stat("/", &rootStatus), 0);
    EXPECT_EQ(reached(platform::openPath("", PathLinks::None)), int64_t(rootStatus.st_ino));
    EXPECT_EQ(reached(platform::openPath("/", PathLinks::OnTheWay)), int64_t(rootStatus.st_ino));
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutOpenat2, OpenBeneathTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Openat2" : "OneComponentAtATime";
                         });

} // namespace
