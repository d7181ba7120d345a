#pragma once

#include "platform/entry_identity.h"

#include <QByteArray>
#include <QByteArrayView>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace platform {
class FileSystem;
}

namespace search {

class EntryFilter;
struct QueuedFolder;

// One directory entry as the walk needs it, already judged by the request's tests. What only a
// row needs (length, identity) is read only for the entries that become rows.
struct ListedEntry {
    enum class Kind : uint8_t { Dot, File, Folder }; // Folder: queued, a directory or unreadable
    Kind kind = Kind::File;
    bool isDirectory = false; // a folder whose attributes could be read; its icon says so
    bool accepted = false;
    uint32_t nameOffset = 0, nameLength = 0; // into the chunk's names
    std::optional<int64_t> length;           // accepted files only
    std::optional<platform::EntryIdentity> identity; // accepted entries only
};

// A run of one folder's entries in listing order, their names in one buffer.
struct EntryChunk {
    std::vector<ListedEntry> entries;
    QByteArray names;

    QByteArrayView name(const ListedEntry& e) const { return QByteArrayView(names).sliced(e.nameOffset, e.nameLength); }
    void clear()
    {
        entries.clear();
        names.clear();
    }
};

enum class ChunkStatus { Ready, NotYet, End };

// One folder's entries, handed out a chunk at a time in listing order.
class FolderReading {
public:
    virtual ~FolderReading() = default;
    // The next chunk, valid until the next call; NotYet while it is still being read elsewhere.
    virtual ChunkStatus next(const EntryChunk*& chunk) = 0;
    // Waits a while at the most for the next chunk, so the window gets its turn while the disk
    // answers.
    virtual void wait(std::chrono::nanoseconds) {}
    virtual uint64_t volume() const = 0; // of the listed folder, once a chunk was ready
    virtual platform::EntryIdentity folderIdentity() const { return {}; } // likewise
};

// Where the walk gets its folders' entries. The walk tells it each folder it queues, so that a
// source may read ahead, and where an action changed the disk, so that nothing read before the
// change is reported after it.
class FolderSource {
public:
    virtual ~FolderSource() = default;
    virtual void folderQueued(const QueuedFolder&) {}
    // The folder's turn has come; nothing when it cannot be listed.
    virtual std::unique_ptr<FolderReading> read(const QueuedFolder& folder) = 0;
    virtual void diskChanged(QByteArrayView) {}
    // A stop or a close: nothing more will be read; returns once all reading has ended.
    virtual void cancel() {}
    virtual int threads() const { return 0; } // started to read ahead, for the statistics
};

struct ReadAheadPolicy;

// Reads each folder on the caller's thread when its turn comes.
std::unique_ptr<FolderSource> makeDirectSource(platform::FileSystem& fileSystem, const EntryFilter& filter);
// Reads every folder on worker threads, the queued ones ahead of their turn within the policy's
// bounds; one read before the disk changed there is read again at its turn.
std::unique_ptr<FolderSource> makeReadAheadSource(platform::FileSystem& fileSystem, const EntryFilter& filter,
                                                  const ReadAheadPolicy& policy);

} // namespace search
