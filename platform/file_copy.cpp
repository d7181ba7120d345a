#include "platform/file_copy.h"

#include "platform/folder_entries.h"
#include "platform/mount_check.h"
#include "platform/paths.h"

#include <QRandomGenerator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <optional>
#include <utility>
#include <variant>
#include <vector>

namespace platform {
namespace {

QByteArray temporaryName()
{
    return ".sorvane-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36);
}

// What may stand at the destination: nothing, or a file or link to be replaced; never a folder,
// and never the source itself.
int checkReplaceable(int folderFd, const char* name, const struct stat& source)
{
    struct stat existing;
    if (::fstatat(folderFd, name, &existing, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? 0 : errno;
    if (S_ISDIR(existing.st_mode))
        return EISDIR;
    if (sameEntry(existing, source))
        return EINVAL;
    return 0;
}

int writeAll(int out, const char* data, ssize_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(out, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += n;
        size -= n;
    }
    return 0;
}

int copyContents(int in, int out)
{
    // The kernel copies within a file system without the data passing through here; where it
    // cannot, a plain read and write loop goes on from the same offsets.
    while (true) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, size_t(1) << 30, 0);
        if (n == 0)
            return 0;
        if (n > 0)
            continue;
        if (errno == EINTR)
            continue;
        if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP && errno != EPERM)
            return errno;
        break;
    }
    std::vector<char> buffer(size_t(256) * 1024);
    while (true) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n == 0)
            return 0;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (const int error = writeAll(out, buffer.data(), n))
            return error;
    }
}

int copyRegular(int srcFolder, const char* srcName, const struct stat& source, int dstFolder,
                const char* dstName)
{
    if (const int error = checkReplaceable(dstFolder, dstName, source))
        return error;
    // Not blocking, so that a pipe standing where the file was cannot hang the window.
    Fd in(::openat(srcFolder, srcName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!in)
        return errno;
    struct stat st;
    if (::fstat(in.get(), &st) != 0)
        return errno;
    if (!S_ISREG(st.st_mode))
        return ENOTSUP; // pipes, sockets and devices are not copied

    QByteArray temporary;
    Fd out;
    for (int attempt = 0; attempt < 16 && !out; ++attempt) {
        temporary = temporaryName();
        out.reset(::openat(dstFolder, temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (!out && errno != EEXIST)
            return errno;
    }
    if (!out)
        return EEXIST;
    int error = copyContents(in.get(), out.get());
    if (!error && ::fchmod(out.get(), st.st_mode & 0777) != 0)
        error = errno;
    // Some file systems report a failed write only when the file is closed.
    if (::close(out.release()) != 0 && !error)
        error = errno;
    if (!error && ::renameat(dstFolder, temporary.constData(), dstFolder, dstName) != 0)
        error = errno;
    if (error)
        ::unlinkat(dstFolder, temporary.constData(), 0);
    return error;
}

int copyLink(int srcFolder, const char* srcName, const struct stat& source, int dstFolder,
             const char* dstName)
{
    if (const int error = checkReplaceable(dstFolder, dstName, source))
        return error;
    QByteArray target(qsizetype(source.st_size > 0 ? source.st_size + 1 : PATH_MAX), '\0');
    while (true) {
        const ssize_t n = ::readlinkat(srcFolder, srcName, target.data(), size_t(target.size()));
        if (n < 0)
            return errno;
        if (n < target.size()) {
            target.truncate(n);
            break;
        }
        target.resize(target.size() * 2); // the link grew since it was looked at
    }
    QByteArray temporary;
    bool made = false;
    for (int attempt = 0; attempt < 16 && !made; ++attempt) {
        temporary = temporaryName();
        made = ::symlinkat(target.constData(), dstFolder, temporary.constData()) == 0;
        if (!made && errno != EEXIST)
            return errno;
    }
    if (!made)
        return EEXIST;
    if (::renameat(dstFolder, temporary.constData(), dstFolder, dstName) != 0) {
        const int error = errno;
        ::unlinkat(dstFolder, temporary.constData(), 0);
        return error;
    }
    return 0;
}

// Whether a folder is the given entry or lies anywhere below it, found by walking up through ".."
// by descriptor, so that links and odd spellings in the typed path change nothing. When the walk
// cannot tell, the answer is yes: the copy is then refused rather than risked.
bool isSameOrInside(int folderFd, const struct stat& entry)
{
    Fd current(::fcntl(folderFd, F_DUPFD_CLOEXEC, 0));
    for (int level = 0; current && level < 4096; ++level) {
        struct stat here;
        if (::fstat(current.get(), &here) != 0)
            return true;
        if (sameEntry(here, entry))
            return true;
        Fd up(::openat(current.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
        struct stat above;
        if (!up || ::fstat(up.get(), &above) != 0)
            return true;
        if (sameEntry(above, here))
            return false; // the root
        current = std::move(up);
    }
    return true;
}

// The folder that takes a source folder's copy: made for the owner alone while it fills (created
// tells), or merged into where one is there. A link of that name is replaced, never followed; a
// file is not replaced by a folder.
int makeCopyFolder(int dstParent, const char* dstName, const struct stat& source, bool& created)
{
    created = ::mkdirat(dstParent, dstName, 0700) == 0;
    if (created || errno != EEXIST)
        return created ? 0 : errno;
    struct stat existing;
    if (::fstatat(dstParent, dstName, &existing, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if (S_ISLNK(existing.st_mode)) {
        if (::unlinkat(dstParent, dstName, 0) != 0 && errno != ENOENT)
            return errno;
        return makeCopyFolder(dstParent, dstName, source, created);
    }
    if (!S_ISDIR(existing.st_mode))
        return ENOTDIR;
    return sameEntry(existing, source) ? EINVAL : 0;
}

class TreeCopy {
public:
    int folder(int srcParent, const char* srcName, int dstParent, const char* dstName)
    {
        Fd src(::openat(srcParent, srcName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!src)
            return errno;
        struct stat st;
        if (::fstat(src.get(), &st) != 0)
            return errno;
        bool created = false;
        if (const int error = makeCopyFolder(dstParent, dstName, st, created))
            return error;
        Fd dst(::openat(dstParent, dstName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!dst)
            return errno;
        if (!topSeen_) {
            if (::fstat(dst.get(), &top_) != 0)
                return errno;
            topSeen_ = true;
        } else if (mounts_.isMountRoot(srcParent, src.get())) {
            // Another volume mounted below the source: its folder is copied, not what it holds.
            return created && ::fchmod(dst.get(), st.st_mode & 0777) != 0 ? errno : 0;
        }

        const int error = forEachEntry(src.get(), [&](const QByteArray& name, const struct stat& es) {
            // The copy's own folder met again inside the source, as through a bind mount.
            if (sameEntry(es, top_))
                return ELOOP;
            if (S_ISDIR(es.st_mode))
                return folder(src.get(), name.constData(), dst.get(), name.constData());
            if (S_ISLNK(es.st_mode))
                return copyLink(src.get(), name.constData(), es, dst.get(), name.constData());
            return copyRegular(src.get(), name.constData(), es, dst.get(), name.constData());
        });
        if (error)
            return error;
        if (created && ::fchmod(dst.get(), st.st_mode & 0777) != 0)
            return errno;
        return 0;
    }

private:
    struct stat top_ {};
    bool topSeen_ = false;
    MountCheck mounts_;
};

} // namespace

namespace {

// The two ends of a copy, each as its folder's descriptor and a name in it, and what the source
// is; or the error that stops the copy before it begins.
// The source is the row's entry, found as every action finds it; the destination's folder is the
// user's typed target, links and all.
struct CopyEnds {
    LocatedEntry source;
    SplitPath destination;
    Fd destinationFolder;
};

std::variant<CopyEnds, int> openCopyEnds(const EntryRef& from, const QByteArray& to)
{
    std::optional<SplitPath> destination = splitEntryPath(to);
    if (!destination)
        return EINVAL;
    CopyEnds ends{LocatedEntry(), std::move(*destination), Fd()};
    if (const int error = locateEntry(from, ends.source))
        return error;
    ends.destinationFolder = openHolder(ends.destination.folder);
    if (!ends.destinationFolder)
        return errno;
    return ends;
}

} // namespace

FileOperationResult copyFile(const EntryRef& from, const QByteArray& to)
{
    auto opened = openCopyEnds(from, to);
    if (const int* error = std::get_if<int>(&opened))
        return {*error};
    const CopyEnds& e = std::get<CopyEnds>(opened);
    if (S_ISDIR(e.source.st.st_mode))
        return {EISDIR};
    if (S_ISLNK(e.source.st.st_mode))
        return {copyLink(e.source.folder.get(), e.source.name.constData(), e.source.st, e.destinationFolder.get(),
                         e.destination.name.constData())};
    return {copyRegular(e.source.folder.get(), e.source.name.constData(), e.source.st, e.destinationFolder.get(),
                        e.destination.name.constData())};
}

FileOperationResult copyFolderTree(const EntryRef& from, const QByteArray& to)
{
    auto opened = openCopyEnds(from, to);
    if (const int* error = std::get_if<int>(&opened))
        return {*error};
    const CopyEnds& e = std::get<CopyEnds>(opened);
    if (!S_ISDIR(e.source.st.st_mode))
        return {ENOTDIR};
    // A copy into itself would copy its own copy without end, and one onto itself would replace
    // the source's files with themselves.
    if (isSameOrInside(e.destinationFolder.get(), e.source.st))
        return {EINVAL};
    TreeCopy copy;
    return {copy.folder(e.source.folder.get(), e.source.name.constData(), e.destinationFolder.get(),
                        e.destination.name.constData())};
}

} // namespace platform
