#include "search/memory/remembered_listing.h"

#include <algorithm>
#include <cstring>

namespace search {

const EntryExtras* RememberedListing::extrasOf(uint32_t entry) const
{
    const EntryExtras* first = sparseExtras();
    const EntryExtras* last = first + extras_;
    const EntryExtras* at =
        std::lower_bound(first, last, entry, [](const EntryExtras& e, uint32_t wanted) { return e.entry < wanted; });
    return at != last && at->entry == entry ? at : nullptr;
}

std::optional<int64_t> RememberedListing::length(uint32_t i) const
{
    if (!head(i).has(EntryHead::HasLength))
        return std::nullopt;
    return dense() ? denseExtras()[i] : extrasOf(i)->length;
}

std::optional<int64_t> RememberedListing::modified(uint32_t i) const
{
    if (!head(i).has(EntryHead::HasModified))
        return std::nullopt;
    return dense() ? denseExtras()[count_ + i] : extrasOf(i)->modified;
}

uint32_t RememberedListing::child(uint32_t entry) const
{
    const std::span<const QueuedEntry> links = queued();
    const auto at = std::lower_bound(links.begin(), links.end(), entry,
                                     [](const QueuedEntry& q, uint32_t wanted) { return q.entry < wanted; });
    return at != links.end() && at->entry == entry ? at->child : kNoChild;
}

void RememberedListing::setChild(uint32_t entry, uint32_t record)
{
    QueuedEntry* first = queuedLinks();
    QueuedEntry* at = std::lower_bound(first, first + queued_, entry,
                                       [](const QueuedEntry& q, uint32_t wanted) { return q.entry < wanted; });
    if (at != first + queued_ && at->entry == entry)
        at->child = record;
}

std::optional<uint32_t> RememberedListing::findQueued(QByteArrayView name) const
{
    for (const QueuedEntry& q : queued())
        if (this->name(q.entry) == name)
            return q.entry;
    return std::nullopt;
}

void ListingBuilder::clear()
{
    heads_.clear();
    extras_.clear();
    queued_.clear();
    names_.clear();
}

uint32_t ListingBuilder::add(QByteArrayView name, const EntryTraits& traits, std::optional<int64_t> length,
                             std::optional<int64_t> modified)
{
    const auto index = uint32_t(heads_.size());
    const uint32_t nameLength = uint32_t(std::min<qsizetype>(name.size(), EntryHead::kMaxNameLength));
    EntryHead head;
    head.nameOffset = uint32_t(names_.size());
    head.lengthAndFlags = nameLength | EntryHead::flagsOf(traits) | (length ? EntryHead::HasLength : 0u)
        | (modified ? EntryHead::HasModified : 0u);
    heads_.push_back(head);
    names_.insert(names_.end(), name.data(), name.data() + nameLength);
    if (length || modified)
        extras_.push_back({index, length.value_or(0), modified.value_or(0)});
    if (traits.queued)
        queued_.push_back(index);
    return index;
}

RememberedListing ListingBuilder::build(ListingArena& arena) const
{
    RememberedListing listing;
    listing.count_ = size();
    listing.nameBytes_ = uint32_t(names_.size());
    listing.queued_ = uint32_t(queued_.size());
    // Kept for every entry where that takes less room than for those that have them.
    const bool dense = extras_.size() * sizeof(EntryExtras) > size_t(listing.count_) * 16;
    listing.extras_ = dense ? listing.count_ : uint32_t(extras_.size());
    if (listing.allocatedBytes() == 0)
        return listing;
    listing.data_ = arena.allocate(listing.allocatedBytes());
    if (dense) {
        std::fill_n(listing.denseExtras(), 2 * size_t(listing.count_), 0);
        for (const EntryExtras& e : extras_) {
            listing.denseExtras()[e.entry] = e.length;
            listing.denseExtras()[listing.count_ + e.entry] = e.modified;
        }
    } else {
        std::copy(extras_.begin(), extras_.end(), listing.sparseExtras());
    }
    std::copy(heads_.begin(), heads_.end(), listing.heads());
    std::transform(queued_.begin(), queued_.end(), listing.queuedLinks(),
                   [](uint32_t entry) { return QueuedEntry{entry, RememberedListing::kNoChild}; });
    if (!names_.empty())
        std::memcpy(const_cast<char*>(listing.names()), names_.data(), names_.size());
    return listing;
}

} // namespace search
