// The volume list of an all-volumes search, read from mount tables given as text.
#include "platform/files/mount_table.h"
#include "tests/support/qt_printers.h"

#include <gtest/gtest.h>

#include <sys/sysmacros.h>

namespace {

using platform::listedVolumes;
using platform::parseMountInfo;

// One mountinfo line: id, parent, device, root, mount point, options, optional fields, "-",
// type, source, super options.
QByteArray line(const char* device, const char* root, const char* mountPoint, const char* type,
                 const char* source)
{
    return QByteArray("36 25 ") + device + ' ' + root + ' ' + mountPoint + " rw,relatime shared:1 - " + type
        + ' ' + source + " rw\n";
}

TEST(MountTable, ParsesFieldsAndUnescapesBlanks)
{
    const QByteArray text = line("8:17", "/", "/media/u/MY\\040STICK", "vfat", "/dev/sdb1")
        + "not a mount line\n"
        + "24 1 0:22 / /proc rw - proc proc rw\n"
        + "\n";
    const auto mounts = parseMountInfo(text);
    ASSERT_EQ(mounts.size(), 2u);
    EXPECT_EQ(mounts[0].device, makedev(8, 17));
    EXPECT_EQ(mounts[0].root, "/");
    EXPECT_EQ(mounts[0].mountPoint, "/media/u/MY STICK");
    EXPECT_EQ(mounts[0].type, "vfat");
    EXPECT_EQ(mounts[0].source, "/dev/sdb1");
    EXPECT_EQ(mounts[1].mountPoint, "/proc");
    EXPECT_EQ(mounts[1].type, "proc");
    EXPECT_EQ(listedVolumes(mounts), (QList<QByteArray>{"/", "/media/u/MY STICK"}));
}

TEST(MountTable, FixedRootAndStickAreListedButNotTheOpticalDrive)
{
    const QByteArray text = line("8:1", "/", "/", "ext4", "/dev/sda1")
        + line("0:5", "/", "/proc", "proc", "proc") + line("0:6", "/", "/sys", "sysfs", "sysfs")
        + line("11:0", "/", "/media/u/CDROM", "iso9660", "/dev/sr0")
        + line("8:17", "/", "/media/u/STICK", "vfat", "/dev/sdb1");
    EXPECT_EQ(listedVolumes(parseMountInfo(text)), (QList<QByteArray>{"/", "/media/u/STICK"}));
}

TEST(MountTable, RootComesFirstWhateverItIsThenBlockDevicesInPathOrder)
{
    const QByteArray text = line("8:17", "/", "/srv/data", "xfs", "/dev/sdb1")
        + line("0:40", "/", "/", "overlay", "overlay")
        + line("8:1", "/", "/boot", "ext4", "/dev/sda1")
        + line("8:2", "/", "/home", "btrfs", "/dev/sda2")
        + line("8:2", "/home/u/share", "/srv/bind", "btrfs", "/dev/sda2") // bind mount
        + line("0:50", "/", "/net/nfs", "nfs4", "server:/export")
        + line("0:51", "/", "/net/smb", "cifs", "//server/share")
        + line("0:52", "/", "/net/ssh", "fuse.sshfs", "u@host:")
        + line("0:53", "/", "/run", "tmpfs", "tmpfs")
        + line("0:54", "/", "/sys/fs/cgroup", "cgroup2", "cgroup2")
        + line("7:0", "/", "/snap/core/1", "squashfs", "/dev/loop0")
        + line("8:33", "/", "/media/u/NTFS", "fuseblk", "/dev/sdc1");
    EXPECT_EQ(listedVolumes(parseMountInfo(text)),
              (QList<QByteArray>{"/", "/boot", "/home", "/media/u/NTFS", "/srv/data"}));
    EXPECT_EQ(listedVolumes({}), QList<QByteArray>{"/"});
}

TEST(MountTable, SubvolumesMountedOnTheirOwnAreVolumesButBoundFilesAreNot)
{
    const QByteArray text = line("0:33", "/@", "/", "btrfs", "/dev/nvme0n1p2")
        + line("0:33", "/@home", "/home", "btrfs", "/dev/nvme0n1p2")
        + line("0:33", "/@/srv/www", "/var/www", "btrfs", "/dev/nvme0n1p2") // inside "/@"
        + line("254:0", "/var/lib/ct/hosts", "/etc/hosts", "ext4", "/dev/vda")
        + line("0:60", "/", "/tank/media", "zfs", "tank/media")
        + line("8:1", "/", "/data-old", "ext4", "/dev/sda1")
        + line("8:2", "/", "/data/archive", "ext4", "/dev/sda2")
        + line("8:3", "/", "/data", "ext4", "/dev/sda3");
    const auto mounts = parseMountInfo(text);
    const auto isFolder = [](const QByteArray& path) { return path != "/etc/hosts"; };
    EXPECT_EQ(listedVolumes(mounts, isFolder),
              (QList<QByteArray>{"/", "/data", "/data/archive", "/data-old", "/home", "/tank/media"}));
}

TEST(MountTable, VirtualKernelFileSystemsAreKnownByType)
{
    for (const char* type : {"proc", "sysfs", "devtmpfs", "devpts", "cgroup", "cgroup2", "debugfs", "tracefs",
                             "securityfs", "pstore", "bpf", "configfs", "mqueue", "hugetlbfs", "fusectl",
                             "binfmt_misc", "autofs"})
        EXPECT_TRUE(platform::isVirtualFileSystemType(type)) << type;
    for (const char* type : {"ext4", "vfat", "btrfs", "xfs", "tmpfs", "nfs", "overlay", ""})
        EXPECT_FALSE(platform::isVirtualFileSystemType(type)) << type;
}

} // namespace
