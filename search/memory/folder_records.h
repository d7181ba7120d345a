#pragma once

#include "search/memory/remembered_listing.h"

#include <QByteArrayView>
#include <QHash>

#include <cstdint>
#include <utility>
#include <vector>

namespace search {

// One remembered folder: its last listing, its identity then, and its place in the tree.
struct FolderRecord {
    RememberedListing listing;
    platform::EntryIdentity identity;
    uint64_t serial = 0; // 0: a free record
    uint32_t parent = MemoryFolder::kNone;
    uint32_t entryInParent = 0; // the entry of the parent's listing that leads here
    FolderState state = FolderState::Listed;
    uint16_t locationRoots = 0; // the locations that start here; a record without parent has one

    bool isFree() const { return serial == 0; }
};

// The remembered folders as a forest: each record has at most one parent, whose listing's entry
// leads back to it, and every record without a parent is the root of a location. Records keep
// their numbers while they live, so the walk and the answers can hold them; freed ones are
// taken again for new folders, under a new serial.
class FolderRecords {
public:
    // A new serial for a record that is made or listed again; never 0, never given twice in a
    // process, so a handle from one memory never matches a record of another.
    static uint64_t nextSerial();

    uint32_t allocate();
    FolderRecord& operator[](uint32_t index) { return records_[index]; }
    const FolderRecord& operator[](uint32_t index) const { return records_[index]; }
    uint32_t capacity() const { return uint32_t(records_.size()); }

    MemoryFolder handle(uint32_t index) const { return {index, records_[index].serial}; }
    // The record a handle names, while it is still the listing the handle was given for.
    const FolderRecord* current(MemoryFolder folder) const;

    // Makes child the folder that the parent's entry leads to.
    void link(uint32_t child, uint32_t parent, uint32_t entry);
    // The child cut loose from its parent's listing.
    void unlink(uint32_t child);
    // Forgets a record and everything below it. A location's root met on the way (the record
    // itself included) is only cut loose from its parent, with what lies below it.
    void release(uint32_t index);
    bool isAncestorOrSelf(uint32_t ancestor, uint32_t index) const;

    // A new listing for a record. Sub-folders of the old listing that the new one still queues
    // under the same name stay linked, unless the folder's identity changed; the others go.
    void install(uint32_t index, RememberedListing listing, const platform::EntryIdentity& identity, FolderState state);

    // The record last listed with this identity, or none.
    uint32_t withIdentity(const platform::EntryIdentity& identity) const;

    ListingArena& arena() { return arena_; }
    size_t entries() const { return entries_; }
    // What the records, their listings and the identity index hold, about: in use, and with the
    // arena's free blocks.
    size_t bytes() const;
    size_t heldBytes() const;

private:
    void forgetIdentity(uint32_t index);

    ListingArena arena_;
    std::vector<FolderRecord> records_;
    std::vector<uint32_t> free_;
    QHash<std::pair<uint64_t, uint64_t>, uint32_t> byIdentity_; // (volume, inode)
    size_t entries_ = 0;
};

} // namespace search
