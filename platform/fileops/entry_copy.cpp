#include "platform/fileops/entry_copy.h"

#include "platform/fileops/file_data_copy.h"
#include "platform/files/entry_identity.h"
#include "platform/files/file_descriptor.h"

#include <QByteArray>
#include <QRandomGenerator>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace platform {
namespace {

// The status of name in folderFd (the folder itself for ""), a link not followed; 0 or -1 with errno.
int statusOf(int folderFd, const char* name, struct statx& out)
{
    return ::statx(folderFd, name, AT_SYMLINK_NOFOLLOW | (*name ? 0 : AT_EMPTY_PATH), STATX_BASIC_STATS, &out);
}

struct timespec timeOf(const struct statx_timestamp& t)
{
    return {t.tv_sec, long(t.tv_nsec)};
}

// Gives a copy its source's permission bits and its access and modification times.
int giveModeAndTimes(int fd, const struct statx& source)
{
    const struct timespec times[2] = {timeOf(source.stx_atime), timeOf(source.stx_mtime)};
    if (::fchmod(fd, source.stx_mode & 0777) != 0 || ::futimens(fd, times) != 0)
        return errno;
    return 0;
}

QByteArray temporaryName()
{
    return ".sorvane-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36);
}

// What may stand at the destination: nothing, or a file or link to be replaced; never a folder,
// and never the source itself.
int checkReplaceable(int folderFd, const char* name, const struct statx& source)
{
    struct statx existing;
    if (statusOf(folderFd, name, existing) != 0)
        return errno == ENOENT ? 0 : errno;
    if (S_ISDIR(existing.stx_mode))
        return EISDIR;
    if (identityOf(existing) == identityOf(source))
        return EINVAL;
    return 0;
}

// A new file in folder that no name leads to (O_TMPFILE); none where the volume or the process
// cannot make one and give it a name later.
Fd openAnonymousFile(int folderFd)
{
    // Naming it needs /proc/self/fd, or root's right to link a descriptor itself.
    static const bool canName = ::geteuid() == 0 || ::access("/proc/self/fd", X_OK) == 0;
    if (!canName)
        return Fd();
    return Fd(::openat(folderFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
}

int createTemporaryFile(int folderFd, QByteArray& name, Fd& out)
{
    for (int attempt = 0; attempt < 16; ++attempt) {
        name = temporaryName();
        out.reset(::openat(folderFd, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (out)
            return 0;
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

// Links a complete anonymous file into folder under a new temporary name, from which it is
// renamed over the destination: a link cannot replace what stands there.
int nameAnonymousFile(int fd, int folderFd, QByteArray& name)
{
    const QByteArray byDescriptor = "/proc/self/fd/" + QByteArray::number(fd);
    for (int attempt = 0; attempt < 16; ++attempt) {
        name = temporaryName();
        if (::linkat(fd, "", folderFd, name.constData(), AT_EMPTY_PATH) == 0)
            return 0;
        if ((errno == ENOENT || errno == EPERM)
            && ::linkat(AT_FDCWD, byDescriptor.constData(), folderFd, name.constData(), AT_SYMLINK_FOLLOW) == 0)
            return 0;
        if (errno != EEXIST) {
            const int error = errno;
            name.clear(); // nothing was made under it
            return error;
        }
    }
    name.clear();
    return EEXIST;
}

} // namespace

int copyRegularEntry(int srcFolder, const char* srcName, const struct statx& source, int dstFolder,
                     const char* dstName, OperationProgress* progress, NewFile first)
{
    if (const int error = checkReplaceable(dstFolder, dstName, source))
        return error;
    // Not blocking, so that a pipe standing where the file was cannot hang the window.
    Fd in(::openat(srcFolder, srcName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!in)
        return errno;
    struct statx st;
    if (statusOf(in.get(), "", st) != 0)
        return errno;
    if (!S_ISREG(st.stx_mode))
        return ENOTSUP; // pipes, sockets and devices are not copied

    Fd out = first == NewFile::Anonymous ? openAnonymousFile(dstFolder) : Fd();
    QByteArray temporary;
    if (!out) {
        if (const int error = createTemporaryFile(dstFolder, temporary, out))
            return error;
    }
    int error = copyFileData(in.get(), out.get(), off_t(st.stx_size), progress);
    if (!error)
        error = giveModeAndTimes(out.get(), st);
    // Some file systems report a failed write only when the file is closed; an anonymous file
    // needs its descriptor until it has a name.
    if (!error && temporary.isEmpty())
        error = nameAnonymousFile(out.get(), dstFolder, temporary);
    if (::close(out.release()) != 0 && !error)
        error = errno;
    if (!error && ::renameat(dstFolder, temporary.constData(), dstFolder, dstName) != 0)
        error = errno;
    if (error && !temporary.isEmpty())
        ::unlinkat(dstFolder, temporary.constData(), 0);
    return error;
}

int copyLinkEntry(int srcFolder, const char* srcName, const struct statx& source, int dstFolder, const char* dstName)
{
    if (const int error = checkReplaceable(dstFolder, dstName, source))
        return error;
    QByteArray target(qsizetype(source.stx_size > 0 ? source.stx_size + 1 : PATH_MAX), '\0');
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

int makeCopyFolder(int dstParent, const char* dstName, const struct statx& source, bool& created)
{
    created = ::mkdirat(dstParent, dstName, 0700) == 0;
    if (created || errno != EEXIST)
        return created ? 0 : errno;
    struct statx existing;
    if (statusOf(dstParent, dstName, existing) != 0)
        return errno;
    if (S_ISLNK(existing.stx_mode)) {
        if (::unlinkat(dstParent, dstName, 0) != 0 && errno != ENOENT)
            return errno;
        return makeCopyFolder(dstParent, dstName, source, created);
    }
    if (!S_ISDIR(existing.stx_mode))
        return ENOTDIR;
    return identityOf(existing) == identityOf(source) ? EINVAL : 0;
}

int finishCopyFolder(int folderFd, const struct statx& source)
{
    return giveModeAndTimes(folderFd, source);
}

} // namespace platform
