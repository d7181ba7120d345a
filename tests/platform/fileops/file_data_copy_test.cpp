#include "tests/support/temporary_tree.h"
#include "platform/fileops/entry_copy.h"
#include "platform/fileops/file_copy.h"
#include "platform/fileops/file_data_copy.h"
#include "platform/fileops/file_delete.h"
#include "platform/fileops/operation_progress.h"
#include "tests/support/scoped_mount.h"

#include <gtest/gtest.h>

#include <QDirIterator>

#include <cerrno>
#include <cstring>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace platform;
using testsupport::exists;
using testsupport::readFile;
using testsupport::statusOf;
using testsupport::writeFile;
using DataCopyTest = testsupport::TemporaryTree;
using LongOperationTest = testsupport::InMemoryTree;

constexpr off_t kMiB = off_t(1) << 20;

// A file of the given size holding data only in the given ranges (offset, length); the rest holes.
void writeSparse(const QByteArray& path, off_t size, std::initializer_list<std::pair<off_t, off_t>> data)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    for (const auto& [offset, length] : data) {
        const QByteArray block(qsizetype(length), char('a' + offset % 23));
        ASSERT_EQ(::pwrite(fd, block.constData(), size_t(length), offset), length);
    }
    ASSERT_EQ(::ftruncate(fd, size), 0);
    ::close(fd);
}

off_t allocated(const QByteArray& path)
{
    struct stat st;
    return ::stat(path.constData(), &st) == 0 ? off_t(st.st_blocks) * 512 : -1;
}

bool sameContents(const QByteArray& a, const QByteArray& b)
{
    const int fa = ::open(a.constData(), O_RDONLY), fb = ::open(b.constData(), O_RDONLY);
    QByteArray ba(qsizetype(kMiB), '\0'), bb(qsizetype(kMiB), '\0');
    bool same = fa >= 0 && fb >= 0;
    for (ssize_t na = 1; same && na > 0;) {
        na = ::read(fa, ba.data(), size_t(kMiB));
        same = ::read(fb, bb.data(), size_t(kMiB)) == na && std::memcmp(ba.constData(), bb.constData(), size_t(na)) == 0;
    }
    ::close(fa);
    ::close(fb);
    return same;
}

// Cancels the operation once it has done the given amount.
class CancelAt : public OperationProgress {
public:
    explicit CancelAt(int64_t amount) : amount_(amount) {}

protected:
    void advanced() override
    {
        if (done() >= amount_)
            cancel();
    }

private:
    int64_t amount_;
};

class DataCopyMethodTest : public DataCopyTest, public ::testing::WithParamInterface<DataCopyMethod> {};

TEST_P(DataCopyMethodTest, HolesStayHolesAndTheDataComesAcrossByteForByte)
{
    writeSparse(path("ends-in-hole"), 64 * kMiB, {{0, kMiB}, {32 * kMiB + 5, kMiB}});
    writeSparse(path("ends-in-data"), 64 * kMiB, {{20 * kMiB, 3}, {64 * kMiB - kMiB, kMiB}});
    for (const char* name : {"ends-in-hole", "ends-in-data"}) {
        const int in = ::open(path(name), O_RDONLY);
        const int out = ::open(path(QByteArray(name) + ".copy"), O_WRONLY | O_CREAT | O_EXCL, 0644);
        struct stat st;
        ASSERT_EQ(::fstat(in, &st), 0);
        OperationProgress progress;
        EXPECT_EQ(copyFileData(in, out, st.st_size, &progress, GetParam()), 0) << name;
        ::close(in);
        ::close(out);
        const QByteArray copy = path(QByteArray(name) + ".copy");
        EXPECT_TRUE(sameContents(path(name), copy)) << name;
        EXPECT_LT(allocated(copy), 4 * kMiB) << name << " is no longer sparse";
        EXPECT_EQ(progress.done(), 64 * kMiB) << "the holes count as done";
    }
}

INSTANTIATE_TEST_SUITE_P(EveryMethod, DataCopyMethodTest,
                         ::testing::Values(DataCopyMethod::Clone, DataCopyMethod::KernelCopy, DataCopyMethod::ReadWrite));

TEST_F(DataCopyTest, ACopiedSparseImageIsSparseKeepsItsModeAndTimes)
{
    writeSparse(path("disk.img"), 256 * kMiB, {{0, kMiB}, {100 * kMiB, kMiB}});
    ASSERT_EQ(::chmod(path("disk.img"), 0640), 0);
    const struct timespec times[2] = {{1000000000, 0}, {1234567890, 500}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path("disk.img"), times, 0), 0);
    makeFolder("to");

    EXPECT_TRUE(copyFile(entry("disk.img"), path("to/disk.img")).ok());
    EXPECT_TRUE(sameContents(path("disk.img"), path("to/disk.img")));
    EXPECT_LT(allocated(path("to/disk.img")), 8 * kMiB);
    struct stat st;
    ASSERT_EQ(::stat(path("to/disk.img"), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1234567890);
}

class FullDiskTest : public DataCopyTest, public ::testing::WithParamInterface<bool> {};

TEST_P(FullDiskTest, ACopyOntoAFullVolumeLeavesTheOldFileAndNoTemporaryFile)
{
    const bool sourceOnTheSameVolume = GetParam();
    makeFolder("small");
    // Room for the old file and the source where it is there too, not for the copy beside them.
    const testsupport::ScopedMount small =
        testsupport::ScopedMount::tmpfs(path("small"), sourceOnTheSameVolume ? "size=1200k" : "size=1m");
    if (!small.mounted())
        GTEST_SKIP() << small.why().toStdString();
    const QByteArray old(200 * 1024, 'o');
    writeFile(path("small/f"), old);
    const QByteArray source = sourceOnTheSameVolume ? "small/new/f" : "f";
    if (sourceOnTheSameVolume)
        makeFolder("small/new");
    writeFile(path(source), QByteArray(900 * 1024, 'n'));

    EXPECT_EQ(copyFile(entry(source), path("small/f")).error, ENOSPC);
    EXPECT_EQ(readFile(path("small/f")), old);
    EXPECT_EQ(namesIn("small"), sourceOnTheSameVolume ? (QStringList{"f", "new"}) : QStringList{"f"});
}

INSTANTIATE_TEST_SUITE_P(OtherAndSameVolume, FullDiskTest, ::testing::Bool());

class NewFileTest : public LongOperationTest, public ::testing::WithParamInterface<NewFile> {};

TEST_P(NewFileTest, ACopyReplacesTheDestinationWholeOrOnACancelLeavesItAsItWasWithNothingBeside)
{
    writeFile(path("big"), QByteArray(64 * kMiB, 'b'));
    makeFolder("to");
    writeFile(path("to/big"), "old");
    const Fd from(::open(root, O_RDONLY | O_DIRECTORY)), to(::open(path("to"), O_RDONLY | O_DIRECTORY));
    const struct statx st = statusOf(path("big"));

    CancelAt cancelled(20 * kMiB);
    EXPECT_EQ(copyRegularEntry(from.get(), "big", st, to.get(), "big", &cancelled, GetParam()), ECANCELED);
    EXPECT_EQ(readFile(path("to/big")), "old");
    EXPECT_EQ(namesIn("to"), QStringList{"big"});
    OperationProgress whole;
    EXPECT_EQ(copyRegularEntry(from.get(), "big", st, to.get(), "big", &whole, GetParam()), 0);
    EXPECT_EQ(readFile(path("to/big")).size(), 64 * kMiB);
    EXPECT_EQ(namesIn("to"), QStringList{"big"});
}

INSTANTIATE_TEST_SUITE_P(AnonymousAndHidden, NewFileTest, ::testing::Values(NewFile::Anonymous, NewFile::Hidden));

TEST_F(LongOperationTest, ACopyWhoseProcessIsKilledLeavesNothingInTheTarget)
{
    makeFolder("to");
    const Fd probe(::open(path("to"), O_TMPFILE | O_WRONLY, 0600));
    if (!probe)
        GTEST_SKIP() << "this volume makes no files without a name; the program removes its hidden file on "
                        "SIGTERM instead (end-to-end test)";
    writeFile(path("big"), QByteArray(64 * kMiB, 'b'));
    int underWay[2];
    ASSERT_EQ(::pipe(underWay), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        // Says when the first part of the data is written, then waits to be ended there.
        class Stall : public OperationProgress {
        public:
            explicit Stall(int fd) : fd_(fd) {}

        protected:
            void advanced() override
            {
                [[maybe_unused]] const ssize_t n = ::write(fd_, "x", 1);
                ::pause();
            }

        private:
            int fd_;
        } stall(underWay[1]);
        ::_exit(copyFile(entry("big"), path("to/big"), &stall).error);
    }
    char byte;
    ASSERT_EQ(::read(underWay[0], &byte, 1), 1);
    ::kill(child, SIGTERM);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(namesIn("to"), QStringList{});
    ::close(underWay[0]);
    ::close(underWay[1]);
}

TEST_F(LongOperationTest, ACancelledTreeCopyKeepsWhatItCopiedWholeAndNoFolderItLeftEmpty)
{
    makeFolder("src", 0750);
    writeFile(path("src/a"), QByteArray(20 * kMiB, 'a'));
    makeFolder("src/sub");
    makeFolder("src/sub/deeper");
    writeFile(path("src/sub/deeper/d"), QByteArray(20 * kMiB, 'd'));
    makeFolder("to");
    const auto copiedFiles = [this] {
        QStringList files;
        for (QDirIterator it(QString::fromUtf8(path("to")), QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
            const QFileInfo file(it.next());
            files << file.fileName() + ":" + QString::number(file.size());
        }
        return files;
    };

    // Within the first file, whichever it is: nothing stays, not even the folders made for it.
    CancelAt early(10 * kMiB);
    FileOperationResult done = copyFolderTree(entry("src"), path("to/src"), &early);
    EXPECT_EQ(done.error, ECANCELED);
    EXPECT_FALSE(done.partial);
    EXPECT_EQ(namesIn("to"), QStringList{});

    // Within the second: the first stays whole, and every folder left holds it.
    CancelAt later(30 * kMiB);
    done = copyFolderTree(entry("src"), path("to/src"), &later);
    EXPECT_EQ(done.error, ECANCELED);
    EXPECT_TRUE(done.partial);
    const QStringList files = copiedFiles();
    EXPECT_EQ(files.size(), 1) << files.join(' ').toStdString();
    EXPECT_TRUE(files.value(0).endsWith(":" + QString::number(20 * kMiB)));
    EXPECT_EQ(namesIn("to/src").size(), 1) << "a folder made for the copy and left empty goes";
    EXPECT_EQ(testsupport::modeOf(path("to/src")), 0750u);
    EXPECT_EQ(later.total(), 40 * kMiB);
}

TEST_F(DataCopyTest, ATreeCopyCancelledWhileCountingMakesNothing)
{
    makeFolder("src");
    writeFile(path("src/a"), "a");
    makeFolder("to");
    OperationProgress progress;
    progress.cancel();
    const FileOperationResult done = copyFolderTree(entry("src"), path("to/src"), &progress);
    EXPECT_EQ(done.error, ECANCELED);
    EXPECT_FALSE(done.partial);
    EXPECT_EQ(namesIn("to"), QStringList{});
}

TEST_F(LongOperationTest, ATreeDeleteCountsItsEntriesAndStopsAtACancel)
{
    makeFolder("tree");
    for (int d = 0; d < 10; ++d) {
        makeFolder("tree/d" + QByteArray::number(d));
        for (int f = 0; f < 99; ++f)
            writeFile(path("tree/d") + QByteArray::number(d) + "/f" + QByteArray::number(f), "");
    }
    CancelAt progress(300);
    EXPECT_EQ(deleteFolderTree(entry("tree"), &progress).error, ECANCELED);
    EXPECT_EQ(progress.total(), 1001);
    EXPECT_EQ(progress.done(), 300);
    int left = 0;
    for (QDirIterator it(QString::fromUtf8(path("tree")), QDir::AllEntries | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
         it.hasNext(); it.next())
        ++left;
    EXPECT_EQ(left, 700) << "the delete stopped at the entry after the cancel";
}

} // namespace
