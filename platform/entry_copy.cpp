#include "platform/entry_copy.h"

#include "platform/file_data_copy.h"
#include "platform/file_descriptor.h"
#include "platform/folder_entries.h"

#include <QByteArray>
#include <QRandomGenerator>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

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

} // namespace

int copyRegularEntry(int srcFolder, const char* srcName, const struct stat& source, int dstFolder,
                     const char* dstName, OperationProgress* progress)
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
    int error = copyFileData(in.get(), out.get(), st, progress);
    if (!error && ::fchmod(out.get(), st.st_mode & 0777) != 0)
        error = errno;
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (!error && ::futimens(out.get(), times) != 0)
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

int copyLinkEntry(int srcFolder, const char* srcName, const struct stat& source, int dstFolder, const char* dstName)
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

int finishCopyFolder(int folderFd, const struct stat& source)
{
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    if (::fchmod(folderFd, source.st_mode & 0777) != 0 || ::futimens(folderFd, times) != 0)
        return errno;
    return 0;
}

} // namespace platform
