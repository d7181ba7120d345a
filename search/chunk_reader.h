#pragma once

#include "platform/file_system.h"
#include "search/folder_reading.h"

#include <cstddef>
#include <memory>

namespace search {

// Where the walk may list a queued folder.
platform::ListingBounds boundsOf(const QueuedFolder& folder, const std::atomic<bool>* cancelled = nullptr);

// Fills a chunk with the next entries of a listing, up to a count, judging each one; returns
// false when the listing had no entry left.
bool readChunk(platform::FolderListing& listing, EntryFilter& filter, EntryChunk& chunk, size_t maxEntries);

// A folder read on the caller's thread a chunk at a time; nothing when it cannot be listed.
std::unique_ptr<FolderReading> readDirectly(platform::FileSystem& fileSystem, const QueuedFolder& folder,
                                            EntryFilter& filter);

} // namespace search
