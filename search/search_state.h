#pragma once

#include "search/text_rules.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

namespace search {

// A folder met by the walk, waiting for its turn. The volume lets the listing tell where a new
// file system begins.
struct QueuedFolder {
    QByteArray path; // full path, no trailing "/"
    uint64_t parentVolume = 0;
    bool sameVolumeOnly = false;
};

// The main window's search state. Everything is empty, zero or false until a search starts;
// it keeps its values after a search until the next one resets them.
struct SearchState {
    std::vector<QueuedFolder> FolderQueue; // breadth-first work list, in order of discovery
    QString NamePattern;
    bool StopRequested = false;
    int64_t MatchCount = 0;  // entries accepted in this search
    int64_t FolderCount = 0; // entries of FolderQueue
    // The walk's working copies of the entry name and the patterns, in upper case unless the
    // search is case-sensitive; the name buffer is reused from entry to entry and serves the
    // extension test as well.
    CodePoints CmpName;
    CodePoints CmpPattern;
    CodePoints CmpExtPattern;
    QString ExtPattern;
    bool ExtMatched = false;
};

} // namespace search
