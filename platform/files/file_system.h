#pragma once

#include "platform/files/entry_identity.h"
#include "platform/files/paths.h"

#include <QByteArray>
#include <QByteArrayView>

#include <atomic>
#include <chrono>
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

    // Moves to the next entry; false at the end, or when the listing cannot go on (error() tells).
    virtual bool next() = 0;
    // The current entry's name; valid until the next call of next().
    virtual QByteArrayView name() const = 0;
    // What FileSystem::attributes() would answer for folder + "/" + name(), and the entry's
    // length, without a second lookup by path where the listing already knows. The read-only bit
    // is left out: the walk never asks for it, and it would cost a call per entry.
    virtual std::optional<uint32_t> attributes() = 0;
    virtual std::optional<int64_t> length() = 0;
    // The entry's modification time in seconds since the epoch: read with length() where that
    // was asked, else by a lookup of the time alone.
    virtual std::optional<int64_t> modified() = 0;
    // The entry's volume and inode, as the same lookup as length() reads them.
    virtual std::optional<EntryIdentity> identity() = 0;
    // What the entry, a folder, will show as its identity once opened: the listing's own inode
    // number where the file system keeps it true, else the entry's identity(). A mount point
    // shows the folder below the mount here; opened, it shows the mounted volume.
    virtual std::optional<EntryIdentity> folderIdentity() { return identity(); }
    // The folder's own inode as the "." of its listing shows it, where that is sure to be what
    // its parent's listing showed of it (the file system keeps listed inodes true, and no other
    // volume can begin with the same number); nothing where not, or where the listing's first
    // read did not hold it. Makes that first read where next() has not yet.
    virtual std::optional<uint64_t> ownInode() { return std::nullopt; }
    // Why the listing ended before its last entry (an errno), or 0.
    virtual int error() const { return 0; }
};

// What the kernel says of a folder once it is open.
struct FolderStatus {
    EntryIdentity identity;
    bool mountRoot = false; // a mount begins here: another volume, or a bind mount of the same one
};

// A folder held open, so that the folders below it are opened from it instead of by a path from
// the top, which a link put in place of a folder since could lead anywhere.
class OpenFolder {
public:
    virtual ~OpenFolder() = default;
    // Its volume and inode as opened, and whether a mount begins there: a system call the first
    // time, so asked only where its listing's ownInode() does not already tell. Nothing where
    // the kernel would not say.
    virtual std::optional<FolderStatus> status() = 0;
    // Its entries, hidden ones included, from the start. One listing per opening; it may be read
    // on another thread than the one that opened the folder. Once cancelled is set, the listing
    // may end early.
    virtual std::unique_ptr<FolderListing> list(const std::atomic<bool>* cancelled = nullptr) = 0;
};

// An opening: the folder, or the errno of why it could not be opened (ENOENT, ENOTDIR and ELOOP
// where nothing is there or something else is, EACCES or EIO where it could not be read).
struct OpenedFolder {
    std::shared_ptr<OpenFolder> folder;
    int error = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // A folder by its full path; the empty path is the root "/". Where followLink is set, the
    // last component may be a link to a folder (a location the user typed).
    virtual OpenedFolder openFolder(const QByteArray& path, bool followLink) = 0;
    // A folder below an open one, by the names between them ("a/b/c"), never through a link.
    // Safe to call from several threads at once.
    virtual OpenedFolder openBelow(const OpenFolder& from, QByteArrayView names) = 0;
    // Whether a volume holds a virtual kernel file system (proc, sysfs, ...), never walked.
    virtual bool isVirtualVolume(uint64_t volume) = 0;
    // Whether listings of the volume come from this machine's own disks or memory, as opposed to
    // a network or a program (FUSE), whose listings may wait without end.
    virtual bool listsLocally(uint64_t) { return false; }
    // What this process has used so far: the bytes it had read from the disks, past the cache,
    // and its processor time, all its threads together (where the system tells). Nothing where
    // the system tells neither. One look, cheap enough to take every few milliseconds.
    struct ProcessUsage {
        uint64_t bytesFromDisks = 0;
        std::optional<std::chrono::nanoseconds> processorTime;
    };
    virtual std::optional<ProcessUsage> processUsage() { return std::nullopt; }

    // The name of the first entry matching a path pattern, or the empty text. The last
    // component may hold "*" and "?"; a path ending in "/" stands for the entries inside that
    // folder ("." among them); the empty path stands for the current folder.
    virtual QByteArray firstMatch(const QByteArray& pattern) = 0;

    // Attribute bits of the entry itself (a symbolic link is never a directory); nothing when the
    // path cannot be resolved.
    virtual std::optional<uint32_t> attributes(const QByteArray& path) = 0;
    // Whether the entry is a symbolic link that leads to a folder.
    virtual bool isLinkToFolder(const QByteArray& path) = 0;
};

} // namespace platform
