#pragma once

#include "platform/entry_identity.h"
#include "platform/paths.h"

#include <QByteArray>
#include <QByteArrayView>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

namespace platform {

// One folder's listing. Each fetch yields one bare name in the order the file system reports
// them; "." and ".." may be among them. A listing keeps its own position, so another listing can
// be opened and run while this one waits, and this one then goes on where it stopped.
class FolderListing {
public:
    virtual ~FolderListing() = default;

    // Moves to the next entry; false at the end, or when the listing cannot go on.
    virtual bool next() = 0;
    // The current entry's name; valid until the next call of next().
    virtual QByteArrayView name() const = 0;
    // What attributes() and fileLength() would answer for folder + "/" + name(), without a
    // second lookup by path where the listing already knows. The read-only bit is left out:
    // the walk never asks for it, and it would cost a call per entry.
    virtual std::optional<uint32_t> attributes() = 0;
    virtual std::optional<int64_t> length() = 0;
    // The entry's volume and inode, as the same lookup as length() reads them.
    virtual std::optional<EntryIdentity> identity() = 0;
    // The volume (device) that holds the listed folder.
    virtual uint64_t volume() const = 0;
    // The listed folder's own volume and inode; unknown where the file system does not tell.
    virtual EntryIdentity folderIdentity() const { return {}; }
};

// Where a walk may go: a folder on a virtual kernel file system is never listed, and a walk
// that keeps to one volume refuses folders on any other.
struct ListingBounds {
    uint64_t parentVolume = 0; // 0 for a root: nothing to compare with
    bool sameVolumeOnly = false;
    bool followLink = false; // the folder itself may be a link to a folder (a root the user typed)
    // Once set, the listing may end early: its reader has been cancelled.
    const std::atomic<bool>* cancelled = nullptr;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Lists every entry of a folder, hidden ones included. The empty path is the root "/".
    // Returns nothing when the folder cannot be listed or lies out of bounds. Safe to call from
    // several threads at once, with one listing per thread.
    virtual std::unique_ptr<FolderListing> listFolder(const QByteArray& folderPath,
                                                      const ListingBounds& bounds) = 0;

    // The name of the first entry matching a path pattern, or the empty text. The last
    // component may hold "*" and "?"; a path ending in "/" stands for the entries inside that
    // folder ("." among them); the empty path stands for the current folder.
    virtual QByteArray firstMatch(const QByteArray& pattern) = 0;

    // Attribute bits of the entry itself (a symbolic link is never a directory); nothing when the
    // path cannot be resolved.
    virtual std::optional<uint32_t> attributes(const QByteArray& path) = 0;
    virtual std::optional<int64_t> fileLength(const QByteArray& path) = 0;
    // Whether the entry is a symbolic link that leads to a folder.
    virtual bool isLinkToFolder(const QByteArray& path) = 0;
};

} // namespace platform
