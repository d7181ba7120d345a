#include "platform/file_delete.h"

#include "platform/folder_entries.h"
#include "platform/folder_tree_cursor.h"
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

// A folder of the tree, opened to be emptied: on the tree's volume, and writable by the user.
Fd openFolderToEmpty(int parentFd, const char* name, dev_t volume, int& error)
{
    Fd folder(openForRemoval(parentFd, name));
    struct stat st;
    if (!folder || ::fstat(folder.get(), &st) != 0) {
        error = errno;
        return Fd();
    }
    if (st.st_dev != volume) {
        error = EXDEV; // a volume mounted inside the tree is not the tree's to empty
        return Fd();
    }
    constexpr mode_t kNeeded = S_IWUSR | S_IXUSR;
    if ((st.st_mode & kNeeded) != kNeeded && ::fchmod(folder.get(), (st.st_mode | S_IRWXU) & 07777) != 0) {
        error = errno;
        return Fd();
    }
    return folder;
}

// Empties and removes the tree depth first. The walk keeps a bounded number of descriptors
// open, so neither the depth of the tree nor the length of its paths limits it.
int removeTree(int parentFd, const QByteArray& name, dev_t volume)
{
    int error = 0;
    Fd top = openFolderToEmpty(parentFd, name.constData(), volume, error);
    if (!top)
        return error;
    FolderTreeCursor walk(parentFd, -1, name, std::move(top), Fd());
    if (const int listed = walk.begin())
        return listed;
    FolderTreeCursor::Step step;
    while (walk.next(step)) {
        const char* entry = step.name.constData();
        if (step.kind == FolderTreeCursor::Step::FolderDone) {
            if (::unlinkat(step.folder, entry, AT_REMOVEDIR) != 0)
                return errno;
        } else if (step.statError) {
            return step.statError;
        } else if (S_ISDIR(step.st.st_mode)) {
            Fd folder = openFolderToEmpty(step.folder, entry, volume, error);
            if (!folder)
                return error;
            if (const int listed = walk.descend(std::move(folder), Fd()))
                return listed;
        } else if (::unlinkat(step.folder, entry, 0) != 0 && errno != ENOENT) {
            return errno;
        }
    }
    return walk.error();
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
