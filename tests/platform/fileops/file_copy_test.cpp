#include "tests/support/temporary_tree.h"
#include "platform/fileops/file_copy.h"
#include "tests/support/scoped_mount.h"

#include <cstring>

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <sys/socket.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <sys/stat.h>

namespace {

using namespace platform;
using namespace testsupport;
using FileOperationsTest = TemporaryTree;

void makeSocket(const QByteArray& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(size_t(path.size()), sizeof address.sun_path);
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
}

TEST_F(FileOperationsTest, CopyFileReplacesTheDestinationWithContentsAndPermissionBits)
{
    makeFolder("to");
    writeFile(path("src.txt"), "new contents", 0640);
    writeFile(path("to/src.txt"), "old, and longer than the new", 0600);
    EXPECT_TRUE(copyFile(entry("src.txt"), path("to/src.txt")).ok());
    EXPECT_EQ(readFile(path("to/src.txt")), "new contents");
    EXPECT_EQ(modeOf(path("to/src.txt")), 0640u);
    EXPECT_EQ(namesIn("to"), QStringList{"src.txt"}) << "no temporary file stays behind";

    // A failed copy leaves the old file as it was.
    ASSERT_EQ(::mkfifo(path("pipe"), 0644), 0);
    writeFile(path("to/pipe"), "old");
    EXPECT_FALSE(copyFile(entry("pipe"), path("to/pipe")).ok());
    EXPECT_EQ(readFile(path("to/pipe")), "old");
    EXPECT_EQ(namesIn("to"), (QStringList{"pipe", "src.txt"}));

    // A folder is never replaced by a file, and a file never by itself.
    makeFolder("to/dir");
    EXPECT_EQ(copyFile(entry("src.txt"), path("to/dir")).error, EISDIR);
    EXPECT_EQ(copyFile(entry("src.txt"), path("src.txt")).error, EINVAL);
    EXPECT_EQ(copyFile(entry("src.txt"), path("./src.txt")).error, EINVAL);
    EXPECT_EQ(readFile(path("src.txt")), "new contents");
}

TEST_F(FileOperationsTest, CopyFolderTreeMergesReplacingFilesAndCopyingLinksAsLinks)
{
    makeFolder("src");
    makeFolder("src/sub");
    writeFile(path("src/sub/x.txt"), "new x");
    writeFile(path("src/top.txt"), "top");
    ASSERT_EQ(::symlink("../elsewhere", path("src/sub/link")), 0);
    makeFolder("src/ro");
    writeFile(path("src/ro/r"), "r");
    ASSERT_EQ(::chmod(path("src/ro"), 0555), 0);
    makeFolder("dst");
    makeFolder("dst/src");
    makeFolder("dst/src/sub");
    writeFile(path("dst/src/sub/x.txt"), "old x");
    writeFile(path("dst/src/extra.txt"), "extra");

    EXPECT_TRUE(copyFolderTree(entry("src"), path("dst/src")).ok());
    EXPECT_EQ(readFile(path("dst/src/sub/x.txt")), "new x");
    EXPECT_EQ(readFile(path("dst/src/top.txt")), "top");
    EXPECT_EQ(readFile(path("dst/src/extra.txt")), "extra");
    EXPECT_EQ(readFile(path("dst/src/ro/r")), "r");
    EXPECT_EQ(modeOf(path("dst/src/ro")), 0555u);
    char target[32] = {};
    EXPECT_EQ(QByteArray(target, int(::readlink(path("dst/src/sub/link"), target, sizeof target))), "../elsewhere");
    EXPECT_EQ(namesIn("dst/src/sub"), (QStringList{"link", "x.txt"}));
    ::chmod(path("src/ro"), 0755);
    ::chmod(path("dst/src/ro"), 0755);
}

TEST_F(FileOperationsTest, ACopyReplacesLinksWhereItWritesAndNeverWritesThroughThem)
{
    makeFolder("outside");
    makeFolder("outside/sub");
    writeFile(path("outside/sub/x.txt"), "outside x");
    writeFile(path("outside/f"), "outside f");
    makeFolder("src");
    makeFolder("src/sub");
    writeFile(path("src/sub/x.txt"), "new x");
    writeFile(path("src/f"), "new f");
    makeFolder("to");
    makeFolder("to/src");
    ASSERT_EQ(::symlink(path("outside/sub"), path("to/src/sub")), 0);
    ASSERT_EQ(::symlink(path("outside/f"), path("to/src/f")), 0);
    ASSERT_EQ(::symlink(path("outside/f"), path("to/f")), 0);

    EXPECT_TRUE(copyFolderTree(entry("src"), path("to/src")).ok());
    EXPECT_TRUE(copyFile(entry("src/f"), path("to/f")).ok());
    for (const char* copied : {"to/src/sub", "to/src/f", "to/f"}) {
        struct stat st;
        ASSERT_EQ(::lstat(path(copied), &st), 0);
        EXPECT_FALSE(S_ISLNK(st.st_mode)) << copied << " is still a link";
    }
    EXPECT_EQ(readFile(path("to/src/sub/x.txt")), "new x");
    EXPECT_EQ(readFile(path("to/f")), "new f");
    EXPECT_EQ(readFile(path("outside/sub/x.txt")), "outside x");
    EXPECT_EQ(readFile(path("outside/f")), "outside f");
}

TEST_F(FileOperationsTest, AVolumeMountedBelowTheSourceIsNotCopiedAcross)
{
    makeFolder("outside");
    writeFile(path("outside/secret"), "not part of the copy");
    makeFolder("src");
    writeFile(path("src/a.txt"), "a");
    makeFolder("src/mnt", 0750);
    makeFolder("to");
    const testsupport::ScopedMount bind = testsupport::ScopedMount::bind(path("outside"), path("src/mnt"));
    if (!bind.mounted())
        GTEST_SKIP() << bind.why().toStdString();

    EXPECT_TRUE(copyFolderTree(entry("src"), path("to/src")).ok());
    EXPECT_EQ(readFile(path("to/src/a.txt")), "a");
    EXPECT_EQ(namesIn("to/src/mnt"), QStringList{}) << "the mount point comes across empty";
}

TEST_F(FileOperationsTest, SocketsPipesAndDevicesAreLeftOutOfAFolderCopyWithoutStoppingIt)
{
    makeFolder("gnupg", 0750);
    for (int i = 0; i < 200; ++i)
        writeFile(path("gnupg/f") + QByteArray::number(i), "x");
    makeSocket(path("gnupg/S.agent"));
    ASSERT_EQ(::mkfifo(path("gnupg/fifo"), 0600), 0);
    const bool withDevice = ::mknod(path("gnupg/null"), S_IFCHR | 0600, makedev(1, 3)) == 0;
    makeFolder("to");

    EXPECT_TRUE(copyFolderTree(entry("gnupg"), path("to/gnupg")).ok());
    EXPECT_EQ(namesIn("to/gnupg").size(), 200);
    EXPECT_FALSE(exists(path("to/gnupg/S.agent")));
    EXPECT_FALSE(exists(path("to/gnupg/fifo")));
    EXPECT_FALSE(withDevice && exists(path("to/gnupg/null")));
    EXPECT_EQ(modeOf(path("to/gnupg")), 0750u);
}

TEST_F(FileOperationsTest, AFolderCopyGoesOnPastAnUnreadableEntryAndStillSaysItFailed)
{
    makeFolder("src");
    makeFolder("src/sub");
    for (int i = 0; i < 50; ++i)
        writeFile(path("src/sub/f") + QByteArray::number(i), "x", i == 25 ? 0 : 0644);
    makeFolder("src/closed", 0);
    ASSERT_EQ(::chmod(path("src/sub"), 0555), 0);
    ASSERT_EQ(::chmod(path("src"), 0755), 0);
    makeFolder("to", 0777);
    ASSERT_EQ(::chmod(root, 0755), 0); // for the user the copy runs as

    const int error = asUnprivilegedUser(path("to"), [&] { return copyFolderTree(entry("src"), path("to/src")).error; });
    EXPECT_EQ(error, EACCES);
    EXPECT_EQ(namesIn("to/src/sub").size(), 49) << "every readable file was copied";
    EXPECT_FALSE(exists(path("to/src/sub/f25")));
    EXPECT_FALSE(exists(path("to/src/closed"))) << "a folder that cannot be read is not made";
    EXPECT_EQ(modeOf(path("to/src")), 0755u) << "folders get their source's bits, the copy partial or not";
    EXPECT_EQ(modeOf(path("to/src/sub")), 0555u);
    ::chmod(path("src/sub"), 0755);
    ::chmod(path("to/src/sub"), 0755);
}

TEST_F(FileOperationsTest, AFolderIsNeverCopiedOntoOrIntoItself)
{
    makeFolder("src");
    makeFolder("src/sub");
    writeFile(path("src/sub/f"), "f");
    ASSERT_EQ(::symlink(path("src/sub"), path("via-link")), 0);

    EXPECT_EQ(copyFolderTree(entry("src"), path("src")).error, EINVAL);
    EXPECT_EQ(copyFolderTree(entry("src"), path("src/src")).error, EINVAL);
    EXPECT_EQ(copyFolderTree(entry("src"), path("src/sub/src")).error, EINVAL);
    EXPECT_EQ(copyFolderTree(entry("src"), path("via-link/src")).error, EINVAL);
    EXPECT_EQ(namesIn("src"), QStringList{"sub"});
    EXPECT_EQ(namesIn("src/sub"), QStringList{"f"});

    writeFile(path("file"), "file");
    EXPECT_EQ(copyFolderTree(entry("src"), path("file")).error, ENOTDIR);
    EXPECT_EQ(readFile(path("file")), "file");
}

} // namespace
