#include "platform/file_delete.h"

#include "platform/folder_entries.h"
#include "platform/paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

namespace platform {
namespace {

// Opens a folder of the tree to empty it, giving it the user's read and search bits first when
// it cannot be read. The mode change goes through a descriptor opened without following links,
// so a link swapped in meanwhile is never what gets changed.
int openForRemoval(int parentFd, const char* name)
{
    const int fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0 || errno != EACCES)
        return fd;
    struct stat st;
    if (::fstatat(parentFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return -1;
    if (::fchmodat(parentFd, name, (st.st_mode | S_IRWXU) & 07777, AT_SYMLINK_NOFOLLOW) != 0)
        return -1;
    return ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

int removeTree(int parentFd, const QByteArray& name, dev_t volume)
{
    Fd folder(openForRemoval(parentFd, name.constData()));
    if (!folder)
        return errno;
    struct stat st;
    if (::fstat(folder.get(), &st) != 0)
        return errno;
    if (st.st_dev != volume)
        return EXDEV; // a volume mounted inside the tree is not the tree's to empty
    constexpr mode_t kNeeded = S_IWUSR | S_IXUSR;
    if ((st.st_mode & kNeeded) != kNeeded && ::fchmod(folder.get(), (st.st_mode | S_IRWXU) & 07777) != 0)
        return errno;

    const int error = forEachEntry(folder.get(), [&](const QByteArray& entry, const struct stat& es) {
        if (S_ISDIR(es.st_mode))
            return removeTree(folder.get(), entry, volume);
        if (::unlinkat(folder.get(), entry.constData(), 0) != 0 && errno != ENOENT)
            return errno;
        return 0;
    });
    if (error)
        return error;
    folder.reset();
    return ::unlinkat(parentFd, name.constData(), AT_REMOVEDIR) == 0 ? 0 : errno;
}

} // namespace

FileOperationResult deleteFile(const QByteArray& path)
{
    if (path.isEmpty() || path.contains('\0'))
        return {EINVAL};
    return {::unlink(path.constData()) == 0 ? 0 : errno};
}

FileOperationResult deleteFolderTree(const QByteArray& path)
{
    const std::optional<SplitPath> split = splitEntryPath(path);
    if (!split)
        return {EINVAL};
    const Fd parent = openHolder(split->folder);
    if (!parent)
        return {errno};
    struct stat parentSt, st;
    if (::fstat(parent.get(), &parentSt) != 0
        || ::fstatat(parent.get(), split->name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return {errno};
    if (!S_ISDIR(st.st_mode))
        return {ENOTDIR};
    // A mount point: the volume mounted there is not the folder's to empty.
    if (st.st_dev != parentSt.st_dev)
        return {EBUSY};
    return {removeTree(parent.get(), split->name, st.st_dev)};
}

} // namespace platform
