#include "platform/fileops/file_rename.h"

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

bool isOneName(const QByteArray& name)
{
    return !name.isEmpty() && name != "." && name != ".." && !name.contains('/') && !name.contains('\0');
}

int renameByLink(int folder, const char* from, const char* to, const struct statx& st)
{
    if (!S_ISDIR(st.stx_mode)) {
        // A new name that is already taken makes the link fail, so nothing is ever replaced.
        if (::linkat(folder, from, folder, to, 0) == 0) {
            if (::unlinkat(folder, from, 0) == 0)
                return 0;
            const int error = errno;
            ::unlinkat(folder, to, 0);
            return error;
        }
        if (errno != EPERM && errno != EOPNOTSUPP && errno != EMLINK && errno != ENOSYS)
            return errno;
        // No hard links on this file system: the same test as for a folder.
    }
    struct statx existing;
    if (::statx(folder, to, AT_SYMLINK_NOFOLLOW, STATX_TYPE, &existing) == 0)
        return EEXIST;
    if (errno != ENOENT)
        return errno;
    return ::renameat(folder, from, folder, to) == 0 ? 0 : errno;
}

// The entry located without following links, then renamed in its folder by the given way.
template <typename Rename>
FileOperationResult renameLocated(const EntryRef& entry, const QByteArray& newName, Rename rename)
{
    if (!isOneName(newName))
        return {EINVAL};
    LocatedEntry at;
    if (const int error = locateEntry(entry, at))
        return {error};
    return {rename(at.folder.get(), at.name.constData(), newName.constData(), at.st)};
}

} // namespace

FileOperationResult renameEntry(const EntryRef& entry, const QByteArray& newName)
{
    return renameLocated(entry, newName, [](int folder, const char* from, const char* to, const struct statx& st) {
        if (::syscall(SYS_renameat2, folder, from, folder, to, RENAME_NOREPLACE) == 0)
            return 0;
        const int error = errno;
        if (error == EINVAL || error == ENOSYS || error == EOPNOTSUPP)
            return renameByLink(folder, from, to, st);
        return error;
    });
}

FileOperationResult renameEntryByLink(const EntryRef& entry, const QByteArray& newName)
{
    return renameLocated(entry, newName, renameByLink);
}

} // namespace platform
