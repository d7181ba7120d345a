#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

namespace platform {

struct MountEntry {
    uint64_t device = 0;   // as stat() reports it for files on this mount
    QByteArray root;       // the part of the file system mounted here; "/" unless a bind mount
    QByteArray mountPoint;
    QByteArray type;
    QByteArray source;
};

// Parses the text of /proc/self/mountinfo; lines that cannot be read are left out.
std::vector<MountEntry> parseMountInfo(QByteArrayView text);
QByteArray readMountInfo();

// Kernel file systems that hold no user files; a walk never enters them.
bool isVirtualFileSystemType(QByteArrayView type);

// File systems whose listings give every entry the inode number that opening it shows. Others
// (FAT, FUSE, overlays of several volumes) may number a listing's entries apart.
bool listsTrueInodes(QByteArrayView type);

// File systems whose listing call stops short of a full buffer only at a folder's end (read in
// their kernel code: ext4's and tmpfs's listings run until the buffer is full or the folder ends).
bool fillsWholeListingBuffer(QByteArrayView type);

// Whether a mount's listings come from this machine's own disks or memory (a block device, zfs,
// tmpfs), as opposed to a network or a program (FUSE), whose listings may wait without end.
bool isLocalFileSystem(const MountEntry& mount);

// The mount points, as bytes, of the local volumes a search of every volume covers, the counterpart of fixed and removable
// drives: "/" first, whatever it is mounted from, then block-device file systems in path order,
// folder by folder. Network file systems, optical media, read-only images, virtual file systems
// and bind mounts of what another mount already shows are left out; so are mount points that
// isFolder refuses (a file bound over a file), when it is given.
QList<QByteArray> listedVolumes(const std::vector<MountEntry>& mounts,
                          const std::function<bool(const QByteArray&)>& isFolder = {});

// The volumes of this machine, from its own mount table.
QList<QByteArray> listMachineVolumes();

} // namespace platform
