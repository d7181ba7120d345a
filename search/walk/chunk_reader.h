#pragma once

#include "search/walk/folder_reading.h"

#include <atomic>
#include <cstddef>
#include <memory>

namespace platform {
class FolderListing;
}

namespace search {

class EntryFilter;

// Fills a chunk with the next entries of a folder's listing, up to a count, judging each one and
// making a slot for each sub-folder, below the folder's own. Looks at the cancel flag at every
// entry. Returns false once the listing has no entry left.
bool readChunk(platform::FolderListing& listing, EntryFilter& filter, const std::shared_ptr<FolderSlot>& folder,
               EntryChunk& chunk, size_t maxEntries, const std::atomic<bool>& cancelled);

} // namespace search
