#pragma once

#include "platform/files/file_system.h"

#include <mutex>
#include <unordered_map>

namespace platform {

// The file system of this machine, on the POSIX directory calls. Symbolic links are never
// followed: a link is an entry of its own and never a folder.
class PosixFileSystem : public FileSystem {
public:
    OpenedFolder openFolder(const QByteArray& path, bool followLink) override;
    OpenedFolder openBelow(const OpenFolder& from, QByteArrayView names) override;
    bool isVirtualVolume(uint64_t volume) override;
    std::optional<uint64_t> bytesReadFromDisks() override;
    QByteArray firstMatch(const QByteArray& pattern) override;
    std::optional<uint32_t> attributes(const QByteArray& path) override;
    bool isLinkToFolder(const QByteArray& path) override;

private:
    struct VolumeKind {
        bool isVirtual = false;
        bool listsTrueInodes = false;
    };
    // Read from the mount table when a device is first met.
    VolumeKind volumeKind(uint64_t device);
    OpenedFolder opened(int fd, const VolumeKind* sameVolumeAs, uint64_t volume);

    std::unordered_map<uint64_t, VolumeKind> volumeKinds_;
    std::mutex volumeKindsMutex_;
};

} // namespace platform
