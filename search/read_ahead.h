#pragma once

#include <cstddef>

namespace search {

// How far worker threads read folders ahead of the walk. The walk still takes every folder in
// queue order; the workers only spare it the waits for the disk.
struct ReadAheadPolicy {
    bool enabled = true;
    int workers = 0;               // 0: from the cores, at least 2, since the work waits on the disk
    size_t foldersAhead = 2048;    // queued folders that may be read before their turn
    size_t entriesAhead = 131072;  // entries that may wait read, about 8 MiB
    size_t entriesPerChunk = 1024;
    int workerNice = 0;

    static ReadAheadPolicy off()
    {
        ReadAheadPolicy policy;
        policy.enabled = false;
        return policy;
    }
    int workerCount() const;
};

} // namespace search
