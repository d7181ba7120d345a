#pragma once

#include "search/folder_reading.h"

#include <cstddef>

namespace platform {
class FolderListing;
}

namespace search {

// Fills a chunk with the next entries of a listing, up to a count, judging each one; returns
// false when the listing had no entry left.
bool readChunk(platform::FolderListing& listing, EntryFilter& filter, EntryChunk& chunk, size_t maxEntries);

} // namespace search
