#pragma once

#include <cstddef>
#include <memory>

namespace platform {
class FileSystem;
}

namespace search {

class EntryFilter;
class FolderSource;
class WorkerThreads;

// How far worker threads read folders ahead of the walk. The walk still takes every folder in
// queue order; the workers only spare it the waits for the disk.
struct ReadAheadPolicy {
    bool enabled = true; // off: the walk reads each folder itself when its turn comes
    // Workers start at the number of cores (at least 2) and, while the disk is being read for
    // them (the process's reads from storage grow), one more is added every 20 ms or so, up to four
    // per core, at least 4 and at most 16. A positive number fixes their count instead.
    int workers = 0;
    size_t foldersAhead = 2048;    // folders that may be read before their turn
    size_t entriesAhead = 65536;   // entries that may wait read, about 4 MiB
    size_t entriesPerChunk = 1024;
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

// Reads every folder on worker threads, the ones met next ahead of their turn within the
// policy's bounds; without workers (off, or none would start), on the walk's own thread.
std::unique_ptr<FolderSource> makeReadAheadSource(platform::FileSystem& fileSystem, const EntryFilter& filter,
                                                  const ReadAheadPolicy& policy, WorkerThreads& threads);

} // namespace search
