#pragma once

#include "platform/files/entry_identity.h"

#include <QByteArray>
#include <QByteArrayView>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace search {

struct FolderSlot;
struct QueuedFolder;

// One directory entry as the walk needs it, already judged by the request's tests. What only a
// row needs (a file's length) is read only for the entries that become rows.
struct ListedEntry {
    enum class Kind : uint8_t { Dot, File, Folder }; // Folder: queued, a directory or unreadable
    Kind kind = Kind::File;
    bool isDirectory = false; // a folder whose attributes could be read; its icon says so
    bool accepted = false;
    bool hidden = false;      // the hidden or the system bit, for the walk's memory
    uint32_t nameOffset = 0, nameLength = 0; // into the chunk's names
    std::optional<int64_t> length;           // accepted files only
    std::optional<int64_t> modified;         // accepted entries only, seconds since the epoch
};

// A run of one folder's entries in listing order, their names in one buffer, and a slot for
// each of its folders, in the same order, so they can be read before the walk reaches them.
struct EntryChunk {
    std::vector<ListedEntry> entries;
    // A standard string, whose append of each name costs a fraction of a QByteArray's.
    std::string names;
    std::vector<std::shared_ptr<FolderSlot>> folders;

    QByteArrayView name(const ListedEntry& e) const { return QByteArrayView(names.data() + e.nameOffset, e.nameLength); }
};

enum class ChunkStatus { Ready, NotYet, End };

// How a folder's reading ended: listed to its end, or why it gave less.
enum class FolderOutcome : uint8_t {
    Listed,
    Gone,        // nothing there any more, or a link or a file in its place
    Swapped,     // another folder in its place since its parent was listed
    OutOfBounds, // a virtual kernel file system, or a mount where the walk keeps to one volume
    Unreadable,  // there, but it could not be read (permissions, a failing disk), in full or in part
};

// One folder's entries, handed out a chunk at a time in listing order.
class FolderReading {
public:
    virtual ~FolderReading() = default;
    // The next chunk, valid until the next call; NotYet while it is still being read elsewhere.
    virtual ChunkStatus next(const EntryChunk*& chunk) = 0;
    // Waits a while at the most for the next chunk, so the window gets its turn while the disk
    // answers.
    virtual void wait(std::chrono::nanoseconds) = 0;
    // A sub-folder of the chunk that the walk will not queue: what was read of it goes.
    virtual void skip(const std::shared_ptr<FolderSlot>& folder) = 0;
    virtual platform::EntryIdentity folderIdentity() const = 0; // once a chunk was ready
    virtual FolderOutcome outcome() const = 0;                  // once next() said End
};

// Where the walk gets its folders' entries. The walk tells it when an action changed the disk or
// renamed a folder, so that nothing read before the change is reported after it.
class FolderSource {
public:
    virtual ~FolderSource() = default;
    // The folder's turn has come. The source may put a fresh slot in the folder's place, where
    // what was read of it is out of date.
    virtual std::unique_ptr<FolderReading> read(QueuedFolder& folder) = 0;
    // An action changed the disk at this folder or below it: what was read there before is read
    // again at its turn.
    virtual void diskChanged(QByteArrayView folder) = 0;
    // A folder's slot takes its new name, so that the folders below it are found under it.
    // The change log follows the rename too; the slot is nothing where no folder met lies there.
    virtual void renamed(QByteArrayView from, QByteArrayView to, FolderSlot* slot) = 0;
    // A stop or a close: nothing more will be read. Returns at once; a worker still in a system
    // call ends after it without touching anything but what it shares with the source.
    virtual void cancel() = 0;
    virtual int threads() const = 0; // started to read ahead, for the statistics
};

} // namespace search
