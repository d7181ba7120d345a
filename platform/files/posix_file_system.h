#pragma once

#include "platform/files/file_system.h"

#include <mutex>
#include <unordered_map>

namespace platform {

// What the mount table says of a volume, looked up when its device is first met.
struct VolumeKind {
    bool isVirtual = false;
    bool listsTrueInodes = false; // a listing's inode numbers are those that opening shows
    bool local = false;           // a disk or memory of this machine, not a network or FUSE
    // The inode every sub-volume of this kind begins with, so that a listing's "." cannot tell
    // one from the folder its parent listed (btrfs: 256); 0 where there is none.
    uint64_t subvolumeRoot = 0;
    // A listing call fills the buffer as far as the folder goes: one that left room for any
    // entry has met the end, and no call is made to be told so.
    bool fillsWholeBuffer = false;
};

// The file system of this machine, on the POSIX directory calls. Symbolic links are never
// followed: a link is an entry of its own and never a folder.
class PosixFileSystem : public FileSystem {
public:
    OpenedFolder openFolder(const QByteArray& path, bool followLink) override;
    OpenedFolder openBelow(const OpenFolder& from, QByteArrayView names) override;
    bool isVirtualVolume(uint64_t volume) override;
    bool listsLocally(uint64_t volume) override;
    std::optional<ProcessUsage> processUsage() override;
    QByteArray firstMatch(const QByteArray& pattern) override;
    std::optional<uint32_t> attributes(const QByteArray& path) override;
    bool isLinkToFolder(const QByteArray& path) override;

    // Read from the mount table when a device is first met.
    VolumeKind volumeKind(uint64_t device);

private:
    std::unordered_map<uint64_t, VolumeKind> volumeKinds_;
    std::mutex volumeKindsMutex_;
};

} // namespace platform
