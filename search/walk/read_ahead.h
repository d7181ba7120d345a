#pragma once

#include <chrono>
#include <cstddef>
#include <memory>

namespace platform {
class FileSystem;
}

namespace search {

class EntryFilter;
class FolderQueue;
class FolderSource;
class WorkerThreads;

// When and how far worker threads read folders ahead of the walk. The walk still takes every
// folder in queue order; the workers only spare it the waits for the disk, so where the disk does
// not wait the walk reads its folders itself and no worker is woken.
struct ReadAheadPolicy {
    bool enabled = true; // off: the walk reads each folder itself when its turn comes
    // Workers start once a listing has waited on the disk, or at the first folder of a volume that
    // is not local (a network, FUSE), at the number of cores (at least 2); while the disk is being
    // read for them one more is added every 20 ms or so, up to four per core, at least 4 and at
    // most 16. A positive number fixes their count instead.
    int workers = 0;
    // A listing of the walk's own that takes this long makes it look at once whether the disk
    // was read; otherwise it looks every lookEvery. Where the disk was read and the walk spent
    // waitedEnough in such listings, or waiting for the workers, since it last looked every
    // lookEvery, workers read ahead (or go on reading ahead), until aheadFor has passed without
    // that. A folder now and then whose blocks went from the cache costs less than a change.
    // Workers read ahead too where so many entries are accepted that reading their status is most
    // of the walk's work (every entry a row): at least one in acceptedShare of statusLookEntries
    // or more listed since the last look; the second core then reads them while the walk builds rows.
    // A disk that answers each listing quickly but from its blocks, not the cache, waits too: where
    // the disk gave coldBytesPerFolder or more for each folder the walk took since the last look
    // (a block for one folder in four), workers read ahead on it, listings in parallel.
    std::chrono::nanoseconds slowListing = std::chrono::microseconds(300);
    std::chrono::nanoseconds lookEvery = std::chrono::milliseconds(20);
    std::chrono::nanoseconds waitedEnough = std::chrono::milliseconds(4);
    std::chrono::nanoseconds aheadFor = std::chrono::milliseconds(200);
    size_t acceptedShare = 2;
    size_t statusLookEntries = 512;
    size_t coldBytesPerFolder = 1024;
    size_t coldLookFolders = 32;
    size_t foldersAhead = 2048;    // folders that may be read before their turn
    size_t entriesAhead = 65536;   // entries that may wait read, about 4 MiB
    size_t entriesPerChunk = 1024;
    size_t walkBatch = 4096;       // entries read ahead for the walk to take up at a time, once it waited
    size_t openFolders = 0;        // folders kept open for those below them; 0: from the process's limit

    static ReadAheadPolicy off()
    {
        ReadAheadPolicy policy;
        policy.enabled = false;
        return policy;
    }
    int firstWorkers() const;
    int mostWorkers() const;
};

// Reads the walk's folders on its own thread while the disk does not wait, and on worker threads,
// the ones met next ahead of their turn within the policy's bounds, from the first listing that
// waited on it; queue: the walk's, whose folders the workers take up when they start.
std::unique_ptr<FolderSource> makeReadAheadSource(platform::FileSystem& fileSystem, const EntryFilter& filter,
                                                  const ReadAheadPolicy& policy, WorkerThreads& threads,
                                                  const FolderQueue& queue);

} // namespace search
