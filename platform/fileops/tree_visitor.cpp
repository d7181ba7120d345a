#include "platform/fileops/tree_visitor.h"

#include "platform/fileops/operation_progress.h"
#include "platform/files/open_beneath.h"
#include "platform/files/paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace platform {
namespace {

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

// Gives a folder about to be emptied, whose mode is mode, the user's write and search bits, where
// the user lacks them.
int makeEmptiable(int folderFd, mode_t mode)
{
    if (::faccessat(folderFd, ".", W_OK | X_OK, AT_EACCESS) == 0 || errno != EACCES)
        return 0;
    return ::fchmod(folderFd, (mode | S_IRWXU) & 07777) != 0 ? errno : 0;
}

} // namespace

Fd openParent(int childFd)
{
    Fd up(::openat(childFd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!up && errno == EACCES)
        up.reset(::openat(childFd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
    return up;
}

TreeVisitor::TreeVisitor(int parent, const QByteArray& name, const struct statx& top, Access access,
                         MountCheck& mounts, OperationProgress* progress)
    : parent_(parent), name_(name), top_(identityOf(top)), access_(access), mounts_(mounts), progress_(progress)
{
}

// A folder of a tree to empty, given the user's read and search bits first where it cannot be read.
Fd TreeVisitor::openToEmpty(int parentFd, const TreeEntry& entry)
{
    Fd folder(openBeneath(parentFd, entry.name));
    if (folder || errno != EACCES || !S_ISDIR(entry.st.stx_mode))
        return folder;
    if (::fchmodat(parentFd, entry.name.constData(), (entry.st.stx_mode | S_IRWXU) & 07777, AT_SYMLINK_NOFOLLOW) != 0)
        return Fd();
    return Fd(openBeneath(parentFd, entry.name));
}

// Opens the folder of an entry, which must still be the entry that was looked at.
int TreeVisitor::openFrame(int parentFd, const struct statx& parentStatus, const TreeEntry& entry, bool refuseMount,
                           Frame& frame)
{
    if (refuseMount && entry.mountRoot)
        return EBUSY;
    frame.name = entry.name;
    frame.fd = access_ == Access::Emptying ? openToEmpty(parentFd, entry) : Fd(openBeneath(parentFd, entry.name));
    if (!frame.fd)
        return errno;
    if (const int error = MountCheck::status(frame.fd.get(), "", frame.status))
        return error;
    // Mounted there since it was looked at.
    if (refuseMount && mounts_.isMountRoot(parentFd, parentStatus, entry.name.constData(), frame.status))
        return EBUSY;
    if (identityOf(frame.status) != identityOf(entry.st))
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
    if (identityOf(topStatus) != top_)
        return ESTALE;
    topMountRoot_ = mounts_.isMountRoot(parent_, parentStatus, name_.constData(), topStatus);
    const TreeEntry top{parent_, name_, topStatus, 0, topMountRoot_};
    Frame frame;
    // A mount's own folder is never given other bits, nor emptied.
    if (const int error = openFrame(parent_, parentStatus, top, access_ == Access::Emptying, frame))
        return error;
    stack_.clear();
    stack_.push_back(std::move(frame));
    return 0;
}

int TreeVisitor::enter(const TreeEntry& entry, const std::function<int()>& prepare)
{
    const Frame& parent = stack_.back();
    Frame frame;
    if (const int error = openFrame(parent.fd.get(), parent.status, entry, true, frame))
        return error;
    if (prepare) {
        if (const int error = prepare())
            return error;
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
    struct statx now;
    if (MountCheck::status(frame.fd.get(), "", now) != 0 || identityOf(now) != identityOf(frame.status))
        return ESTALE;
    firstOpen_ = index;
    return 0;
}

// The next entry of a folder, with its status and whether a mount begins there; false for one
// that has gone since the folder was listed.
bool TreeVisitor::readEntry(const Frame& frame, TreeEntry& entry)
{
    entry.folder = frame.fd.get();
    if (const int error = MountCheck::status(entry.folder, entry.name.constData(), entry.st)) {
        entry.statError = error;
        return error != ENOENT;
    }
    entry.mountRoot = mounts_.isMountRoot(entry.folder, frame.status, entry.name.constData(), entry.st);
    return true;
}

void TreeVisitor::stop(int error)
{
    if (!error_)
        error_ = error;
}

int TreeVisitor::run(const Visit& visit)
{
    if (stack_.empty())
        return EBADF; // not opened
    Frame& top = stack_.front();
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
        const TreeFolderDone done{parent ? parent->fd.get() : parent_, frame.name, error_ != 0};
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
