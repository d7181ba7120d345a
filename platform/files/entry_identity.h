#pragma once

#include <sys/stat.h>

#include <cstdint>

namespace platform {

// Which entry a name stood for when it was read: its volume and inode. An action that destroys
// an entry checks it first, so that an entry put in the old one's place since is left alone.
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

} // namespace platform
