#pragma once

#include "platform/files/entry_identity.h"
#include "search/walk/folder_reading.h"

#include <QByteArray>
#include <QVarLengthArray>

#include <list>
#include <memory>
#include <optional>
#include <vector>

namespace platform {
class OpenFolder;
}

namespace search {

// One folder met by the walk, or by a worker reading ahead of it: where it is (its parent and
// its name there), what its parent's listing showed, and what has been read of it. The fields
// under "guarded" belong to the read-ahead's mutex; the others are set before the slot is shared.
struct FolderSlot {
    enum class State : uint8_t { Waiting, Reading, Read };

    FolderSlot() = default;
    FolderSlot(const FolderSlot&) = delete;
    FolderSlot& operator=(const FolderSlot&) = delete;
    ~FolderSlot();

    // A slot for the same folder, nothing of it read.
    std::shared_ptr<FolderSlot> fresh() const;

    std::shared_ptr<FolderSlot> parent; // nothing for a root
    QByteArray rootPath;                // a root's full path
    bool followLink = false;            // a root the user typed may be a link to a folder
    bool sameVolumeOnly = false;
    std::optional<platform::EntryIdentity> expected; // what the parent's listing showed

    // guarded
    QByteArray name; // in its parent; a rename from the window changes it
    State state = State::Waiting;
    bool dropped = false;     // nobody will take it: it is read no further, and what was read goes
    bool countedAhead = false; // read before its turn, counted against the folders-ahead bound
    FolderOutcome outcome = FolderOutcome::Listed;
    uint64_t readEpoch = 0;           // the count of disk changes when its reading began
    platform::EntryIdentity identity; // as opened
    // Read, not yet handed to the walk; rarely more than one, so that one costs no allocation.
    QVarLengthArray<EntryChunk, 1> chunks;
    size_t entriesWaiting = 0;        // in those chunks
    bool stepping = false;            // a thread is reading it now, not holding it back
    std::shared_ptr<platform::OpenFolder> open; // kept for the folders below it while cached
    size_t foldersToOpen = 0; // listed in it and not yet opened from it: at none, it closes
    bool inCache = false; // idle and open, in the cache's order of use
    std::list<std::shared_ptr<FolderSlot>>::iterator cached;

    // The walk's own, on its thread only.
    bool queued = false; // in the walk's queue: dropping the folder it was listed in leaves it
};

} // namespace search
