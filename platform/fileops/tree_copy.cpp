#include "platform/fileops/tree_copy.h"

#include "platform/fileops/entry_copy.h"
#include "platform/fileops/operation_progress.h"
#include "platform/fileops/tree_visitor.h"
#include "platform/files/entry_identity.h"
#include "platform/files/paths.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace platform {
namespace {

// Errors that every later entry would meet again: the copy stops there.
bool stopsTheCopy(int error)
{
    return error == ECANCELED || error == ENOSPC || error == EDQUOT || error == EROFS;
}

} // namespace

TreeCopy::TreeCopy(int srcParent, int dstParent, const QByteArray& srcFolderPath, OperationProgress* progress)
    : srcParent_(srcParent), dstParent_(dstParent), srcFolderPath_(srcFolderPath), progress_(progress)
{
}

void TreeCopy::note(int error)
{
    if (error == ECANCELED || !firstError_)
        firstError_ = error;
}

int64_t TreeCopy::measure(const QByteArray& srcName, const struct stat& source)
{
    int64_t bytes = 0;
    TreeVisitor tree(srcParent_, srcName, source, TreeVisitor::Access::AsIs, mounts_, progress_);
    if (tree.open())
        return 0;
    tree.run({[&](const TreeEntry& entry) {
        if (entry.statError || entry.mountRoot)
            return 0;
        if (S_ISREG(entry.st.st_mode))
            bytes += entry.st.st_size;
        else if (S_ISDIR(entry.st.st_mode))
            tree.enter(entry); // one that cannot be read adds nothing
        return 0;
    }});
    return bytes;
}

int TreeCopy::run(const QByteArray& srcName, const struct stat& source, const QByteArray& dstName)
{
    TreeVisitor tree(srcParent_, srcName, source, TreeVisitor::Access::AsIs, mounts_, progress_);
    if (const int error = tree.open())
        return error;
    bool created = false;
    if (const int error = makeCopyFolder(dstParent_, dstName.constData(), source, created))
        return error;
    Fd dst = TreeVisitor::openFolder(dstParent_, dstName.constData());
    struct stat dstStatus;
    if (!dst || ::fstat(dst.get(), &dstStatus) != 0)
        return errno;
    dstTop_ = identityOf(dstStatus);
    made_.push_back({source, created, dstName});
    const TreeVisitor::Visit visit{
        [this, &tree](const TreeEntry& entry) {
            int error = entry.statError;
            if (!error)
                error = S_ISDIR(entry.st.st_mode) ? enterFolder(tree, entry) : copyEntry(tree, entry);
            if (error)
                note(error);
            return stopsTheCopy(error) ? error : 0;
        },
        [this](const TreeFolderDone& done) {
            folderDone(done);
            return 0;
        }};
    if (const int error = tree.run(visit, dstParent_, std::move(dst), dstTop_))
        note(error);
    return firstError_;
}

// A folder of the copy whose entries have all come, or that the copy stopped inside: it gets its
// source's bits, or goes where it was made for the copy and nothing was copied into it.
void TreeCopy::folderDone(const TreeFolderDone& done)
{
    const Made folder = made_.back();
    made_.pop_back();
    if (!folder.created)
        return;
    if (done.abandoned && ::unlinkat(done.parentPeer, folder.name.constData(), AT_REMOVEDIR) == 0)
        return; // only an empty folder goes
    if (const int error = finishCopyFolder(done.peer, folder.source))
        note(error);
    if (!done.abandoned)
        copiedAny_ = true;
}

int TreeCopy::copyEntry(const TreeVisitor& tree, const TreeEntry& entry)
{
    if (progress_ && progress_->wantsCurrent())
        progress_->setCurrent(joinPath(srcFolderPath_, tree.pathOf(entry.name)));
    const struct stat& st = entry.st;
    if (!S_ISLNK(st.st_mode) && !S_ISREG(st.st_mode))
        return 0; // sockets, pipes and device nodes hold no data to copy
    if (entry.mountRoot)
        return 0; // what another mount holds is not this tree's
    const char* name = entry.name.constData();
    const int error = S_ISLNK(st.st_mode) ? copyLinkEntry(entry.folder, name, st, entry.peer, name)
                                          : copyRegularEntry(entry.folder, name, st, entry.peer, name, progress_);
    copiedAny_ = copiedAny_ || error == 0;
    return error;
}

// A folder made for a source folder that the copy does not go into: it gets its source's bits.
int TreeCopy::finishMade(int dstParent, const TreeEntry& entry, bool created)
{
    if (!created)
        return 0;
    copiedAny_ = true;
    const Fd made = TreeVisitor::openFolder(dstParent, entry.name.constData());
    return made ? finishCopyFolder(made.get(), entry.st) : errno;
}

int TreeCopy::enterFolder(TreeVisitor& tree, const TreeEntry& entry)
{
    // The copy's own folder met again inside the source, as through a bind mount.
    if (identityOf(entry.st) == dstTop_)
        return ELOOP;
    bool asked = false, created = false;
    const int error = tree.enter(entry, [&] {
        asked = true;
        return makeCopyFolder(entry.peer, entry.name.constData(), entry.st, created);
    });
    if (error == EBUSY && !asked) {
        // Another volume mounted below the source: its mount point comes across, not what it holds.
        if (const int made = makeCopyFolder(entry.peer, entry.name.constData(), entry.st, created))
            return made;
        return finishMade(entry.peer, entry, created);
    }
    if (error) {
        finishMade(entry.peer, entry, created);
        return error;
    }
    made_.push_back({entry.st, created, entry.name});
    return 0;
}

} // namespace platform
