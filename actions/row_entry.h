#pragma once

#include "platform/fileops/locate_entry.h"
#include "search/results/result_list.h"

namespace actions {

// What the file operations need to find a row's entry again: where the walk listed it, and its kind.
inline platform::EntryRef entryOf(const search::ResultList& rows, int row)
{
    const search::ResultRow& r = rows.row(row);
    return {r.pathBytes(), rows.listedIn(r), r.isFolder};
}

// Whether a row's entry is there to act on, found as the operations find it: from the folder the
// walk listed it in, whatever the length of its path.
inline bool isThere(const platform::EntryRef& entry)
{
    platform::LocatedEntry found;
    return platform::locateEntry(entry, found) == 0;
}

} // namespace actions
