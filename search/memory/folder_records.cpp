#include "search/memory/folder_records.h"

#include <atomic>

namespace search {
namespace {

// An entry of the identity index and its share of the buckets, about.
constexpr size_t kIdentityEntryBytes = 40;

// Finds the new listing's entries that old sub-folders continue in: by their place first (a
// listing read again mostly keeps its order), else by name.
class QueuedNames {
public:
    explicit QueuedNames(const RememberedListing& listing) : listing_(listing) {}

    std::optional<uint32_t> find(QByteArrayView name, uint32_t oldIndex)
    {
        for (const uint32_t guess : {next_, oldIndex})
            if (guess < listing_.size() && fits(guess, name))
                return found(guess);
        if (listing_.queued().size() <= 16) {
            for (const QueuedEntry& q : listing_.queued())
                if (fits(q.entry, name))
                    return found(q.entry);
            return std::nullopt;
        }
        if (byName_.isEmpty())
            for (const QueuedEntry& q : listing_.queued())
                byName_.insert(listing_.name(q.entry), q.entry);
        const auto it = byName_.constFind(name);
        if (it == byName_.cend() || !fits(*it, name))
            return std::nullopt;
        return found(*it);
    }

private:
    bool fits(uint32_t i, QByteArrayView name) const
    {
        return listing_.head(i).has(EntryHead::Queued) && listing_.name(i) == name
            && listing_.child(i) == RememberedListing::kNoChild;
    }
    uint32_t found(uint32_t i)
    {
        next_ = i + 1;
        return i;
    }

    const RememberedListing& listing_;
    uint32_t next_ = 0;
    QHash<QByteArrayView, uint32_t> byName_;
};

} // namespace

uint64_t FolderRecords::nextSerial()
{
    static std::atomic<uint64_t> last{0};
    return last.fetch_add(1, std::memory_order_relaxed) + 1;
}

uint32_t FolderRecords::allocate()
{
    uint32_t index;
    if (!free_.empty()) {
        index = free_.back();
        free_.pop_back();
    } else {
        index = uint32_t(records_.size());
        records_.emplace_back();
    }
    records_[index].serial = nextSerial();
    return index;
}

const FolderRecord* FolderRecords::current(MemoryFolder folder) const
{
    if (folder.index >= records_.size() || folder.serial == 0 || records_[folder.index].serial != folder.serial)
        return nullptr;
    return &records_[folder.index];
}

void FolderRecords::link(uint32_t child, uint32_t parent, uint32_t entry)
{
    records_[child].parent = parent;
    records_[child].entryInParent = entry;
    records_[parent].listing.setChild(entry, child);
}

void FolderRecords::unlink(uint32_t child)
{
    FolderRecord& record = records_[child];
    if (record.parent == MemoryFolder::kNone)
        return;
    RememberedListing& above = records_[record.parent].listing;
    if (record.entryInParent < above.size() && above.child(record.entryInParent) == child)
        above.setChild(record.entryInParent, RememberedListing::kNoChild);
    record.parent = MemoryFolder::kNone;
}

void FolderRecords::release(uint32_t index)
{
    std::vector<uint32_t> pending{index};
    while (!pending.empty()) {
        const uint32_t at = pending.back();
        pending.pop_back();
        unlink(at);
        FolderRecord& record = records_[at];
        if (record.locationRoots > 0)
            continue;
        for (const QueuedEntry& q : record.listing.queued()) {
            const uint32_t child = q.child;
            if (child != RememberedListing::kNoChild && records_[child].parent == at) {
                records_[child].parent = MemoryFolder::kNone; // its parent's listing goes with it
                pending.push_back(child);
            }
        }
        forgetIdentity(at);
        entries_ -= record.listing.size();
        record.listing.release(arena_);
        record = FolderRecord{};
        free_.push_back(at);
    }
}

bool FolderRecords::isAncestorOrSelf(uint32_t ancestor, uint32_t index) const
{
    for (uint32_t at = index; at != MemoryFolder::kNone; at = records_[at].parent)
        if (at == ancestor)
            return true;
    return false;
}

void FolderRecords::install(uint32_t index, RememberedListing listing, const platform::EntryIdentity& identity,
                            FolderState state)
{
    FolderRecord& record = records_[index];
    const bool sameFolder = record.identity == identity;
    RememberedListing old = std::move(record.listing);
    std::vector<uint32_t> orphans;
    QueuedNames names(listing);
    for (const QueuedEntry& q : old.queued()) {
        const uint32_t child = q.child;
        if (child == RememberedListing::kNoChild || records_[child].parent != index)
            continue;
        const std::optional<uint32_t> at = sameFolder ? names.find(old.name(q.entry), q.entry) : std::nullopt;
        if (at) {
            listing.setChild(*at, child);
            records_[child].entryInParent = *at;
        } else {
            records_[child].parent = MemoryFolder::kNone;
            orphans.push_back(child);
        }
    }
    entries_ += listing.size();
    entries_ -= old.size();
    old.release(arena_);
    if (!sameFolder)
        forgetIdentity(index);
    record.listing = std::move(listing);
    record.identity = identity;
    record.state = state;
    if (identity.known())
        byIdentity_.insert({identity.device, identity.inode}, index);
    for (const uint32_t orphan : orphans)
        release(orphan);
}

uint32_t FolderRecords::withIdentity(const platform::EntryIdentity& identity) const
{
    return byIdentity_.value({identity.device, identity.inode}, MemoryFolder::kNone);
}

void FolderRecords::forgetIdentity(uint32_t index)
{
    const platform::EntryIdentity& identity = records_[index].identity;
    const auto it = byIdentity_.find({identity.device, identity.inode});
    if (it != byIdentity_.end() && *it == index)
        byIdentity_.erase(it);
}

size_t FolderRecords::bytes() const
{
    return arena_.liveBytes() + records_.capacity() * sizeof(FolderRecord) + free_.capacity() * sizeof(uint32_t)
        + size_t(byIdentity_.size()) * kIdentityEntryBytes;
}

size_t FolderRecords::heldBytes() const
{
    return bytes() - arena_.liveBytes() + arena_.heldBytes();
}

} // namespace search
