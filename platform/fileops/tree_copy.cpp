#include "platform/fileops/tree_copy.h"

#include "platform/fileops/entry_copy.h"
#include "platform/fileops/folder_entries.h"
#include "platform/fileops/folder_tree_cursor.h"
#include "platform/fileops/operation_progress.h"
#include "platform/files/paths.h"

#include <fcntl.h>

#include <cerrno>

namespace platform {
namespace {

using Step = FolderTreeCursor::Step;

Fd openFolderAt(int parentFd, const char* name)
{
    return Fd(::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

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

int64_t TreeCopy::measure(const QByteArray& srcName)
{
    int64_t bytes = 0;
    FolderTreeCursor walk(srcParent_, -1, srcName, openFolderAt(srcParent_, srcName.constData()), Fd());
    if (walk.begin())
        return 0;
    Step step;
    while (walk.next(step) && !(progress_ && progress_->cancelled())) {
        if (step.kind != Step::Entry || step.statError)
            continue;
        if (S_ISREG(step.st.st_mode) && !mounts_.isMountRoot(step.folder, step.name.constData()))
            bytes += step.st.st_size;
        if (!S_ISDIR(step.st.st_mode))
            continue;
        Fd folder = openFolderAt(step.folder, step.name.constData());
        if (folder && !mounts_.isMountRoot(step.folder, folder.get()))
            walk.descend(std::move(folder), Fd());
    }
    return bytes;
}

int TreeCopy::run(const QByteArray& srcName, const struct stat& source, const QByteArray& dstName)
{
    Fd src = openFolderAt(srcParent_, srcName.constData());
    if (!src)
        return errno;
    bool created = false;
    if (const int error = makeCopyFolder(dstParent_, dstName.constData(), source, created))
        return error;
    Fd dst = openFolderAt(dstParent_, dstName.constData());
    if (!dst || ::fstat(dst.get(), &dstTop_) != 0)
        return errno;
    made_.push_back({source, created, dstName});
    FolderTreeCursor walk(srcParent_, dstParent_, srcName, std::move(src), std::move(dst));
    if (const int listed = walk.begin()) {
        note(listed);
        Fd top = openFolderAt(dstParent_, dstName.constData());
        if (created && top)
            folderDone(dstParent_, top.get(), true);
        return firstError_;
    }
    Step step;
    bool abandoned = false;
    while (walk.next(step)) {
        if (step.kind == Step::FolderDone) {
            folderDone(step.peer, step.donePeer, abandoned);
            continue;
        }
        int error = progress_ && progress_->cancelled() ? ECANCELED : step.statError;
        if (!error)
            error = S_ISDIR(step.st.st_mode) ? enterFolder(walk, step.folder, step.peer, step.name, step.st)
                                             : copyEntry(walk, step.folder, step.peer, step.name, step.st);
        if (error) {
            note(error);
            if (stopsTheCopy(error)) {
                walk.abandon();
                abandoned = true;
            }
        }
    }
    if (walk.error())
        note(walk.error());
    return firstError_;
}

// A folder of the copy whose entries have all come, or that the copy stopped inside: it gets its
// source's bits, or goes where it was made for the copy and nothing was copied into it.
void TreeCopy::folderDone(int dstParent, int dstFolder, bool abandoned)
{
    const Made folder = made_.back();
    made_.pop_back();
    if (!folder.created)
        return;
    if (abandoned && ::unlinkat(dstParent, folder.name.constData(), AT_REMOVEDIR) == 0)
        return; // only an empty folder goes
    if (const int error = finishCopyFolder(dstFolder, folder.source))
        note(error);
    if (!abandoned)
        copiedAny_ = true;
}

int TreeCopy::copyEntry(const FolderTreeCursor& walk, int srcFolder, int dstFolder, const QByteArray& name,
                        const struct stat& st)
{
    if (progress_ && progress_->wantsCurrent())
        progress_->setCurrent(joinPath(srcFolderPath_, walk.pathOf(name)));
    if (!S_ISLNK(st.st_mode) && !S_ISREG(st.st_mode))
        return 0; // sockets, pipes and device nodes hold no data to copy
    if (mounts_.isMountRoot(srcFolder, name.constData()))
        return 0; // what another mount holds is not this tree's
    const int error = S_ISLNK(st.st_mode)
        ? copyLinkEntry(srcFolder, name.constData(), st, dstFolder, name.constData())
        : copyRegularEntry(srcFolder, name.constData(), st, dstFolder, name.constData(), progress_);
    copiedAny_ = copiedAny_ || error == 0;
    return error;
}

int TreeCopy::enterFolder(FolderTreeCursor& walk, int srcFolder, int dstFolder, const QByteArray& name,
                          const struct stat& st)
{
    // The copy's own folder met again inside the source, as through a bind mount.
    if (sameEntry(st, dstTop_))
        return ELOOP;
    Fd src = openFolderAt(srcFolder, name.constData());
    if (!src)
        return errno;
    bool created = false;
    if (const int error = makeCopyFolder(dstFolder, name.constData(), st, created))
        return error;
    Fd dst = openFolderAt(dstFolder, name.constData());
    if (!dst)
        return errno;
    // Another volume mounted below the source: its mount point comes across, not what it holds.
    if (mounts_.isMountRoot(srcFolder, src.get())) {
        copiedAny_ = copiedAny_ || created;
        return created ? finishCopyFolder(dst.get(), st) : 0;
    }
    if (const int listed = walk.descend(std::move(src), std::move(dst))) {
        Fd made = openFolderAt(dstFolder, name.constData());
        if (created && made)
            finishCopyFolder(made.get(), st);
        copiedAny_ = copiedAny_ || created;
        return listed;
    }
    made_.push_back({st, created, name});
    return 0;
}

} // namespace platform
