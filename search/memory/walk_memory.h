#pragma once

#include "search/memory/folder_records.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace search {

// How much the memory may hold before it forgets the locations searched least recently.
struct MemoryBound {
    size_t entries = 4'000'000;
    size_t bytes = size_t(256) << 20;
    size_t locations = 1024;
};

// A location as remembered: the root a walk began at, and how its last walk ended.
struct MemoryLocation {
    uint64_t id = 0;
    QByteArray rootPath;     // as the walk was given it; "" is "/"
    bool mayBeLink = false;  // typed as a link to a folder, searched where it leads
    bool complete = false;   // its last walk ended by itself, not by a stop nor at the bound
    bool recording = false;
    uint64_t lastUsed = 0;   // larger: searched more recently
    uint32_t root = MemoryFolder::kNone;
};

// What the walks listed, remembered: every entry of every folder they listed, accepted or not,
// so that a search can answer from it at once and the live walk then confirm it.
//
// The folders form one forest (folder_records.h): a folder has one record, whichever walks
// listed it, and each new listing of it replaces the last, so the newest listing of a folder is
// the one remembered. A location is where a walk began; its root may lie inside another
// location's tree, and a walk beginning above a remembered location takes that location's tree
// in as it reaches it. Paths are bytes, compared component by component; only absolute paths
// are remembered ("" is the root "/", as the walk names it).
//
// Recording, on the walk's thread, in the walk's order (the answers' order follows it):
//   location = beginLocation(root, mayBeLink);
//   root = beginRoot(location, identity);   addEntry(...) for every entry;   endFolder(state);
//   for each queued folder in turn, with the index addEntry gave its entry in its parent:
//   folder = beginFolder(parent, index, identity);   addEntry(...)...;   endFolder(state);
//   passOver(parent, index) for a queued folder the walk does not enter (another volume);
//   endLocation(location, complete);
// A folder found gone (or another entry in its place) ends FolderState::Gone, one that could not
// be read, in full or in part, Unreadable; the folder being listed at a stop ends Stopped.
// One folder is recorded at a time: beginning another ends the last as stopped. A handle that is
// no longer current (its folder was listed again or forgotten since) records nothing:
// beginFolder then gives an invalid handle, and the entries added up to endFolder are dropped.
//
// An entry costs 8 bytes beside its name's bytes, 24 where the walk read its length and time
// (remembered_listing.h), and a folder about 110 (its record, its place in the identity index,
// its link in its parent's listing): in folders of 20 entries, 15 to 31 bytes an entry beside the
// names (bench/memory_bench.cpp measures 31 for a million entries that all have length and time).
// Beyond the bound, the locations searched least recently are forgotten, never the one being
// recorded; where that is not enough, the walk's further folders are not recorded and its
// location ends incomplete.
//
// Answering: find(path) gives the remembered folder, touch() marks its location searched, and a
// MemoryAnswer (memory_answer.h) gives the entries below it that a request accepts, in the
// walk's order. Confirming: as the live walk lists a folder again, folderBeingRecorded() shows
// what the folder held before, and the answer finds the hits it gave for that folder by path or
// by identity (MemoryAnswer::folderAt, folderWith).
//
// Not thread-safe: one thread owns a memory (a memory read from the cache file on another
// thread is moved to it); answers may use more threads inside one call (memory_answer.h).
class WalkMemory {
public:
    explicit WalkMemory(MemoryBound bound = {});
    WalkMemory(WalkMemory&&) noexcept;
    WalkMemory& operator=(WalkMemory&&) noexcept;
    ~WalkMemory();

    // Recording. beginLocation gives 0 for a path that is not absolute, and recording then
    // goes nowhere.
    uint64_t beginLocation(QByteArrayView rootPath, bool mayBeLink);
    MemoryFolder beginRoot(uint64_t location, const platform::EntryIdentity& identity);
    MemoryFolder beginFolder(MemoryFolder parent, uint32_t entry, const platform::EntryIdentity& identity);
    // Appends an entry of the folder begun last; its index in that folder's listing.
    uint32_t addEntry(QByteArrayView name, const EntryTraits& traits, std::optional<int64_t> length = std::nullopt,
                      std::optional<int64_t> modified = std::nullopt);
    void endFolder(FolderState state);
    // A queued folder the walk did not enter: answers leave it out, its remembered listing stays.
    void passOver(MemoryFolder parent, uint32_t entry);
    void endLocation(uint64_t location, bool complete);

    // The remembered folder at a path: a location's root or a folder below one, the newest
    // listing where several are remembered; nothing for a folder found gone.
    std::optional<RememberedFolder> find(QByteArrayView path) const;
    // The folder last listed with this identity. An inode may be taken again by another folder
    // since: compare the path too.
    MemoryFolder folderWith(const platform::EntryIdentity& identity) const;
    // A folder's listing, identity and place; nothing once the handle is not current, nor while
    // the folder is being recorded.
    const FolderRecord* folder(MemoryFolder folder) const;
    // The folder a queued entry of a folder leads to, where one is remembered.
    MemoryFolder childOf(MemoryFolder parent, uint32_t entry) const;
    // The folder being recorded, with the listing it had before, which its new one replaces at
    // endFolder: what the live walk confirms or replaces as it lists the folder.
    const FolderRecord* folderBeingRecorded() const;
    // A location was searched now: it is forgotten last.
    void touch(uint64_t location);

    // Tells one state of the memory from every other, of this memory or another: what was made
    // from the memory at one value (an answer's order of folders) holds while it stays.
    uint64_t changes() const { return changes_; }

    size_t entries() const { return records_.entries(); }
    size_t bytes() const;      // in use, which the bound weighs
    size_t heldBytes() const;  // with the blocks kept free for the listings that follow
    const MemoryBound& bound() const { return bound_; }
    const std::vector<MemoryLocation>& locations() const { return locations_; }
    const FolderRecords& records() const { return records_; }

    // For the cache file's reader, which checks the forest's rules before anything is added.
    FolderRecords& recordsForReading()
    {
        changed();
        return records_;
    }
    void addLocationForReading(MemoryLocation location);

private:
    void changed();
    MemoryLocation* locationWithId(uint64_t id);
    // The record a path leads to from a location's root, or none.
    uint32_t descend(const MemoryLocation& location, QByteArrayView path) const;
    // A new location's root takes its place in the listing of the folder above it, if remembered.
    void linkBelowParentPath(uint32_t index, QByteArrayView path);
    MemoryFolder startFolder(uint32_t index, const platform::EntryIdentity& identity);
    // Forgets locations searched least recently until the memory is within its bound; whether it is.
    bool makeRoom();
    void forget(size_t location);
    // Links the location roots without a parent that the new listing of a record leads to.
    void adoptRootsBelow(uint32_t index);
    QByteArray pathOf(uint32_t index) const;

    MemoryBound bound_;
    FolderRecords records_;
    std::vector<MemoryLocation> locations_;
    uint64_t clock_ = 0;
    uint64_t lastLocationId_ = 0;
    uint64_t changes_ = 0;

    // The folder being recorded.
    ListingBuilder builder_;
    uint32_t open_ = MemoryFolder::kNone;
    platform::EntryIdentity openIdentity_;
    bool truncated_ = false; // the bound turned a folder of the location being recorded away
};

} // namespace search
