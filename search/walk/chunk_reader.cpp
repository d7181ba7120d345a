#include "search/walk/chunk_reader.h"

#include "platform/files/file_attributes.h"
#include "platform/files/file_system.h"
#include "search/match/entry_filter.h"
#include "search/walk/folder_slot.h"

namespace search {
namespace {

bool isDotEntry(QByteArrayView name)
{
    return !name.isEmpty() && name.size() <= 2 && name.front() == '.' && name.back() == '.';
}

void judge(platform::FolderListing& listing, EntryFilter& filter, ListedEntry& entry)
{
    const std::optional<uint32_t> attributes = listing.attributes();
    entry.isDirectory = attributes && (*attributes & platform::Directory);
    entry.hidden = attributes && (*attributes & (platform::Hidden | platform::System));
    // An entry whose attributes cannot be read counts as a folder: queued, and its own listing
    // later yields nothing.
    const bool isFolder = !attributes || entry.isDirectory;
    entry.kind = isFolder ? ListedEntry::Kind::Folder : ListedEntry::Kind::File;
    entry.accepted = filter.accepts(listing.name(), isFolder, attributes);
    if (entry.accepted && !isFolder)
        entry.length = listing.length();
    if (entry.accepted)
        entry.modified = listing.modified(); // free where the length was read
}

std::shared_ptr<FolderSlot> slotBelow(const std::shared_ptr<FolderSlot>& folder, platform::FolderListing& listing)
{
    auto slot = std::make_shared<FolderSlot>();
    slot->parent = folder;
    slot->sameVolumeOnly = folder->sameVolumeOnly;
    slot->expected = listing.folderIdentity();
    slot->name = listing.name().toByteArray();
    return slot;
}

} // namespace

bool readChunk(platform::FolderListing& listing, EntryFilter& filter, const std::shared_ptr<FolderSlot>& folder,
               EntryChunk& chunk, size_t maxEntries, const std::atomic<bool>& cancelled)
{
    while (chunk.entries.size() < maxEntries) {
        if (cancelled.load(std::memory_order_relaxed) || !listing.next())
            return false;
        const QByteArrayView name = listing.name();
        ListedEntry& entry = chunk.entries.emplace_back();
        entry.nameOffset = uint32_t(chunk.names.size());
        entry.nameLength = uint32_t(name.size());
        chunk.names.append(name.data(), size_t(name.size()));
        if (isDotEntry(name)) {
            entry.kind = ListedEntry::Kind::Dot;
            continue;
        }
        judge(listing, filter, entry);
        if (entry.kind == ListedEntry::Kind::Folder)
            chunk.folders.push_back(slotBelow(folder, listing));
    }
    return true;
}

} // namespace search
