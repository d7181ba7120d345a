#pragma once

#include <cstddef>

namespace search {

// How far worker threads read folders ahead of the walk. The walk still takes every folder in
// queue order; the workers only spare it the waits for the disk.
struct ReadAheadPolicy {
    bool enabled = true;
    // Workers start at the number of cores (at least 2) and grow, up to four per core, while they
    // find themselves waiting on the disk; a positive number fixes their count instead.
    int workers = 0;
    size_t foldersAhead = 2048;    // queued folders that may be read before their turn
    size_t entriesAhead = 131072;  // entries that may wait read, about 8 MiB
    size_t entriesPerChunk = 1024;

    static ReadAheadPolicy off()
    {
        ReadAheadPolicy policy;
        policy.enabled = false;
        return policy;
    }
    int firstWorkers() const;
    int mostWorkers() const;
};

} // namespace search
