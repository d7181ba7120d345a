#include "platform/fileops/file_delete.h"

#include "platform/fileops/mount_check.h"
#include "platform/fileops/operation_progress.h"
#include "platform/fileops/tree_visitor.h"
#include "platform/files/open_beneath.h"
#include "platform/files/paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {
namespace {

// One folder tree to remove. A first pass looks into every folder it may read as it is, changing
// nothing: it counts the entries and refuses the delete where a mount begins inside, on a folder
// or on a file; a folder it may not read is checked against the mount table instead. Only then
// does a second pass empty the tree depth first, giving a folder the user's bits just before it
// empties it.
class TreeRemoval {
public:
    TreeRemoval(const LocatedEntry& top, const QByteArray& parentPath, OperationProgress* progress)
        : top_(top), parentPath_(parentPath), progress_(progress)
    {
    }

    int survey();
    int remove();
    int64_t entries() const { return entries_; }

private:
    int surveyEntry(TreeVisitor& tree, const TreeEntry& entry);
    int removeEntry(TreeVisitor& tree, const TreeEntry& entry);
    int unreadable(int folderFd, const char* name);
    void reportRemoved(const TreeVisitor& tree, const QByteArray& name);

    const LocatedEntry& top_;
    QByteArray parentPath_;
    OperationProgress* progress_;
    MountCheck mounts_; // one for both passes
    int64_t entries_ = 0;
};

// A folder the first pass may not look into (name in folderFd, or folderFd itself where name is
// null): the mount table says whether a mount lies inside.
int TreeRemoval::unreadable(int folderFd, const char* name)
{
    if (!name)
        return mounts_.holdsMount(folderFd) ? EBUSY : 0;
    const Fd folder(openBeneath(folderFd, name, O_PATH));
    return !folder || mounts_.holdsMount(folder.get()) ? EBUSY : 0;
}

int TreeRemoval::survey()
{
    TreeVisitor tree(top_.folder.get(), top_.name, top_.st, TreeVisitor::Access::AsIs, mounts_, progress_);
    int error = tree.open();
    if (tree.topIsMountRoot())
        return EBUSY;
    if (!error)
        error = tree.run({[&](const TreeEntry& entry) { return surveyEntry(tree, entry); },
                          [this](const TreeFolderDone& done) {
                              // Every entry counts once: a folder when it is done, any other when it is met.
                              entries_ += done.abandoned ? 0 : 1;
                              return 0;
                          }});
    return error == EACCES ? unreadable(top_.folder.get(), top_.name.constData()) : error;
}

int TreeRemoval::surveyEntry(TreeVisitor& tree, const TreeEntry& entry)
{
    if (entry.statError) // a folder the user may list but not search
        return entry.statError == EACCES ? unreadable(entry.folder, nullptr) : entry.statError;
    if (entry.mountRoot)
        return EBUSY;
    if (!S_ISDIR(entry.st.stx_mode)) {
        ++entries_;
        return 0;
    }
    if (const int error = tree.enter(entry)) {
        ++entries_;
        return error == EACCES ? unreadable(entry.folder, entry.name.constData()) : error;
    }
    return 0;
}

int TreeRemoval::remove()
{
    TreeVisitor tree(top_.folder.get(), top_.name, top_.st, TreeVisitor::Access::Emptying, mounts_, progress_);
    if (const int error = tree.open())
        return error;
    return tree.run({[&](const TreeEntry& entry) { return removeEntry(tree, entry); },
                     [&](const TreeFolderDone& done) {
                         if (done.abandoned)
                             return 0;
                         reportRemoved(tree, {});
                         return ::unlinkat(done.parent, done.name.constData(), AT_REMOVEDIR) != 0 ? errno : 0;
                     }});
}

void TreeRemoval::reportRemoved(const TreeVisitor& tree, const QByteArray& name)
{
    if (!progress_)
        return;
    if (progress_->wantsCurrent())
        progress_->setCurrent(joinPath(parentPath_, tree.pathOf(name)));
    progress_->advance(1);
    // Folders the first pass could not read hold more than it counted.
    if (progress_->done() > progress_->total())
        progress_->setTotal(progress_->done());
}

int TreeRemoval::removeEntry(TreeVisitor& tree, const TreeEntry& entry)
{
    if (entry.statError)
        return entry.statError;
    if (entry.mountRoot)
        return EBUSY; // mounted there since the first pass: not the tree's to empty
    if (S_ISDIR(entry.st.stx_mode))
        return tree.enter(entry); // EBUSY too where a mount came since
    reportRemoved(tree, entry.name);
    return ::unlinkat(entry.folder, entry.name.constData(), 0) != 0 && errno != ENOENT ? errno : 0;
}

} // namespace

FileOperationResult deleteFile(const EntryRef& entry)
{
    LocatedEntry at;
    if (const int error = locateEntry(entry, at))
        return {error};
    if (S_ISDIR(at.st.stx_mode))
        return {EISDIR};
    return {::unlinkat(at.folder.get(), at.name.constData(), 0) == 0 ? 0 : errno};
}

FileOperationResult deleteFolderTree(const EntryRef& entry, OperationProgress* progress)
{
    LocatedEntry at;
    if (const int error = locateEntry(entry, at))
        return {error};
    if (!S_ISDIR(at.st.stx_mode))
        return {ENOTDIR};
    TreeRemoval tree(at, containingFolder(entry.path), progress);
    int error = tree.survey();
    if (!error && progress)
        progress->setTotal(tree.entries());
    if (!error)
        error = tree.remove();
    return {error};
}

} // namespace platform
