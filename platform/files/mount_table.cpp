#include "platform/files/mount_table.h"

#include "platform/files/file_name_text.h"

#include <QFile>

#include <algorithm>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace platform {
namespace {

// mountinfo writes blanks, tabs, newlines and backslashes in paths as three octal digits.
QByteArray unescapeMountField(QByteArrayView field)
{
    QByteArray out;
    out.reserve(field.size());
    auto octal = [](char c) { return c >= '0' && c <= '7'; };
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && octal(field[i + 1]) && octal(field[i + 2])
            && octal(field[i + 3])) {
            out += char(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) | (field[i + 3] - '0'));
            i += 3;
            continue;
        }
        out += field[i];
    }
    return out;
}

bool isNetworkType(QByteArrayView type)
{
    static const QByteArrayView network[] = {
        "nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "afs", "ceph", "glusterfs", "9p", "davfs", "sshfs",
    };
    return std::find(std::begin(network), std::end(network), type) != std::end(network);
}

bool isExcludedVolumeType(QByteArrayView type)
{
    static const QByteArrayView excluded[] = {
        // optical media and read-only images
        "iso9660", "udf", "squashfs",
        // in memory
        "tmpfs", "ramfs", "zram", "overlay",
    };
    if (type.startsWith("fuse."))
        return true; // fuse mounts that are not block devices (sshfs, rclone, gvfs, ...)
    return std::find(std::begin(excluded), std::end(excluded), type) != std::end(excluded) || isNetworkType(type)
        || isVirtualFileSystemType(type);
}

} // namespace

bool isVirtualFileSystemType(QByteArrayView type)
{
    static const QByteArrayView kinds[] = {
        "proc", "sysfs", "devtmpfs", "devpts", "cgroup", "cgroup2", "debugfs", "tracefs",
        "securityfs", "pstore", "bpf", "configfs", "mqueue", "hugetlbfs", "fusectl",
        "binfmt_misc", "autofs", "efivarfs", "rpc_pipefs", "nsfs",
    };
    return std::find(std::begin(kinds), std::end(kinds), type) != std::end(kinds);
}

bool listsTrueInodes(QByteArrayView type)
{
    static const QByteArrayView kinds[] = {"ext2", "ext3", "ext4", "xfs", "btrfs", "tmpfs", "f2fs"};
    return std::find(std::begin(kinds), std::end(kinds), type) != std::end(kinds);
}

bool fillsWholeListingBuffer(QByteArrayView type)
{
    return type == "ext4" || type == "tmpfs";
}

bool isLocalFileSystem(const MountEntry& mount)
{
    if (mount.type.startsWith("fuse") || isNetworkType(mount.type))
        return false;
    return mount.source.startsWith("/dev/") || mount.type == "zfs" || mount.type == "tmpfs" || mount.type == "ramfs";
}

std::vector<MountEntry> parseMountInfo(QByteArrayView text)
{
    std::vector<MountEntry> mounts;
    for (QByteArrayView line : QByteArray(text.data(), text.size()).split('\n')) {
        // id parent major:minor root mount-point options [optional fields...] - type source super-options
        const QList<QByteArray> fields = QByteArray(line.data(), line.size()).split(' ');
        const qsizetype dash = fields.indexOf("-");
        if (fields.size() < 6 || dash < 6 || dash + 2 >= fields.size())
            continue;
        const QList<QByteArray> numbers = fields[2].split(':');
        bool majorOk = false, minorOk = false;
        if (numbers.size() != 2)
            continue;
        const unsigned major = numbers[0].toUInt(&majorOk);
        const unsigned minor = numbers[1].toUInt(&minorOk);
        if (!majorOk || !minorOk)
            continue;
        MountEntry entry;
        entry.device = makedev(major, minor);
        entry.root = unescapeMountField(fields[3]);
        entry.mountPoint = unescapeMountField(fields[4]);
        entry.type = fields[dash + 1];
        entry.source = unescapeMountField(fields[dash + 2]);
        mounts.push_back(std::move(entry));
    }
    return mounts;
}

QByteArray readMountInfo()
{
    QFile file(QStringLiteral("/proc/self/mountinfo"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll(); // size() is 0 for proc files, so read to the end
}

namespace {

// Whether another mount of the same device shows the folder that this one binds.
bool showsElsewhere(const MountEntry& bind, const std::vector<MountEntry>& mounts)
{
    for (const MountEntry& other : mounts) {
        if (&other == &bind || other.device != bind.device)
            continue;
        if (other.root == "/" || bind.root == other.root || bind.root.startsWith(other.root + '/'))
            return true;
    }
    return false;
}

// Paths compare folder by folder: "/data/archive" comes before "/data-old".
QByteArray pathOrderKey(QByteArray path)
{
    return path.replace('/', '\0');
}

} // namespace

QList<QByteArray> listedVolumes(const std::vector<MountEntry>& mounts,
                          const std::function<bool(const QByteArray&)>& isFolder)
{
    std::vector<QByteArray> others;
    for (const MountEntry& m : mounts) {
        if (m.mountPoint == "/")
            continue;
        const bool blockDevice = m.source.startsWith("/dev/") || m.type == "zfs";
        if (!blockDevice || isExcludedVolumeType(m.type))
            continue;
        // A bind mount of part of a volume that is listed already; a subvolume mounted on its
        // own (btrfs "/@home") is a volume of its own.
        if (m.root != "/" && showsElsewhere(m, mounts))
            continue;
        if (isFolder && !isFolder(m.mountPoint))
            continue;
        if (std::find(others.begin(), others.end(), m.mountPoint) == others.end())
            others.push_back(m.mountPoint);
    }
    std::sort(others.begin(), others.end(),
              [](const QByteArray& a, const QByteArray& b) { return pathOrderKey(a) < pathOrderKey(b); });
    QList<QByteArray> volumes{"/"};
    for (const QByteArray& path : others)
        volumes << path;
    return volumes;
}

QList<QByteArray> listMachineVolumes()
{
    return listedVolumes(parseMountInfo(readMountInfo()), [](const QByteArray& path) {
        struct stat st;
        return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
    });
}

} // namespace platform
