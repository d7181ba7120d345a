#pragma once

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

} // namespace platform
