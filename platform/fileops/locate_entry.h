#pragma once

#include "platform/files/entry_identity.h"
#include "platform/files/file_descriptor.h"

#include <QByteArray>

#include <sys/stat.h>

namespace platform {

// The entry a result row stands for: its full path, the folder the walk listed it in, and
// whether it was a folder then.
struct EntryRef {
    QByteArray path;
    EntryIdentity folder; // unknown when the walk could not tell: no link on the path is passed then
    bool isFolder = false;
};

// A row's entry found again on disk: the folder that holds it, open by descriptor, the entry's
// name in it, and its own status (a link is not followed).
struct LocatedEntry {
    Fd folder;
    QByteArray name;
    struct statx st {};
};

// Finds a row's entry, opening its folder by path without following a link (openPath), so that
// neither the length of the path nor a link put in place of one of its folders since the search
// leads anywhere else. What must still hold is where the entry is, not which inode it has (an
// editor saves by renaming a new file over the old one): the folder reached must be the one the
// walk listed, and the entry must still be a folder for a folder row and no folder for any other.
// A link among the folders is passed only where the folder at its end is provably the one the
// walk listed; else the answer is ELOOP. Another folder in the listed one's place, or an entry of
// the other kind: ESTALE.
int locateEntry(const EntryRef& entry, LocatedEntry& found);

} // namespace platform
