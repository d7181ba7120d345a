#include "search/memory/walk_memory.h"

#include "search/memory/memory_paths.h"

#include "platform/files/paths.h"

#include <algorithm>
#include <atomic>

namespace search {
namespace {

// A folder of more entries than this gives its room back once recorded.
constexpr uint32_t kBuilderKeeps = 1 << 16;

} // namespace

WalkMemory::WalkMemory(MemoryBound bound) : bound_(bound) {}
WalkMemory::WalkMemory(WalkMemory&&) noexcept = default;
WalkMemory& WalkMemory::operator=(WalkMemory&&) noexcept = default;
WalkMemory::~WalkMemory() = default;

void WalkMemory::changed()
{
    static std::atomic<uint64_t> lastChange{0}; // memories read on another thread count too
    changes_ = ++lastChange;
}

uint64_t WalkMemory::beginLocation(QByteArrayView rootPath, bool mayBeLink)
{
    changed();
    if (open_ != MemoryFolder::kNone)
        endFolder(FolderState::Stopped);
    if (!isAbsolutePath(rootPath) || rootPath.contains('\0'))
        return 0;
    const auto same = std::find_if(locations_.begin(), locations_.end(), [&](const MemoryLocation& location) {
        return sameComponents(location.rootPath, rootPath);
    });
    MemoryLocation& location = same != locations_.end() ? *same : locations_.emplace_back();
    if (location.id == 0)
        location.id = ++lastLocationId_;
    location.rootPath = rootPath.toByteArray();
    location.mayBeLink = mayBeLink;
    location.complete = false;
    location.recording = true;
    location.lastUsed = ++clock_;
    truncated_ = false;
    return location.id;
}

MemoryFolder WalkMemory::beginRoot(uint64_t locationId, const platform::EntryIdentity& identity)
{
    changed();
    if (open_ != MemoryFolder::kNone)
        endFolder(FolderState::Stopped);
    if (!makeRoom()) {
        truncated_ = true;
        return {};
    }
    MemoryLocation* location = locationWithId(locationId);
    if (!location || !location->recording)
        return {};
    if (location->root == MemoryFolder::kNone) {
        uint32_t root = MemoryFolder::kNone;
        for (const MemoryLocation& other : locations_) {
            const uint32_t found = other.id == locationId ? MemoryFolder::kNone : descend(other, location->rootPath);
            if (found != MemoryFolder::kNone
                && (root == MemoryFolder::kNone || records_[found].serial > records_[root].serial))
                root = found;
        }
        if (root == MemoryFolder::kNone) {
            root = records_.allocate();
            linkBelowParentPath(root, location->rootPath);
        }
        location->root = root;
        ++records_[root].locationRoots;
    }
    return startFolder(location->root, identity);
}

void WalkMemory::linkBelowParentPath(uint32_t index, QByteArrayView path)
{
    const QByteArrayView name = lastPathComponent(path);
    if (name.isEmpty())
        return;
    const QByteArray above = platform::containingFolder(path);
    const std::optional<RememberedFolder> parent = find(above == "/" ? QByteArrayView("") : QByteArrayView(above));
    if (!parent || parent->folder.index == index)
        return;
    const RememberedListing& listing = records_[parent->folder.index].listing;
    const std::optional<uint32_t> entry = listing.findQueued(name);
    if (entry && listing.child(*entry) == RememberedListing::kNoChild)
        records_.link(index, parent->folder.index, *entry);
}

MemoryFolder WalkMemory::beginFolder(MemoryFolder parent, uint32_t entry, const platform::EntryIdentity& identity)
{
    changed();
    if (open_ != MemoryFolder::kNone)
        endFolder(FolderState::Stopped);
    if (!makeRoom()) {
        truncated_ = true;
        return {};
    }
    const FolderRecord* above = records_.current(parent);
    if (!above || entry >= above->listing.size() || !above->listing.head(entry).has(EntryHead::Queued))
        return {};
    uint32_t child = above->listing.child(entry);
    if (child == RememberedListing::kNoChild) {
        child = records_.allocate();
        records_.link(child, parent.index, entry);
    }
    return startFolder(child, identity);
}

MemoryFolder WalkMemory::startFolder(uint32_t index, const platform::EntryIdentity& identity)
{
    // The new serial makes what was answered from the last listing stale at once.
    records_[index].serial = FolderRecords::nextSerial();
    open_ = index;
    openIdentity_ = identity;
    return records_.handle(index);
}

uint32_t WalkMemory::addEntry(QByteArrayView name, const EntryTraits& traits, std::optional<int64_t> length,
                              std::optional<int64_t> modified)
{
    return builder_.add(name, traits, length, modified);
}

void WalkMemory::endFolder(FolderState state)
{
    changed();
    if (open_ != MemoryFolder::kNone) {
        const uint32_t index = std::exchange(open_, MemoryFolder::kNone);
        RememberedListing listing = state == FolderState::Gone ? RememberedListing() : builder_.build(records_.arena());
        records_.install(index, std::move(listing), openIdentity_, state);
        adoptRootsBelow(index);
        makeRoom();
    }
    if (builder_.size() > kBuilderKeeps)
        builder_ = {};
    builder_.clear();
}

void WalkMemory::passOver(MemoryFolder parent, uint32_t entry)
{
    changed();
    const FolderRecord* above = folder(parent);
    if (above && entry < above->listing.size())
        records_[parent.index].listing.setPassed(entry);
}

void WalkMemory::endLocation(uint64_t locationId, bool complete)
{
    changed();
    if (open_ != MemoryFolder::kNone)
        endFolder(FolderState::Stopped);
    const auto it = std::find_if(locations_.begin(), locations_.end(),
                                 [&](const MemoryLocation& location) { return location.id == locationId; });
    if (it == locations_.end())
        return;
    it->recording = false;
    it->complete = complete && !truncated_;
    if (it->root == MemoryFolder::kNone)
        locations_.erase(it);
}

std::optional<RememberedFolder> WalkMemory::find(QByteArrayView path) const
{
    if (!isAbsolutePath(path))
        return std::nullopt;
    const MemoryLocation* best = nullptr;
    uint32_t bestRecord = MemoryFolder::kNone;
    for (const MemoryLocation& location : locations_) {
        const uint32_t found = descend(location, path);
        if (found == MemoryFolder::kNone || records_[found].state == FolderState::Gone)
            continue;
        if (!best || records_[found].serial > records_[bestRecord].serial) {
            best = &location;
            bestRecord = found;
        }
    }
    if (!best)
        return std::nullopt;
    return RememberedFolder{records_.handle(bestRecord), best->id, best->complete, records_[bestRecord].state};
}

uint32_t WalkMemory::descend(const MemoryLocation& location, QByteArrayView path) const
{
    if (location.root == MemoryFolder::kNone)
        return MemoryFolder::kNone;
    const std::optional<QByteArrayView> rest = pathBelow(path, location.rootPath);
    if (!rest)
        return MemoryFolder::kNone;
    uint32_t at = location.root;
    PathComponents components(*rest);
    for (QByteArrayView name; components.next(name);) {
        const RememberedListing& listing = records_[at].listing;
        const std::optional<uint32_t> entry = listing.findQueued(name);
        if (!entry || listing.child(*entry) == RememberedListing::kNoChild)
            return MemoryFolder::kNone;
        at = listing.child(*entry);
    }
    return at;
}

MemoryFolder WalkMemory::folderWith(const platform::EntryIdentity& identity) const
{
    const uint32_t index = records_.withIdentity(identity);
    return index == MemoryFolder::kNone || index == open_ ? MemoryFolder{} : records_.handle(index);
}

const FolderRecord* WalkMemory::folder(MemoryFolder handle) const
{
    return handle.index == open_ ? nullptr : records_.current(handle);
}

MemoryFolder WalkMemory::childOf(MemoryFolder parent, uint32_t entry) const
{
    const FolderRecord* above = folder(parent);
    const uint32_t child = above && entry < above->listing.size() ? above->listing.child(entry) : MemoryFolder::kNone;
    return child == MemoryFolder::kNone ? MemoryFolder{} : records_.handle(child);
}

const FolderRecord* WalkMemory::folderBeingRecorded() const
{
    return open_ == MemoryFolder::kNone ? nullptr : &records_[open_];
}

void WalkMemory::touch(uint64_t locationId)
{
    if (MemoryLocation* location = locationWithId(locationId))
        location->lastUsed = ++clock_;
}

size_t WalkMemory::bytes() const
{
    return records_.bytes() + builder_.capacityBytes() + locations_.capacity() * sizeof(MemoryLocation);
}

size_t WalkMemory::heldBytes() const
{
    return bytes() - records_.bytes() + records_.heldBytes();
}

MemoryLocation* WalkMemory::locationWithId(uint64_t id)
{
    for (MemoryLocation& location : locations_)
        if (location.id == id)
            return &location;
    return nullptr;
}

bool WalkMemory::makeRoom()
{
    while (entries() > bound_.entries || bytes() > bound_.bytes || locations_.size() > bound_.locations) {
        size_t oldest = locations_.size();
        for (size_t i = 0; i < locations_.size(); ++i)
            if (!locations_[i].recording
                && (oldest == locations_.size() || locations_[i].lastUsed < locations_[oldest].lastUsed))
                oldest = i;
        if (oldest == locations_.size())
            return false;
        forget(oldest);
    }
    return true;
}

void WalkMemory::forget(size_t index)
{
    changed();
    const uint32_t root = locations_[index].root;
    locations_.erase(locations_.begin() + qsizetype(index));
    if (root == MemoryFolder::kNone)
        return;
    FolderRecord& record = records_[root];
    if (--record.locationRoots == 0 && record.parent == MemoryFolder::kNone)
        records_.release(root);
}

void WalkMemory::adoptRootsBelow(uint32_t index)
{
    const RememberedListing& listing = records_[index].listing;
    std::optional<QByteArray> base;
    for (const MemoryLocation& location : locations_) {
        if (location.root == MemoryFolder::kNone || records_[location.root].parent != MemoryFolder::kNone)
            continue;
        const QByteArrayView name = lastPathComponent(location.rootPath);
        const std::optional<uint32_t> entry = name.isEmpty() ? std::nullopt : listing.findQueued(name);
        if (!entry || listing.child(*entry) != RememberedListing::kNoChild)
            continue;
        if (!base)
            base = pathOf(index);
        if (base->isNull() || !sameComponents(platform::joinPath(*base, name), location.rootPath)
            || records_.isAncestorOrSelf(location.root, index))
            continue;
        records_.link(location.root, index, *entry);
    }
}

QByteArray WalkMemory::pathOf(uint32_t index) const
{
    std::vector<uint32_t> chain;
    uint32_t top = index;
    for (; records_[top].parent != MemoryFolder::kNone; top = records_[top].parent)
        chain.push_back(top);
    const auto location = std::find_if(locations_.begin(), locations_.end(),
                                       [&](const MemoryLocation& l) { return l.root == top; });
    if (location == locations_.end())
        return {};
    QByteArray path = location->rootPath;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        const FolderRecord& record = records_[*it];
        path = platform::joinPath(path, records_[record.parent].listing.name(record.entryInParent));
    }
    return path;
}

void WalkMemory::addLocationForReading(MemoryLocation location)
{
    changed();
    location.id = ++lastLocationId_;
    location.recording = false;
    clock_ = std::max(clock_, location.lastUsed);
    if (location.root != MemoryFolder::kNone)
        ++records_[location.root].locationRoots;
    locations_.push_back(std::move(location));
}

} // namespace search
