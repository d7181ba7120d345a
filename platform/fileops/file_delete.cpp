#include "platform/fileops/file_delete.h"

#include "platform/fileops/folder_entries.h"
#include "platform/fileops/folder_tree_cursor.h"
#include "platform/fileops/mount_check.h"
#include "platform/fileops/operation_progress.h"
#include "platform/files/paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {
namespace {

using Step = FolderTreeCursor::Step;

Fd openReadable(int parentFd, const char* name)
{
    return Fd(::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

// Opens a folder of the tree to empty it, giving it the user's read and search bits first when
// it cannot be read. The mode change goes through a descriptor opened without following links,
// so a link swapped in meanwhile is never what gets changed.
Fd openForRemoval(int parentFd, const char* name)
{
    Fd folder = openReadable(parentFd, name);
    if (folder || errno != EACCES)
        return folder;
    struct stat st;
    if (::fstatat(parentFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode))
        return Fd();
    if (::fchmodat(parentFd, name, (st.st_mode | S_IRWXU) & 07777, AT_SYMLINK_NOFOLLOW) != 0)
        return Fd();
    return openReadable(parentFd, name);
}

// Gives a folder about to be emptied the user's write and search bits, where the user lacks them
// (never for root, who needs none).
int makeEmptiable(int folderFd)
{
    if (::faccessat(folderFd, ".", W_OK | X_OK, AT_EACCESS) == 0 || errno != EACCES)
        return 0;
    struct stat st;
    if (::fstat(folderFd, &st) != 0 || ::fchmod(folderFd, (st.st_mode | S_IRWXU) & 07777) != 0)
        return errno;
    return 0;
}

// One folder tree to remove. A first pass looks into every folder it may read as it is, changing
// nothing: it counts the entries and refuses the delete where a mount begins inside, on a folder
// or on a file; a folder it may not read is checked against the mount table instead. Only then
// does a second pass empty the tree depth first, giving a folder the user's bits just before it
// empties it.
class TreeRemoval {
public:
    TreeRemoval(int parentFd, const QByteArray& name, const QByteArray& parentPath, OperationProgress* progress)
        : parentFd_(parentFd), name_(name), parentPath_(parentPath), progress_(progress)
    {
    }

    // The tree's top folder, which must be the entry that was located (st).
    int open(const struct stat& st)
    {
        top_.reset(::openat(parentFd_, name_.constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat opened;
        if (!top_ || ::fstat(top_.get(), &opened) != 0)
            return errno;
        if (!sameEntry(opened, st))
            return ESTALE;
        topId_ = opened;
        return mounts_.isMountRoot(parentFd_, top_.get()) ? EBUSY : 0;
    }

    int survey();
    int remove();
    int64_t entries() const { return entries_; }

private:
    int surveyStep(FolderTreeCursor& walk, const Step& step);
    int removalStep(FolderTreeCursor& walk, const Step& step);
    int unreadable(int folderFd, const char* name);
    Fd reopenTop(Fd folder, int& error);
    void reportRemoved(const FolderTreeCursor& walk, const Step& step);
    template <typename Visit>
    int walk(Fd top, Visit visit);

    int parentFd_;
    QByteArray name_, parentPath_;
    OperationProgress* progress_;
    Fd top_;
    struct stat topId_ {};
    MountCheck mounts_;
    int64_t entries_ = 0;
};

// The top folder opened again to be read: still the one located, or ESTALE.
Fd TreeRemoval::reopenTop(Fd folder, int& error)
{
    struct stat st;
    if (!folder || ::fstat(folder.get(), &st) != 0) {
        error = errno;
        return Fd();
    }
    if (!sameEntry(st, topId_)) {
        error = ESTALE;
        return Fd();
    }
    return folder;
}

template <typename Visit>
int TreeRemoval::walk(Fd top, Visit visit)
{
    FolderTreeCursor walk(parentFd_, -1, name_, std::move(top), Fd());
    if (const int listed = walk.begin())
        return listed;
    Step step;
    while (walk.next(step)) {
        if (progress_ && progress_->cancelled())
            return ECANCELED;
        if (const int error = visit(walk, step))
            return error;
    }
    return walk.error();
}

// A folder the first pass may not look into (name in folderFd, or folderFd itself where name is
// null): the mount table says whether a mount lies inside.
int TreeRemoval::unreadable(int folderFd, const char* name)
{
    Fd folder(name ? ::openat(folderFd, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
                   : ::fcntl(folderFd, F_DUPFD_CLOEXEC, 0));
    return !folder || mounts_.holdsMount(folder.get()) ? EBUSY : 0;
}

int TreeRemoval::survey()
{
    int error = 0;
    Fd top = reopenTop(openReadable(parentFd_, name_.constData()), error);
    if (error == EACCES)
        return unreadable(top_.get(), nullptr);
    if (error)
        return error;
    error = walk(std::move(top), [this](FolderTreeCursor& walk, const Step& step) { return surveyStep(walk, step); });
    return error == EACCES ? unreadable(top_.get(), nullptr) : error;
}

int TreeRemoval::surveyStep(FolderTreeCursor& walk, const Step& step)
{
    // Every entry goes once: a folder when it is done, any other entry when it is met.
    if (step.kind == Step::FolderDone) {
        ++entries_;
        return 0;
    }
    if (step.statError) // a folder the user may list but not search
        return step.statError == EACCES ? unreadable(step.folder, nullptr) : step.statError;
    const char* name = step.name.constData();
    if (mounts_.isMountRoot(step.folder, name))
        return EBUSY;
    if (!S_ISDIR(step.st.st_mode)) {
        ++entries_;
        return 0;
    }
    Fd folder = openReadable(step.folder, name);
    if (!folder) {
        ++entries_;
        return errno == EACCES ? unreadable(step.folder, name) : errno;
    }
    if (const int listed = walk.descend(std::move(folder), Fd())) {
        ++entries_;
        return listed == EACCES ? unreadable(step.folder, name) : listed;
    }
    return 0;
}

int TreeRemoval::remove()
{
    int error = 0;
    Fd top = reopenTop(openForRemoval(parentFd_, name_.constData()), error);
    if (!error)
        error = makeEmptiable(top.get());
    if (error)
        return error;
    return walk(std::move(top), [this](FolderTreeCursor& walk, const Step& step) { return removalStep(walk, step); });
}

void TreeRemoval::reportRemoved(const FolderTreeCursor& walk, const Step& step)
{
    if (!progress_)
        return;
    if (progress_->wantsCurrent()) {
        const QByteArray below = step.kind == Step::FolderDone ? walk.pathOf({}).chopped(1) : walk.pathOf(step.name);
        progress_->setCurrent(joinPath(parentPath_, below));
    }
    progress_->advance(1);
    // Folders the first pass could not read hold more than it counted.
    if (progress_->done() > progress_->total())
        progress_->setTotal(progress_->done());
}

int TreeRemoval::removalStep(FolderTreeCursor& walk, const Step& step)
{
    const char* name = step.name.constData();
    if (step.kind == Step::FolderDone) {
        reportRemoved(walk, step);
        return ::unlinkat(step.folder, name, AT_REMOVEDIR) != 0 ? errno : 0;
    }
    if (step.statError)
        return step.statError;
    if (!S_ISDIR(step.st.st_mode)) {
        reportRemoved(walk, step);
        // The kernel refuses to remove a file that a mount is bound over (EBUSY).
        return ::unlinkat(step.folder, name, 0) != 0 && errno != ENOENT ? errno : 0;
    }
    Fd folder = openForRemoval(step.folder, name);
    if (!folder)
        return errno;
    if (mounts_.isMountRoot(step.folder, folder.get()))
        return EBUSY; // mounted there since the first pass: not the tree's to empty
    if (const int error = makeEmptiable(folder.get()))
        return error;
    return walk.descend(std::move(folder), Fd());
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
