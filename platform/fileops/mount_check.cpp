#include "platform/fileops/mount_check.h"

#include "platform/files/mount_table.h"
#include "platform/files/paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <optional>

namespace platform {
namespace {

std::optional<uint64_t> mountId(int fd)
{
    struct statx stx;
    if (::statx(fd, "", AT_EMPTY_PATH | AT_NO_AUTOMOUNT, STATX_MNT_ID, &stx) != 0 || !(stx.stx_mask & STATX_MNT_ID))
        return std::nullopt;
    return stx.stx_mnt_id;
}

bool kernelReportsMountIds()
{
    const int root = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    const bool reported = root >= 0 && mountId(root).has_value();
    if (root >= 0)
        ::close(root);
    return reported;
}

// The path the kernel knows a descriptor by; nothing where it cannot tell.
std::optional<QByteArray> pathOf(int fd)
{
    QByteArray path(PATH_MAX, '\0');
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(fd);
    const ssize_t n = ::readlink(link.constData(), path.data(), size_t(path.size()));
    if (n <= 0 || n >= path.size() || path[0] != '/')
        return std::nullopt;
    path.truncate(n);
    return path;
}

} // namespace

MountCheck::MountCheck() : source_(kernelReportsMountIds() ? Source::Kernel : Source::MountTable) {}

bool MountCheck::isMountRoot(int parentFd, int folderFd)
{
    if (source_ == Source::Kernel) {
        const std::optional<uint64_t> parent = mountId(parentFd), folder = mountId(folderFd);
        return !parent || !folder || *parent != *folder;
    }
    struct stat parentSt, folderSt;
    if (::fstat(parentFd, &parentSt) != 0 || ::fstat(folderFd, &folderSt) != 0)
        return true;
    if (parentSt.st_dev != folderSt.st_dev)
        return true;
    const std::optional<QByteArray> path = pathOf(folderFd);
    return !path || listedInMountTable(*path);
}

bool MountCheck::isMountRoot(int folderFd, const char* name)
{
    if (source_ == Source::Kernel) {
        struct statx stx;
        if (::statx(folderFd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_MNT_ID, &stx) != 0)
            return errno != ENOENT;
        if (stx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT)
            return stx.stx_attributes & STATX_ATTR_MOUNT_ROOT;
        const std::optional<uint64_t> folder = mountId(folderFd);
        return !folder || !(stx.stx_mask & STATX_MNT_ID) || stx.stx_mnt_id != *folder;
    }
    struct stat folderSt, entrySt;
    if (::fstatat(folderFd, name, &entrySt, AT_SYMLINK_NOFOLLOW) != 0)
        return errno != ENOENT;
    if (::fstat(folderFd, &folderSt) != 0 || folderSt.st_dev != entrySt.st_dev)
        return true;
    const std::optional<QByteArray> folder = pathOf(folderFd);
    return !folder || listedInMountTable(joinPath(*folder, name));
}

bool MountCheck::holdsMount(int folderFd)
{
    const std::optional<QByteArray> folder = pathOf(folderFd);
    if (!folder)
        return true;
    readTable();
    for (auto it = std::lower_bound(mountPoints_.begin(), mountPoints_.end(), *folder);
         it != mountPoints_.end() && it->startsWith(*folder); ++it)
        if (isSameOrBelow(*it, *folder))
            return true;
    return false;
}

void MountCheck::readTable()
{
    if (tableRead_)
        return;
    for (const MountEntry& mount : parseMountInfo(readMountInfo()))
        mountPoints_.push_back(mount.mountPoint);
    std::sort(mountPoints_.begin(), mountPoints_.end());
    tableRead_ = true;
}

bool MountCheck::listedInMountTable(const QByteArray& path)
{
    readTable();
    return std::binary_search(mountPoints_.begin(), mountPoints_.end(), path);
}

} // namespace platform
