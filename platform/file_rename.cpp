#include "platform/file_rename.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace platform {
namespace {

bool usable(const QByteArray& path)
{
    return !path.isEmpty() && !path.contains('\0');
}

} // namespace

FileOperationResult renameNoReplace(const QByteArray& from, const QByteArray& to)
{
    if (!usable(from) || !usable(to))
        return {EINVAL};
    if (::syscall(SYS_renameat2, AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return {};
    const int error = errno;
    if (error == EINVAL || error == ENOSYS || error == EOPNOTSUPP)
        return renameNoReplaceByLink(from, to);
    return {error};
}

FileOperationResult renameNoReplaceByLink(const QByteArray& from, const QByteArray& to)
{
    if (!usable(from) || !usable(to))
        return {EINVAL};
    struct stat st;
    if (::lstat(from.constData(), &st) != 0)
        return {errno};
    if (!S_ISDIR(st.st_mode)) {
        // A new name that is already taken makes the link fail, so nothing is ever replaced.
        if (::link(from.constData(), to.constData()) == 0) {
            if (::unlink(from.constData()) == 0)
                return {};
            const int error = errno;
            ::unlink(to.constData());
            return {error};
        }
        if (errno != EPERM && errno != EOPNOTSUPP && errno != EMLINK && errno != ENOSYS)
            return {errno};
        // No hard links on this file system: the same test as for a folder.
    }
    struct stat existing;
    if (::lstat(to.constData(), &existing) == 0)
        return {EEXIST};
    if (errno != ENOENT)
        return {errno};
    return {::rename(from.constData(), to.constData()) == 0 ? 0 : errno};
}

} // namespace platform
