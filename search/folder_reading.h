#pragma once

#include "platform/entry_identity.h"

#include <QByteArray>
#include <QByteArrayView>

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

// One folder's entries, handed out a chunk at a time in listing order.
class FolderReading {
public:
    virtual ~FolderReading() = default;
    // The next chunk, valid until the next call; nothing at the end of the folder.
    virtual const EntryChunk* next() = 0;
    virtual uint64_t volume() const = 0; // of the listed folder
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
};

// Reads each folder on the caller's thread when its turn comes.
std::unique_ptr<FolderSource> makeDirectSource(platform::FileSystem& fileSystem, const EntryFilter& filter);

} // namespace search
