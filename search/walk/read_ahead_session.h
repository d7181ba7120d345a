#pragma once

// What the walk and the workers that read ahead of it share: the lane, the read order, the
// budget and the cache of open folders (read_ahead_source.cpp tells how they fit together).
#include "search/walk/folder_reading.h"
#include "search/walk/folder_slot.h"
#include "search/walk/open_folder_cache.h"
#include "search/walk/read_ahead.h"

#include "platform/files/file_system.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace search {

class EntryFilter;

namespace readahead {

// A folder a thread is reading: its slot and, once opened, its listing.
struct Task {
    std::shared_ptr<FolderSlot> slot;
    std::unique_ptr<platform::FolderListing> listing;
    bool metFolders = false; // the listing showed a sub-folder, which will be opened from it

    explicit operator bool() const { return bool(slot); }
    void reset()
    {
        slot.reset();
        listing.reset();
        metFolders = false;
    }
};

// How a task's folder is opened: from its nearest open ancestor, by the names between them, or
// by its full path for a root. Made under the lock, used without it.
struct Opening {
    std::shared_ptr<platform::OpenFolder> base;
    QByteArray names;
    std::shared_ptr<platform::OpenFolder> root; // a root the walk opened already
};

// What the walk and the workers share; it lives until the last of them has left.
struct Session {
    Session(platform::FileSystem& fs, const ReadAheadPolicy& p)
        : fileSystem(fs), policy(p), cache(p.openFolders ? p.openFolders : defaultOpenFolders())
    {
    }

    platform::FileSystem& fileSystem;
    const ReadAheadPolicy policy;
    int workers = 0; // set before any starts
    std::atomic<bool> cancelled{false};

    std::mutex mutex;
    std::condition_variable workChanged; // a lane, a folder to read, room in the budget, a cancel
    std::condition_variable chunkReady;  // for the walk
    // Everything below is guarded by the mutex.
    std::shared_ptr<FolderSlot> lane;
    std::deque<std::shared_ptr<FolderSlot>> readOrder;
    size_t entriesWaiting = 0;
    size_t foldersAhead = 0;
    uint64_t changeEpoch = 0;
    OpenFolderCache cache;
    std::vector<std::shared_ptr<platform::OpenFolder>> closing; // put out of the cache, to close unlocked
    std::vector<EntryChunk> spareChunks; // handed back by the walk, their buffers kept
    int idleWorkers = 0;
    bool walkWaits = false;
    // Workers read ahead: they take up the folders of the read order, and every listing's
    // sub-folders join it. Off, the walk reads its own folders and the read order stays empty.
    bool ahead = false;

    // The walk's own, on its thread only: a listing it read itself took long enough to ask
    // whether it waited on the disk, and how long it spent in such listings, or waiting for a
    // lane the workers read, since the source last looked at the disk.
    bool walkSawSlowListing = false;
    std::chrono::nanoseconds walkWaited{0};
    // Entries handed to the walk, and those of them it accepted, since it last looked: each
    // accepted entry costs a status of its own (its size, its time), which workers read in parallel.
    size_t walkListed = 0;
    size_t walkAccepted = 0;
    size_t walkFolders = 0; // folders the walk took up, whoever read them

    bool entriesAllow() const { return entriesWaiting < policy.entriesAhead; }
    bool mayStartAhead() const { return entriesAllow() && foldersAhead < policy.foldersAhead; }
    bool hasRoom(const FolderSlot& slot) const
    {
        return slot.chunks.empty() || slot.entriesWaiting < policy.entriesAhead;
    }
    bool laneWaits() const { return lane && !lane->dropped && lane->state == FolderSlot::State::Waiting; }

    void start(FolderSlot& slot, bool ahead)
    {
        slot.state = FolderSlot::State::Reading;
        slot.readEpoch = changeEpoch;
        if (ahead) {
            slot.countedAhead = true;
            ++foldersAhead;
        }
    }

    std::shared_ptr<FolderSlot> nextWaiting()
    {
        while (!readOrder.empty()) {
            std::shared_ptr<FolderSlot> slot = std::move(readOrder.front());
            readOrder.pop_front();
            if (slot->state == FolderSlot::State::Waiting && !slot->dropped)
                return slot;
        }
        return nullptr;
    }

    // One idle worker for the folders waiting to be read; each that takes one wakes the next.
    void wakeForWork()
    {
        if (idleWorkers > 0 && !readOrder.empty() && mayStartAhead())
            workChanged.notify_one();
    }

    // Where the walk waits for the workers, it goes on once its lane has something and a batch of
    // entries waits read, or the workers have nothing more to read for now (one of them is idle).
    // Woken at every folder, the walk would take the cores from the workers for a moment per
    // folder, a switch of threads each time, where it lists faster than they read the entries'
    // status (every entry a row, confirmed).
    bool walkMayGo(const FolderSlot& slot) const
    {
        if (cancelled)
            return true;
        const bool ready = !slot.chunks.empty() || slot.state == FolderSlot::State::Read || slot.dropped;
        return ready && (entriesWaiting >= policy.walkBatch || idleWorkers > 0);
    }
    // Wakes the walk where it waits and may go on.
    void tellWalk()
    {
        if (walkWaits && lane && walkMayGo(*lane))
            chunkReady.notify_one();
    }

    void finish(const std::shared_ptr<FolderSlot>& slot, FolderOutcome outcome)
    {
        slot->state = FolderSlot::State::Read;
        slot->outcome = outcome;
        if (slot->foldersToOpen > 0)
            cache.keep(slot, closing);
        else if (slot->parent && slot->open) // every folder in it was opened already
            closing.push_back(std::move(slot->open));
        tellWalk();
    }

    void publish(FolderSlot& slot, EntryChunk chunk)
    {
        if (chunk.entries.empty())
            return;
        if (ahead && !chunk.folders.empty()) {
            for (const std::shared_ptr<FolderSlot>& folder : chunk.folders)
                readOrder.push_back(folder);
            wakeForWork();
        }
        slot.entriesWaiting += chunk.entries.size();
        entriesWaiting += chunk.entries.size();
        slot.foldersToOpen += chunk.folders.size();
        slot.chunks.push_back(std::move(chunk));
        tellWalk();
    }

    // The walk took a chunk: a worker held back by a full budget, or by the lane's own, may go on.
    void handedOut(FolderSlot& slot, const EntryChunk& chunk)
    {
        const size_t n = chunk.entries.size(), full = policy.entriesAhead;
        const bool budgetFreed = entriesWaiting >= full && entriesWaiting - n < full;
        const bool laneFreed = slot.entriesWaiting >= full && slot.entriesWaiting - n < full;
        slot.entriesWaiting -= n;
        entriesWaiting -= n;
        if ((budgetFreed || laneFreed) && idleWorkers > 0)
            workChanged.notify_all();
    }

    EntryChunk spareChunk()
    {
        if (spareChunks.empty())
            return {};
        EntryChunk chunk = std::move(spareChunks.back());
        spareChunks.pop_back();
        return chunk;
    }
    void recycle(EntryChunk& chunk)
    {
        if (chunk.entries.capacity() == 0 || spareChunks.size() >= 2 * size_t(std::max(workers, 1)) + 2)
            return;
        chunk.entries.clear();
        chunk.names.clear(); // keeps its buffer
        chunk.folders.clear();
        spareChunks.push_back(std::move(chunk));
    }

    // Nobody will take the slot: it is read no further, and what was read of it goes, with the
    // slots of its sub-folders that the walk has not queued.
    void drop(const std::shared_ptr<FolderSlot>& first)
    {
        std::vector<std::shared_ptr<FolderSlot>> pending{first};
        while (!pending.empty()) {
            const std::shared_ptr<FolderSlot> slot = std::move(pending.back());
            pending.pop_back();
            slot->dropped = true;
            if (slot->countedAhead) {
                slot->countedAhead = false;
                --foldersAhead;
            }
            for (const EntryChunk& chunk : slot->chunks) {
                dropUnqueued(chunk, pending);
                entriesWaiting -= chunk.entries.size();
            }
            slot->chunks.clear();
            slot->entriesWaiting = 0;
        }
        if (idleWorkers > 0)
            workChanged.notify_all();
    }
    static void dropUnqueued(const EntryChunk& chunk, std::vector<std::shared_ptr<FolderSlot>>& into)
    {
        for (const std::shared_ptr<FolderSlot>& folder : chunk.folders)
            if (!folder->queued && !folder->dropped)
                into.push_back(folder);
    }

    bool plan(FolderSlot& slot, Opening& opening);
    FolderOutcome judge(const FolderSlot& slot, platform::OpenFolder& folder, platform::FolderListing& listing,
                        platform::EntryIdentity& identity);
    void step(std::unique_lock<std::mutex>& lock, Task& task, EntryFilter& filter, size_t chunkEntries);
};

} // namespace readahead
} // namespace search
