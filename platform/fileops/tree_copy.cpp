#include "platform/fileops/tree_copy.h"

#include "platform/fileops/entry_copy.h"
#include "platform/fileops/operation_progress.h"
#include "platform/fileops/tree_visitor.h"
#include "platform/files/entry_identity.h"
#include "platform/files/open_beneath.h"
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

// The identity of the folder open at fd; 0, or the errno of reading it.
int identityOfOpen(int fd, EntryIdentity& identity)
{
    struct statx st;
    const int error = MountCheck::status(fd, "", st);
    identity = error ? EntryIdentity() : identityOf(st);
    return error;
}

// The folder the copy made (or merges into) as name in dstParent, opened, and known by its identity.
int openMade(int dstParent, const QByteArray& name, Fd& fd, EntryIdentity& identity)
{
    fd.reset(openBeneath(dstParent, name));
    return fd ? identityOfOpen(fd.get(), identity) : errno;
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

int64_t TreeCopy::measure(const QByteArray& srcName, const struct statx& source)
{
    int64_t bytes = 0;
    TreeVisitor tree(srcParent_, srcName, source, TreeVisitor::Access::AsIs, mounts_, progress_);
    if (tree.open())
        return 0;
    tree.run({[&](const TreeEntry& entry) {
        if (entry.statError || entry.mountRoot)
            return 0;
        if (S_ISREG(entry.st.stx_mode))
            bytes += int64_t(entry.st.stx_size);
        else if (S_ISDIR(entry.st.stx_mode))
            tree.enter(entry); // one that cannot be read adds nothing
        return 0;
    }});
    return bytes;
}

int TreeCopy::run(const QByteArray& srcName, const struct statx& source, const QByteArray& dstName)
{
    TreeVisitor tree(srcParent_, srcName, source, TreeVisitor::Access::AsIs, mounts_, progress_);
    if (const int error = tree.open())
        return error;
    Made top{source, false, dstName, Fd(), {}};
    if (const int error = makeCopyFolder(dstParent_, dstName.constData(), source, top.created))
        return error;
    if (const int error = openMade(dstParent_, top.name, top.fd, top.identity))
        return error;
    dstTop_ = top.identity;
    push(std::move(top));
    const TreeVisitor::Visit visit{[this, &tree](const TreeEntry& entry) {
                                       int error = entry.statError;
                                       if (!error)
                                           error = S_ISDIR(entry.st.stx_mode) ? enterFolder(tree, entry)
                                                                              : copyEntry(tree, entry);
                                       if (error)
                                           note(error);
                                       return stopsTheCopy(error) ? error : 0;
                                   },
                                   [this](const TreeFolderDone& done) { return folderDone(done); }};
    if (const int error = tree.run(visit))
        note(error);
    return firstError_;
}

void TreeCopy::push(Made made)
{
    made_.push_back(std::move(made));
    if (made_.size() - firstOpen_ > TreeVisitor::kOpenFolders) {
        made_[firstOpen_].fd.reset();
        ++firstOpen_;
    }
}

// The destination's folder the copy comes back up to from the one at childFd, opened again where
// it was closed: one moved meanwhile stops the copy rather than lead it elsewhere.
int TreeCopy::reopenLast(int childFd)
{
    const size_t index = made_.size() - 1;
    if (index >= firstOpen_)
        return 0;
    Made& folder = made_[index];
    folder.fd = openParent(childFd);
    if (!folder.fd)
        return errno;
    EntryIdentity now;
    if (const int error = identityOfOpen(folder.fd.get(), now))
        return error;
    if (now != folder.identity)
        return ESTALE;
    firstOpen_ = index;
    return 0;
}

// A folder of the copy whose entries have all come, or that the copy stopped inside: it gets its
// source's bits, or goes where it was made for the copy and nothing was copied into it.
int TreeCopy::folderDone(const TreeFolderDone& done)
{
    const Made folder = std::move(made_.back());
    made_.pop_back();
    if (lost_)
        return 0;
    if (!made_.empty()) {
        if (const int error = reopenLast(folder.fd.get())) {
            lost_ = true;
            return error;
        }
    }
    if (!folder.created)
        return 0;
    const int parent = made_.empty() ? dstParent_ : made_.back().fd.get();
    if (done.abandoned && ::unlinkat(parent, folder.name.constData(), AT_REMOVEDIR) == 0)
        return 0; // only an empty folder goes
    if (const int error = finishCopyFolder(folder.fd.get(), folder.source))
        note(error);
    if (!done.abandoned)
        copiedAny_ = true;
    return 0;
}

int TreeCopy::copyEntry(const TreeVisitor& tree, const TreeEntry& entry)
{
    if (progress_ && progress_->wantsCurrent())
        progress_->setCurrent(joinPath(srcFolderPath_, tree.pathOf(entry.name)));
    const struct statx& st = entry.st;
    if (!S_ISLNK(st.stx_mode) && !S_ISREG(st.stx_mode))
        return 0; // sockets, pipes and device nodes hold no data to copy
    if (entry.mountRoot)
        return 0; // what another mount holds is not this tree's
    const char* name = entry.name.constData();
    const int dst = made_.back().fd.get();
    const int error = S_ISLNK(st.stx_mode) ? copyLinkEntry(entry.folder, name, st, dst, name)
                                           : copyRegularEntry(entry.folder, name, st, dst, name, progress_);
    copiedAny_ = copiedAny_ || error == 0;
    return error;
}

// A folder made for a source folder that the copy does not go into: it gets its source's bits.
int TreeCopy::finishMade(int dstParent, const TreeEntry& entry, bool created)
{
    if (!created)
        return 0;
    copiedAny_ = true;
    const Fd made(openBeneath(dstParent, entry.name));
    return made ? finishCopyFolder(made.get(), entry.st) : errno;
}

int TreeCopy::enterFolder(TreeVisitor& tree, const TreeEntry& entry)
{
    // The copy's own folder met again inside the source, as through a bind mount.
    if (identityOf(entry.st) == dstTop_)
        return ELOOP;
    const int dstParent = made_.back().fd.get();
    Made made{entry.st, false, entry.name, Fd(), {}};
    bool asked = false;
    const int error = tree.enter(entry, [&] {
        asked = true;
        if (const int madeError = makeCopyFolder(dstParent, entry.name.constData(), entry.st, made.created))
            return madeError;
        return openMade(dstParent, made.name, made.fd, made.identity);
    });
    if (error == EBUSY && !asked) {
        // Another volume mounted below the source: its mount point comes across, not what it holds.
        if (const int madeError = makeCopyFolder(dstParent, entry.name.constData(), entry.st, made.created))
            return madeError;
        return finishMade(dstParent, entry, made.created);
    }
    if (error) {
        finishMade(dstParent, entry, made.created);
        return error;
    }
    push(std::move(made));
    return 0;
}

} // namespace platform
