#include "platform/fileops/tree_visitor.h"

#include "platform/fileops/operation_progress.h"
#include "platform/files/paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>

namespace platform {
namespace {

struct stat statOf(const struct statx& x)
{
    struct stat st {};
    st.st_dev = makedev(x.stx_dev_major, x.stx_dev_minor);
    st.st_ino = x.stx_ino;
    st.st_mode = x.stx_mode;
    st.st_nlink = x.stx_nlink;
    st.st_uid = x.stx_uid;
    st.st_gid = x.stx_gid;
    st.st_rdev = makedev(x.stx_rdev_major, x.stx_rdev_minor);
    st.st_size = off_t(x.stx_size);
    st.st_blksize = blksize_t(x.stx_blksize);
    st.st_blocks = blkcnt_t(x.stx_blocks);
    st.st_atim = {x.stx_atime.tv_sec, x.stx_atime.tv_nsec};
    st.st_mtim = {x.stx_mtime.tv_sec, x.stx_mtime.tv_nsec};
    st.st_ctim = {x.stx_ctime.tv_sec, x.stx_ctime.tv_nsec};
    return st;
}

EntryIdentity statxIdentity(const struct statx& x)
{
    return {uint64_t(makedev(x.stx_dev_major, x.stx_dev_minor)), uint64_t(x.stx_ino)};
}

// The names of a folder ("." and ".." left out), read in full before any of them is changed.
int listNames(int folderFd, std::vector<QByteArray>& names)
{
    const int fd = ::fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0)
        return errno;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    ::rewinddir(dir); // the duplicate shares its position with the folder's descriptor
    int error = 0;
    while (true) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            error = errno;
            break;
        }
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(dir);
    return error;
}

// A folder the visit left, opened again from one of its sub-folders: readable where it was, else
// for use by descriptor only.
Fd openParent(int childFd)
{
    Fd up(::openat(childFd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!up && errno == EACCES)
        up.reset(::openat(childFd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
    return up;
}

// Gives a folder about to be emptied, whose mode is mode, the user's write and search bits, where
// the user lacks them.
int makeEmptiable(int folderFd, mode_t mode)
{
    if (::faccessat(folderFd, ".", W_OK | X_OK, AT_EACCESS) == 0 || errno != EACCES)
        return 0;
    return ::fchmod(folderFd, (mode | S_IRWXU) & 07777) != 0 ? errno : 0;
}

} // namespace

TreeVisitor::TreeVisitor(int parent, const QByteArray& name, const struct stat& top, Access access,
                         MountCheck& mounts, OperationProgress* progress)
    : parent_(parent), name_(name), top_(identityOf(top)), access_(access), mounts_(mounts), progress_(progress)
{
}

Fd TreeVisitor::openFolder(int parentFd, const char* name)
{
    return Fd(::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

// A folder of a tree to empty, given the user's read and search bits first where it cannot be read.
Fd TreeVisitor::openToEmpty(int parentFd, const TreeEntry& entry)
{
    Fd folder = openFolder(parentFd, entry.name.constData());
    if (folder || errno != EACCES || !S_ISDIR(entry.st.st_mode))
        return folder;
    if (::fchmodat(parentFd, entry.name.constData(), (entry.st.st_mode | S_IRWXU) & 07777, AT_SYMLINK_NOFOLLOW) != 0)
        return Fd();
    return openFolder(parentFd, entry.name.constData());
}

// Opens the folder of an entry, which must still be the entry that was looked at.
int TreeVisitor::openFrame(int parentFd, const struct statx& parentStatus, const TreeEntry& entry, bool refuseMount,
                           Frame& frame)
{
    if (refuseMount && entry.mountRoot)
        return EBUSY;
    frame.name = entry.name;
    frame.fd = access_ == Access::Emptying ? openToEmpty(parentFd, entry) : openFolder(parentFd, entry.name.constData());
    if (!frame.fd)
        return errno;
    if (const int error = MountCheck::status(frame.fd.get(), "", frame.status))
        return error;
    // Mounted there since it was looked at.
    if (refuseMount && mounts_.isMountRoot(parentFd, parentStatus, entry.name.constData(), frame.status))
        return EBUSY;
    if (statxIdentity(frame.status) != identityOf(entry.st))
        return ESTALE;
    if (access_ == Access::Emptying)
        return makeEmptiable(frame.fd.get(), frame.status.stx_mode);
    return 0;
}

int TreeVisitor::open()
{
    struct statx parentStatus, topStatus;
    if (const int error = MountCheck::status(parent_, "", parentStatus))
        return error;
    if (const int error = MountCheck::status(parent_, name_.constData(), topStatus))
        return error;
    if (statxIdentity(topStatus) != top_)
        return ESTALE;
    topMountRoot_ = mounts_.isMountRoot(parent_, parentStatus, name_.constData(), topStatus);
    const TreeEntry top{parent_, -1, name_, statOf(topStatus), 0, topMountRoot_};
    Frame frame;
    // A mount's own folder is never given other bits, nor emptied.
    if (const int error = openFrame(parent_, parentStatus, top, access_ == Access::Emptying, frame))
        return error;
    stack_.clear();
    stack_.push_back(std::move(frame));
    return 0;
}

int TreeVisitor::enter(const TreeEntry& entry, const std::function<int()>& makePeer)
{
    const Frame& parent = stack_.back();
    Frame frame;
    if (const int error = openFrame(parent.fd.get(), parent.status, entry, true, frame))
        return error;
    if (makePeer) {
        if (const int error = makePeer())
            return error;
        frame.peer = openFolder(entry.peer, entry.name.constData());
        struct stat st;
        if (!frame.peer || ::fstat(frame.peer.get(), &st) != 0)
            return errno;
        frame.peerId = identityOf(st);
    }
    if (const int error = listNames(frame.fd.get(), frame.names))
        return error;
    push(std::move(frame));
    return 0;
}

void TreeVisitor::push(Frame frame)
{
    stack_.push_back(std::move(frame));
    if (stack_.size() - firstOpen_ > kOpenFolders) {
        stack_[firstOpen_].fd.reset();
        stack_[firstOpen_].peer.reset();
        ++firstOpen_;
    }
}

// Opens a closed frame again through ".." of the frame below it, and checks that it found the
// folder it left: one moved meanwhile stops the visit rather than lead it elsewhere.
int TreeVisitor::reopen(size_t index)
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
    if (::fstat(frame.fd.get(), &st) != 0 || identityOf(st) != statxIdentity(frame.status))
        return ESTALE;
    if (frame.peer && (::fstat(frame.peer.get(), &st) != 0 || identityOf(st) != frame.peerId))
        return ESTALE;
    firstOpen_ = index;
    return 0;
}

// The next entry of a folder, with its status and whether a mount begins there; false for one
// that has gone since the folder was listed.
bool TreeVisitor::readEntry(const Frame& frame, TreeEntry& entry)
{
    entry.folder = frame.fd.get();
    entry.peer = frame.peer.get();
    struct statx status;
    if (const int error = MountCheck::status(entry.folder, entry.name.constData(), status)) {
        entry.statError = error;
        return error != ENOENT;
    }
    entry.st = statOf(status);
    entry.mountRoot = mounts_.isMountRoot(entry.folder, frame.status, entry.name.constData(), status);
    return true;
}

void TreeVisitor::stop(int error)
{
    if (!error_)
        error_ = error;
}

int TreeVisitor::run(const Visit& visit, int parentPeer, Fd topPeer, EntryIdentity topPeerId)
{
    if (stack_.empty())
        return EBADF; // not opened
    Frame& top = stack_.front();
    top.peer = std::move(topPeer);
    top.peerId = topPeerId;
    if (const int error = listNames(top.fd.get(), top.names))
        stop(error);
    while (!stack_.empty()) {
        if (!error_ && progress_ && progress_->cancelled())
            stop(ECANCELED);
        Frame& frame = stack_.back();
        if (!error_ && frame.next < frame.names.size()) {
            TreeEntry entry;
            entry.name = frame.names[frame.next++];
            if (!readEntry(frame, entry))
                continue;
            if (const int error = visit.entry(entry)) // may enter a folder: frame is stale from here
                stop(error);
            continue;
        }
        const bool isTop = stack_.size() == 1;
        if (!isTop) {
            if (const int error = reopen(stack_.size() - 2)) {
                stop(error);
                break;
            }
        }
        const Frame* parent = isTop ? nullptr : &stack_[stack_.size() - 2];
        const TreeFolderDone done{parent ? parent->fd.get() : parent_, parent ? parent->peer.get() : parentPeer,
                                  frame.name, frame.peer.get(), error_ != 0};
        if (const int error = visit.folderDone(done))
            stop(error);
        stack_.pop_back();
    }
    return error_;
}

QByteArray TreeVisitor::pathOf(const QByteArray& name) const
{
    QByteArray path;
    for (const Frame& frame : stack_)
        path = path.isEmpty() ? frame.name : joinPath(path, frame.name);
    return name.isEmpty() ? path : joinPath(path, name);
}

} // namespace platform
