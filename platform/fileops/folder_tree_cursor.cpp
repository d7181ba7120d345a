#include "platform/fileops/folder_tree_cursor.h"

#include "platform/fileops/folder_entries.h"
#include "platform/files/paths.h"

#include <fcntl.h>

#include <cerrno>

namespace platform {
namespace {

// A folder the walk left, opened again from one of its sub-folders: readable where it was, else
// for use by descriptor only.
Fd openParent(int childFd)
{
    Fd up(::openat(childFd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!up && errno == EACCES)
        up.reset(::openat(childFd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
    return up;
}

} // namespace

FolderTreeCursor::FolderTreeCursor(int topParent, int topParentPeer, const QByteArray& topName, Fd top, Fd topPeer)
    : topParent_(topParent), topParentPeer_(topParentPeer)
{
    Frame frame;
    frame.name = topName;
    frame.fd = std::move(top);
    frame.peer = std::move(topPeer);
    stack_.push_back(std::move(frame));
}

int FolderTreeCursor::begin()
{
    Frame& top = stack_.front();
    int error = 0;
    if (::fstat(top.fd.get(), &top.id) != 0 || (top.peer && ::fstat(top.peer.get(), &top.peerId) != 0))
        error = errno;
    if (error || (error = listNames(top.fd.get(), top.names))) {
        stack_.clear();
        return error_ = error;
    }
    return 0;
}

int FolderTreeCursor::push(QByteArray name, Fd folder, Fd peer)
{
    Frame frame;
    frame.name = std::move(name);
    if (::fstat(folder.get(), &frame.id) != 0 || (peer && ::fstat(peer.get(), &frame.peerId) != 0))
        return errno;
    if (const int error = listNames(folder.get(), frame.names))
        return error;
    frame.fd = std::move(folder);
    frame.peer = std::move(peer);
    stack_.push_back(std::move(frame));
    if (stack_.size() - firstOpen_ > kOpenFolders) {
        stack_[firstOpen_].fd.reset();
        stack_[firstOpen_].peer.reset();
        ++firstOpen_;
    }
    return 0;
}

int FolderTreeCursor::descend(Fd folder, Fd peer)
{
    return push(stack_.back().names[stack_.back().next - 1], std::move(folder), std::move(peer));
}

// Opens a closed frame again through ".." of the frame below it, and checks that it found the
// folder it left: one moved meanwhile stops the walk rather than lead it elsewhere.
int FolderTreeCursor::reopen(size_t index)
{
    if (index >= firstOpen_)
        return 0;
    Frame& frame = stack_[index];
    const Frame& child = stack_[index + 1];
    frame.fd = openParent(child.fd.get());
    if (!frame.fd)
        return errno;
    if (child.peer) {
        frame.peer = openParent(child.peer.get());
        if (!frame.peer)
            return errno;
    }
    struct stat st;
    if (::fstat(frame.fd.get(), &st) != 0 || !sameEntry(st, frame.id))
        return ESTALE;
    if (frame.peer && (::fstat(frame.peer.get(), &st) != 0 || !sameEntry(st, frame.peerId)))
        return ESTALE;
    firstOpen_ = index;
    return 0;
}

bool FolderTreeCursor::next(Step& step)
{
    if (popPending_) {
        stack_.pop_back();
        popPending_ = false;
    }
    while (!stack_.empty()) {
        Frame& frame = stack_.back();
        if (!abandoned_ && frame.next < frame.names.size()) {
            step = Step{};
            step.folder = frame.fd.get();
            step.peer = frame.peer.get();
            step.name = frame.names[frame.next++];
            if (::fstatat(step.folder, step.name.constData(), &step.st, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno == ENOENT)
                    continue; // gone since the listing
                step.statError = errno;
            }
            return true;
        }
        const bool isTop = stack_.size() == 1;
        if (!isTop) {
            if (const int error = reopen(stack_.size() - 2)) {
                error_ = error;
                return false;
            }
        }
        const Frame& done = stack_.back();
        step = Step{};
        step.kind = Step::FolderDone;
        step.folder = isTop ? topParent_ : stack_[stack_.size() - 2].fd.get();
        step.peer = isTop ? topParentPeer_ : stack_[stack_.size() - 2].peer.get();
        step.name = done.name;
        step.doneFolder = done.fd.get();
        step.donePeer = done.peer.get();
        popPending_ = true;
        return true;
    }
    return false;
}

QByteArray FolderTreeCursor::pathOf(const QByteArray& name) const
{
    QByteArray path;
    for (const Frame& frame : stack_)
        path = path.isEmpty() ? frame.name : joinPath(path, frame.name);
    return joinPath(path, name);
}

} // namespace platform
