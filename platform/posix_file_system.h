#pragma once

#include "platform/file_system.h"

#include <mutex>
#include <unordered_map>

namespace platform {

// The file system of this machine, on the POSIX directory calls. Symbolic links are never
// followed: a link is an entry of its own and never a folder.
class PosixFileSystem : public FileSystem {
public:
    std::unique_ptr<FolderListing> listFolder(const QByteArray& folderPath,
                                              const ListingBounds& bounds) override;
    QByteArray firstMatch(const QByteArray& pattern) override;
    std::optional<uint32_t> attributes(const QByteArray& path) override;
    std::optional<int64_t> fileLength(const QByteArray& path) override;
    bool isLinkToFolder(const QByteArray& path) override;

private:
    bool isVirtualVolume(uint64_t device);

    // Whether a device holds a virtual file system, read from the mount table when the device is
    // first met.
    std::unordered_map<uint64_t, bool> virtualByDevice_;
    std::mutex virtualByDeviceMutex_;
};

} // namespace platform
