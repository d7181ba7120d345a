#pragma once

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdint>

namespace platform {

// Which entry a name stood for when it was read: its volume and inode. The walk records it for
// the folder it listed each row in, and an action finds that very folder again before it changes
// anything in it; a tree visit knows by it each folder it left when it comes back. A row's entry
// is not held to its own inode (an editor saves by renaming a new file over the old one), only to
// its kind.
struct EntryIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;

    bool known() const { return inode != 0; }
    friend bool operator==(const EntryIdentity&, const EntryIdentity&) = default;
};

// The identity in an entry's status.
inline EntryIdentity identityOf(const struct stat& st)
{
    return {uint64_t(st.st_dev), uint64_t(st.st_ino)};
}

inline EntryIdentity identityOf(const struct statx& st)
{
    return {uint64_t(makedev(st.stx_dev_major, st.stx_dev_minor)), uint64_t(st.stx_ino)};
}

} // namespace platform
