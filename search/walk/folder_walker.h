#pragma once

#include "search/walk/folder_reading.h"
#include "search/walk/found_entries.h"
#include "search/walk/read_ahead.h"
#include "search/match/match_criteria.h"
#include "search/search_state.h"
#include "search/walk/worker_threads.h"
#include "search/walk/yield_policy.h"

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace platform {
class FileSystem;
}

namespace search {

class WalkMemory;
class WalkRecorder;

// What the last walk did, for the benchmark driver.
struct SearchStats {
    int64_t entries = 0; // directory entries handled, "." and ".." not counted
    int64_t yields = 0;
    std::chrono::nanoseconds longestGap{0}; // between the starts of two yields
    std::chrono::nanoseconds duration{0};
    int readAheadThreads = 0;
};

// What changed on screen since the last yield.
struct WalkProgress {
    const QByteArray* folder = nullptr; // the folder being searched, when it changed
    bool rowsAdded = false;
};

// Where a walk starts: one root, or each listed volume in turn, each kept within itself.
struct WalkRoots {
    std::vector<QByteArray> paths;
    bool sameVolumeOnly = false;
    bool firstMayBeLink = false; // a typed root that is a link to a folder is searched there
};

// The breadth-first walk: lists a folder, queues its sub-folders, turns the accepted entries into
// rows, and yields to the window between entries. It knows nothing of the window: it gets the
// criteria as a value and hands the window its turn through the yield callback, where handlers may
// stop it, remove or rename rows, or change the disk.
class FolderWalker {
public:
    using Yield = std::function<void(const WalkProgress&)>;

    FolderWalker(platform::FileSystem& fileSystem, FoundEntries& found, Yield yield,
                 YieldPolicy policy = {}, ReadAheadPolicy readAhead = {});
    ~FolderWalker();

    // Every folder the walks list is recorded there, a stopped walk's location as incomplete;
    // nothing: none is. The memory is the recorder's while a walk runs, the caller's between.
    void setMemory(WalkMemory* memory) { memory_ = memory; }

    // Runs a whole search; returns when it is done or stopped. With the memory held, the walk
    // records nothing into it until releaseMemory() (from inside a yield) or its end: the caller
    // reads it meanwhile.
    void walk(const MatchCriteria& criteria, const WalkRoots& roots, bool memoryHeld = false);
    void releaseMemory();
    void stop(); // the walk handles no further entry
    void dropQueue(); // the window closes: the folders still queued go
    // An action changed the disk there, or renamed or deleted an entry, inside a yield. A row
    // shown from memory may name an entry the walk has not handled yet. Whether the entry renamed
    // is one of the current folder's, which its listing then passes over under either name.
    void diskChanged(QByteArrayView path);
    bool entryRenamed(QByteArrayView from, QByteArrayView to);
    void entryDeleted(QByteArrayView path);

    const SearchState& state() const { return state_; }
    const SearchStats& stats() const { return stats_; }

private:
    void SearchFolder(const QueuedFolder& folder);
    bool runQueue(); // false when a stop ended it
    bool walkEntries(FolderReading& reading, bool& progressShown);
    // Hands out the chunks in order, giving the window its turn while one is still being read;
    // false when the folder ended early.
    bool nextChunk(FolderReading& reading, const EntryChunk*& chunk);
    bool currentFolderGone();
    void handleEntry(FolderReading& reading, const EntryChunk& chunk, const ListedEntry& entry,
                     size_t& folderIndex, bool& progressShown);
    void found(const EntryChunk& chunk, const ListedEntry& entry, const platform::EntryIdentity& folderIdentity);
    void countUnlisted(FolderOutcome outcome, bool isRoot);
    void recordChunk(const EntryChunk& chunk);
    void recordBegin(const platform::EntryIdentity& identity);
    void recordEnd(const FolderReading* reading, FolderOutcome outcome);
    FolderSlot* slotAt(QByteArrayView path) const;
    void afterEntry();
    void yieldToWindow(std::chrono::steady_clock::time_point now);

    platform::FileSystem& fileSystem_;
    FoundEntries& found_;
    Yield yield_;
    YieldPolicy policy_;
    ReadAheadPolicy readAhead_;

    SearchState state_;
    SearchStats stats_;
    WorkerThreads threads_; // before the source, which hands them its workers
    std::unique_ptr<FolderSource> source_;
    QueuedFolder current_; // the folder being walked; a rename above it moves it
    bool currentChanged_ = false; // an action changed the disk at or above it meanwhile
    bool currentRenamed_ = false; // it, or a folder above it, was renamed meanwhile
    bool singleRoot_ = false;     // a typed location, not every volume
    // Names the current folder's listing may still hand out that it must pass over: those of
    // entries renamed from the window, old and new (an entry handled may be handed out again
    // under its new name, one not handled yet under its old one), and of entries deleted.
    std::vector<QByteArray> leftOutHere_;

    WalkMemory* memory_ = nullptr;
    std::unique_ptr<WalkRecorder> recorder_; // while a walk records
    uint32_t currentRecord_ = 0;   // the current folder's number in the recording
    bool currentBegun_ = false;    // its recording has begun
    bool currentGone_ = false;     // deleted from inside a yield while its next chunk was awaited
    uint32_t currentEntries_ = 0;  // entries of it handled, the index the next one is recorded at
    std::vector<uint32_t> skippedHere_; // positions in the chunk being handled that the walk passed over

    // What reaches the window at the next yield.
    QByteArray progressFolder_;
    bool progressWaiting_ = false;
    bool rowsWaiting_ = false;
    int entriesSinceClockCheck_ = 0;
    std::chrono::steady_clock::time_point lastYield_;
};

} // namespace search
