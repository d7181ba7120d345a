#pragma once

#include "search/walk/folder_queue.h"

#include <cstdint>

namespace search {

// The walk's state. Everything is empty, zero or false until a search starts; it keeps its
// values after a search until the next one resets them.
struct SearchState {
    search::FolderQueue FolderQueue; // breadth-first work list, in order of discovery
    bool StopRequested = false;
    int64_t MatchCount = 0;  // entries accepted in this search
    // Folders the walk met but could not read (permissions, a failing disk), the location itself
    // apart; virtual file systems and other volumes, left out by design, do not count.
    int64_t unreadableFolders = 0;
    // Folders the walk met that another folder had taken the place of by the time it opened them.
    int64_t swappedFolders = 0;
    bool locationUnreadable = false;
};

} // namespace search
