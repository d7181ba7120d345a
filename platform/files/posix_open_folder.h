#pragma once

// A folder held open and its listing, on the POSIX directory calls: what PosixFileSystem hands
// the walk for every folder, so each is made to cost the system calls of a listing and no more.
#include "platform/files/file_descriptor.h"
#include "platform/files/posix_file_system.h"

#include <memory>
#include <optional>

namespace platform {

class PosixOpenFolder : public OpenFolder, public std::enable_shared_from_this<PosixOpenFolder> {
public:
    // volume: the one it was opened on as far as known (its parent's; 0 for a path), until
    // status() finds it on another, whose kind it then asks the file system for.
    PosixOpenFolder(Fd fd, uint64_t volume, VolumeKind kind, PosixFileSystem& fileSystem)
        : fd_(std::move(fd)), volume_(volume), kind_(kind), fileSystem_(fileSystem)
    {
    }

    std::optional<FolderStatus> status() override;
    std::unique_ptr<FolderListing> list(const std::atomic<bool>* cancelled) override;

    int fd() const { return fd_.get(); }
    uint64_t volume() const { return volume_; }
    const VolumeKind& kind() const { return kind_; }

private:
    Fd fd_;
    uint64_t volume_;
    VolumeKind kind_;
    PosixFileSystem& fileSystem_;
    std::optional<FolderStatus> status_;
};

} // namespace platform
