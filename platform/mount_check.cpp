#include "platform/mount_check.h"

#include "platform/mount_table.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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
    return parentSt.st_dev != folderSt.st_dev || listedInMountTable(folderFd);
}

// The folder's path, as the kernel names the descriptor, among the table's mount points.
bool MountCheck::listedInMountTable(int folderFd)
{
    if (!tableRead_) {
        for (const MountEntry& mount : parseMountInfo(readMountInfo()))
            mountPoints_.push_back(mount.mountPoint);
        std::sort(mountPoints_.begin(), mountPoints_.end());
        tableRead_ = true;
    }
    QByteArray path(PATH_MAX, '\0');
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(folderFd);
    const ssize_t n = ::readlink(link.constData(), path.data(), size_t(path.size()));
    if (n <= 0 || n >= path.size())
        return true; // no path to look up: a mount is not ruled out
    path.truncate(n);
    return std::binary_search(mountPoints_.begin(), mountPoints_.end(), path);
}

} // namespace platform
