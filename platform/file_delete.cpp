#include "platform/file_delete.h"

#include "platform/folder_tree_cursor.h"
#include "platform/mount_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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

// One folder tree to remove: first surveyed whole for mount points, then emptied depth first.
class TreeRemoval {
public:
    TreeRemoval(int parentFd, const QByteArray& name) : parentFd_(parentFd), name_(name) {}

    // The tree's top folder, which must be the entry that was located (st).
    int open(const struct stat& st)
    {
        top_.reset(openForRemoval(parentFd_, name_.constData()));
        struct stat opened;
        if (!top_ || ::fstat(top_.get(), &opened) != 0)
            return errno;
        if (opened.st_dev != st.st_dev || opened.st_ino != st.st_ino)
            return ESTALE;
        return mounts_.isMountRoot(parentFd_, top_.get()) ? EBUSY : 0;
    }

    // Looks into every folder of the tree, deleting nothing: EBUSY when a mount lies inside.
    int survey() { return walk(false); }
    int remove() { return walk(true); }

private:
    int walk(bool removing);
    Fd openFolder(int parentFd, const char* name, int& error);

    int parentFd_;
    QByteArray name_;
    Fd top_;
    MountCheck mounts_;
};

// A folder of the tree, opened to be looked into or emptied: on the tree's own mount, and
// writable by the user.
Fd TreeRemoval::openFolder(int parentFd, const char* name, int& error)
{
    Fd folder(openForRemoval(parentFd, name));
    struct stat st;
    if (!folder || ::fstat(folder.get(), &st) != 0) {
        error = errno;
        return Fd();
    }
    if (mounts_.isMountRoot(parentFd, folder.get())) {
        error = EBUSY; // the volume mounted there is not the tree's to empty
        return Fd();
    }
    constexpr mode_t kNeeded = S_IWUSR | S_IXUSR;
    if ((st.st_mode & kNeeded) != kNeeded && ::fchmod(folder.get(), (st.st_mode | S_IRWXU) & 07777) != 0) {
        error = errno;
        return Fd();
    }
    return folder;
}

int TreeRemoval::walk(bool removing)
{
    FolderTreeCursor walk(parentFd_, -1, name_, Fd(::fcntl(top_.get(), F_DUPFD_CLOEXEC, 0)), Fd());
    if (const int listed = walk.begin())
        return listed;
    FolderTreeCursor::Step step;
    int error = 0;
    while (walk.next(step)) {
        const char* entry = step.name.constData();
        if (step.kind == FolderTreeCursor::Step::FolderDone) {
            if (removing && ::unlinkat(step.folder, entry, AT_REMOVEDIR) != 0)
                return errno;
        } else if (step.statError) {
            return step.statError;
        } else if (S_ISDIR(step.st.st_mode)) {
            Fd folder = openFolder(step.folder, entry, error);
            if (!folder)
                return error;
            if (const int listed = walk.descend(std::move(folder), Fd()))
                return listed;
        } else if (removing && ::unlinkat(step.folder, entry, 0) != 0 && errno != ENOENT) {
            return errno;
        }
    }
    return walk.error();
}

} // namespace

FileOperationResult deleteFile(const EntryRef& entry)
{
    LocatedEntry at;
    if (const int error = locateEntry(entry, at))
        return {error};
    if (S_ISDIR(at.st.st_mode))
        return {EISDIR};
    return {::unlinkat(at.folder.get(), at.name.constData(), 0) == 0 ? 0 : errno};
}

FileOperationResult deleteFolderTree(const EntryRef& entry)
{
    LocatedEntry at;
    if (const int error = locateEntry(entry, at))
        return {error};
    if (!S_ISDIR(at.st.st_mode))
        return {ENOTDIR};
    TreeRemoval tree(at.folder.get(), at.name);
    int error = tree.open(at.st);
    if (!error)
        error = tree.survey();
    if (!error)
        error = tree.remove();
    return {error};
}

} // namespace platform
