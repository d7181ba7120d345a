#include "search/chunk_reader.h"

#include "platform/file_attributes.h"
#include "platform/file_system.h"
#include "search/entry_filter.h"
#include "search/folder_queue.h"

namespace search {
namespace {

bool isDotEntry(QByteArrayView name)
{
    return name == "." || name == "..";
}

void judge(platform::FolderListing& listing, EntryFilter& filter, ListedEntry& entry)
{
    const std::optional<uint32_t> attributes = listing.attributes();
    entry.isDirectory = attributes && (*attributes & platform::Directory);
    // An entry whose attributes cannot be read counts as a folder: queued, and its own listing
    // later yields nothing.
    const bool isFolder = !attributes || entry.isDirectory;
    entry.kind = isFolder ? ListedEntry::Kind::Folder : ListedEntry::Kind::File;
    entry.accepted = filter.accepts(listing.name(), isFolder, attributes);
    if (!entry.accepted)
        return;
    entry.identity = listing.identity();
    if (!isFolder)
        entry.length = listing.length();
}

} // namespace

platform::ListingBounds boundsOf(const QueuedFolder& folder, const std::atomic<bool>* cancelled)
{
    platform::ListingBounds bounds;
    bounds.parentVolume = folder.parentVolume;
    bounds.sameVolumeOnly = folder.sameVolumeOnly;
    bounds.followLink = folder.followLink;
    bounds.cancelled = cancelled;
    return bounds;
}

bool readChunk(platform::FolderListing& listing, EntryFilter& filter, EntryChunk& chunk, size_t maxEntries)
{
    chunk.clear();
    while (chunk.entries.size() < maxEntries && listing.next()) {
        const QByteArrayView name = listing.name();
        ListedEntry& entry = chunk.entries.emplace_back();
        entry.nameOffset = uint32_t(chunk.names.size());
        entry.nameLength = uint32_t(name.size());
        chunk.names.append(name);
        if (isDotEntry(name))
            entry.kind = ListedEntry::Kind::Dot;
        else
            judge(listing, filter, entry);
    }
    return !chunk.entries.empty();
}

} // namespace search
