#pragma once

#include "search/memory/entry_traits.h"
#include "search/memory/listing_arena.h"

#include <QByteArrayView>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace search {

// The place of an entry's name in its listing's bytes, with its traits in the top byte.
struct EntryHead {
    uint32_t nameOffset = 0;
    uint32_t lengthAndFlags = 0; // name length below bit 24, flags above

    static constexpr uint32_t kMaxNameLength = (1u << 24) - 1;
    enum Flag : uint32_t {
        Queued = 1u << 24,
        Directory = 1u << 25,
        AttributesRead = 1u << 26,
        Hidden = 1u << 27,
        HasLength = 1u << 28,
        HasModified = 1u << 29,
        Passed = 1u << 30, // queued, but the walk did not enter it (another volume)
    };
    static constexpr uint32_t kKnownFlags =
        Queued | Directory | AttributesRead | Hidden | HasLength | HasModified | Passed;

    uint32_t nameLength() const { return lengthAndFlags & kMaxNameLength; }
    bool has(Flag flag) const { return lengthAndFlags & flag; }
    EntryTraits traits() const { return {has(Queued), has(Directory), has(AttributesRead), has(Hidden)}; }
    static uint32_t flagsOf(const EntryTraits& traits)
    {
        return (traits.queued ? Queued : 0u) | (traits.isDirectory ? Directory : 0u)
            | (traits.attributesRead ? AttributesRead : 0u) | (traits.hidden ? Hidden : 0u);
    }
};

// A queued entry of a listing and the record of the folder it leads to.
struct QueuedEntry {
    uint32_t entry = 0;
    uint32_t child = MemoryFolder::kNone;
};

// An entry's length and time, where a listing keeps them for a few of its entries only.
struct EntryExtras {
    uint32_t entry = 0;
    int64_t length = 0, modified = 0;
};

// One folder's remembered entries in listing order, in a single allocation: each entry's head
// (8 bytes), each queued entry's link to its folder (8), the names' bytes, and the lengths and
// times the walk read: 16 bytes for every entry where most have them, else 24 for each that has.
// So an entry costs 8 bytes and its name where the walk read nothing more of it (a search for a
// rare name), 24 where it read its length and time (every entry a row). The block is the arena's:
// whoever holds the listing gives it back there (release) before letting it go.
class RememberedListing {
public:
    static constexpr uint32_t kNoChild = MemoryFolder::kNone;

    RememberedListing() = default;
    RememberedListing(RememberedListing&& other) noexcept { *this = std::move(other); }
    RememberedListing& operator=(RememberedListing&& other) noexcept
    {
        data_ = std::exchange(other.data_, nullptr);
        count_ = std::exchange(other.count_, 0);
        nameBytes_ = std::exchange(other.nameBytes_, 0);
        queued_ = std::exchange(other.queued_, 0);
        extras_ = std::exchange(other.extras_, 0);
        return *this;
    }

    void release(ListingArena& arena)
    {
        arena.release(data_, allocatedBytes());
        *this = RememberedListing();
    }

    uint32_t size() const { return count_; }
    uint32_t nameBytes() const { return nameBytes_; }
    // Every entry's name, one after another.
    QByteArrayView allNames() const { return {names(), qsizetype(nameBytes_)}; }
    size_t allocatedBytes() const { return namesAt() + nameBytes_; }

    const EntryHead& head(uint32_t i) const { return heads()[i]; }
    QByteArrayView name(uint32_t i) const { return {names() + heads()[i].nameOffset, heads()[i].nameLength()}; }
    EntryTraits traits(uint32_t i) const { return heads()[i].traits(); }
    std::optional<int64_t> length(uint32_t i) const;
    std::optional<int64_t> modified(uint32_t i) const;

    // The queued entries in listing order, with the folders they lead to.
    std::span<const QueuedEntry> queued() const { return {queuedLinks(), queued_}; }
    uint32_t child(uint32_t entry) const;
    void setChild(uint32_t entry, uint32_t record); // the entry is a queued one
    void setPassed(uint32_t i) { heads()[i].lengthAndFlags |= EntryHead::Passed; }
    // The queued entry of that name, or nothing.
    std::optional<uint32_t> findQueued(QByteArrayView name) const;

private:
    friend class ListingBuilder;
    bool dense() const { return extras_ == count_; }
    size_t extrasBytes() const { return dense() ? size_t(count_) * 16 : size_t(extras_) * sizeof(EntryExtras); }
    size_t headsAt() const { return extrasBytes(); }
    size_t queuedAt() const { return headsAt() + size_t(count_) * sizeof(EntryHead); }
    size_t namesAt() const { return queuedAt() + size_t(queued_) * sizeof(QueuedEntry); }
    int64_t* denseExtras() const { return reinterpret_cast<int64_t*>(data_); } // lengths, then times
    EntryExtras* sparseExtras() const { return reinterpret_cast<EntryExtras*>(data_); }
    const EntryExtras* extrasOf(uint32_t entry) const;
    EntryHead* heads() const { return reinterpret_cast<EntryHead*>(data_ + headsAt()); }
    QueuedEntry* queuedLinks() const { return reinterpret_cast<QueuedEntry*>(data_ + queuedAt()); }
    const char* names() const { return reinterpret_cast<const char*>(data_ + namesAt()); }

    std::byte* data_ = nullptr;
    uint32_t count_ = 0, nameBytes_ = 0;
    uint32_t queued_ = 0;
    uint32_t extras_ = 0; // entries with a length or a time; all of them: kept densely
};

// The listing of the folder being recorded, in flat arrays that keep their room from one folder
// to the next, so that recording an entry allocates nothing once they have grown.
class ListingBuilder {
public:
    void clear();
    // Appends an entry; its index in the listing. A name beyond 16 MiB (no file system has one)
    // is cut there.
    uint32_t add(QByteArrayView name, const EntryTraits& traits, std::optional<int64_t> length,
                 std::optional<int64_t> modified);
    uint32_t size() const { return uint32_t(heads_.size()); }
    size_t capacityBytes() const
    {
        return heads_.capacity() * sizeof(EntryHead) + extras_.capacity() * sizeof(EntryExtras)
            + queued_.capacity() * sizeof(uint32_t) + names_.capacity();
    }
    // The listing in one block of the arena, leading to no folder yet.
    RememberedListing build(ListingArena& arena) const;

private:
    std::vector<EntryHead> heads_;
    std::vector<EntryExtras> extras_;
    std::vector<uint32_t> queued_;
    std::vector<char> names_;
};

} // namespace search
