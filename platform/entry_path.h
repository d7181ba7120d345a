#pragma once

#include "platform/entry_identity.h"
#include "platform/file_descriptor.h"

#include <QByteArray>

#include <sys/stat.h>

namespace platform {

// The entry a result row stands for: its full path, and which entry the walk saw there.
struct EntryRef {
    QByteArray path;
    EntryIdentity identity; // unknown when the walk could not read it: nothing to compare then
};

// A row's entry found again on disk: the folder that holds it, open by descriptor, the entry's
// name in it, and its own status (a link is not followed).
struct LocatedEntry {
    Fd folder;
    QByteArray name;
    struct stat st {};
};

// Finds a row's entry, opening its path one folder at a time without following a link, so that
// neither the length of the path nor a link put in place of one of its folders since the search
// leads anywhere else. A link among the folders is passed only where the entry at its end is
// provably the one the walk saw (its identity known and the same); else the answer is ELOOP.
// An entry that is not the one the walk saw (replaced since, under the same name): ESTALE.
int locateEntry(const EntryRef& entry, LocatedEntry& found);

// Whether the entry now at name in folder is still the one identified (ESTALE if not); for the
// check just before a step that destroys it. Unknown identities pass.
int checkIdentity(int folderFd, const QByteArray& name, const EntryIdentity& identity);

bool isSameEntry(const struct stat& st, const EntryIdentity& identity);

} // namespace platform
