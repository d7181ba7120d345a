#include "platform/file_delete.h"

#include "platform/folder_tree_cursor.h"
#include "platform/mount_check.h"
#include "platform/operation_progress.h"
#include "platform/paths.h"

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
    TreeRemoval(int parentFd, const QByteArray& name, const QByteArray& parentPath, OperationProgress* progress)
        : parentFd_(parentFd), name_(name), parentPath_(parentPath), progress_(progress)
    {
    }

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
    // Counts the entries meanwhile, for the progress.
    int survey() { return walk(false); }
    int remove() { return walk(true); }
    int64_t entries() const { return entries_; }

private:
    int walk(bool removing);
    int visit(FolderTreeCursor& walk, const FolderTreeCursor::Step& step, bool removing);
    Fd openFolder(int parentFd, const char* name, int& error);

    int parentFd_;
    QByteArray name_, parentPath_;
    OperationProgress* progress_;
    Fd top_;
    MountCheck mounts_;
    int64_t entries_ = 0;
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
    while (walk.next(step)) {
        if (progress_ && progress_->cancelled())
            return ECANCELED;
        if (const int error = visit(walk, step, removing))
            return error;
    }
    return walk.error();
}

// One step of either walk: an entry to count or remove, a folder to enter, a folder emptied.
int TreeRemoval::visit(FolderTreeCursor& walk, const FolderTreeCursor::Step& step, bool removing)
{
    const char* entry = step.name.constData();
    if (step.kind == FolderTreeCursor::Step::Entry && step.statError)
        return step.statError;
    const bool isFolderDone = step.kind == FolderTreeCursor::Step::FolderDone;
    // What goes: every entry that is not a folder, and each folder once it is empty.
    if (isFolderDone || !S_ISDIR(step.st.st_mode)) {
        if (!removing) {
            ++entries_;
        } else if (progress_) {
            if (progress_->wantsCurrent()) {
                const QByteArray below = isFolderDone ? walk.pathOf({}).chopped(1) : walk.pathOf(step.name);
                progress_->setCurrent(joinPath(parentPath_, below));
            }
            progress_->advance(1);
        }
    }
    if (isFolderDone)
        return removing && ::unlinkat(step.folder, entry, AT_REMOVEDIR) != 0 ? errno : 0;
    if (S_ISDIR(step.st.st_mode)) {
        int error = 0;
        Fd folder = openFolder(step.folder, entry, error);
        return folder ? walk.descend(std::move(folder), Fd()) : error;
    }
    if (removing && ::unlinkat(step.folder, entry, 0) != 0 && errno != ENOENT)
        return errno;
    return 0;
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

FileOperationResult deleteFolderTree(const EntryRef& entry, OperationProgress* progress)
{
    LocatedEntry at;
    if (const int error = locateEntry(entry, at))
        return {error};
    if (!S_ISDIR(at.st.st_mode))
        return {ENOTDIR};
    TreeRemoval tree(at.folder.get(), at.name, containingFolder(entry.path), progress);
    int error = tree.open(at.st);
    if (!error)
        error = tree.survey();
    if (!error && progress)
        progress->setTotal(tree.entries());
    if (!error)
        error = tree.remove();
    return {error};
}

} // namespace platform
