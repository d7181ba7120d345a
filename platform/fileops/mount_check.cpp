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

bool kernelReportsMountIds()
{
    struct statx root;
    return MountCheck::status(AT_FDCWD, "/", root) == 0 && (root.stx_mask & STATX_MNT_ID);
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

int MountCheck::status(int folderFd, const char* name, struct statx& out)
{
    const int flags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | (*name ? 0 : AT_EMPTY_PATH);
    return ::statx(folderFd, name, flags, STATX_BASIC_STATS | STATX_MNT_ID, &out) == 0 ? 0 : errno;
}

bool MountCheck::isMountRoot(int folderFd, const struct statx& folder, const char* name, const struct statx& entry)
{
    if (source_ == Source::Kernel) {
        if (entry.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT)
            return entry.stx_attributes & STATX_ATTR_MOUNT_ROOT;
        return !(folder.stx_mask & STATX_MNT_ID) || !(entry.stx_mask & STATX_MNT_ID)
            || folder.stx_mnt_id != entry.stx_mnt_id;
    }
    if (folder.stx_dev_major != entry.stx_dev_major || folder.stx_dev_minor != entry.stx_dev_minor)
        return true;
    const std::optional<QByteArray> path = pathOf(folderFd);
    return !path || listedInMountTable(joinPath(*path, name));
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
