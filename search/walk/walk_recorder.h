#pragma once

#include "platform/files/entry_identity.h"
#include "search/memory/walk_memory.h"
#include "search/walk/folder_reading.h"

#include <QByteArray>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace search {

// Records what a walk lists into a memory, on a thread of its own, so that the walk's thread
// pays only for handing each chunk over (a copy of its entries' fixed fields, its names shared)
// while the memory builds its listings beside it on the other core.
//
// The walk names its folders by their turn: beginRoot and beginFolder give each listed folder the
// next number, and a queued folder keeps its parent's number and its entry's index there (the
// count of entries handed over in that folder before it), which the recording thread maps to the
// memory's handles as it goes. Calls come from the walk's thread only, in the walk's order.
//
// Threads: the walk only appends to the queue, a batch of steps at a time, and never waits on the
// recorder but in finish(), which hands over what is left;
// the recorder takes the queue whole and records it without the lock, so each side always makes
// progress. finish() (also from the destructor) queues the end and joins: the recorder stops once
// it has recorded everything before it, and the memory is the caller's again.
class WalkRecorder {
public:
    static constexpr uint32_t kNoFolder = UINT32_MAX;

    explicit WalkRecorder(WalkMemory& memory);
    ~WalkRecorder();
    WalkRecorder(const WalkRecorder&) = delete;
    WalkRecorder& operator=(const WalkRecorder&) = delete;

    void beginLocation(const QByteArray& rootPath, bool mayBeLink);
    // A folder the walk lists: a root of the location, or the folder at an entry of its parent.
    uint32_t beginRoot(const platform::EntryIdentity& identity);
    uint32_t beginFolder(uint32_t parent, uint32_t entry, const platform::EntryIdentity& identity);
    // The chunk's entries, dots and those at the positions in leaveOut left out (entries the
    // window renamed while the walk listed their folder, handed out again under their new names).
    void addChunk(const EntryChunk& chunk, const std::vector<uint32_t>& leaveOut);
    void endFolder(FolderState state);
    // A queued folder the walk did not enter.
    void passOver(uint32_t parent, uint32_t entry);
    void endLocation(bool complete);
    // Waits until everything handed over is in the memory.
    void finish();

private:
    struct Step {
        enum class Kind : uint8_t { Location, Root, Folder, Chunk, End, PassOver, EndLocation, Finish };
        Kind kind;
        bool flag = false; // mayBeLink, complete
        FolderState state = FolderState::Listed;
        uint32_t parent = 0, entry = 0;
        platform::EntryIdentity identity;
        QByteArray bytes; // a location's path, a chunk's names
        std::vector<ListedEntry> entries;
    };

    void push(Step step);
    void handOver();
    void run();
    void record(Step& step);

    WalkMemory& memory_;
    uint32_t folders_ = 0; // numbered so far, on the walk's thread

    static constexpr size_t kStepsPerHandOver = 256;
    std::vector<Step> pending_; // the walk's thread only: steps not yet handed over

    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<Step> queue_; // guarded
    bool idle_ = false;       // guarded: the recorder waits for the next steps
    bool finished_ = false;   // the walk's thread only

    // The recorder's own.
    uint64_t location_ = 0;
    std::vector<MemoryFolder> handles_; // by the walk's numbers

    std::thread thread_; // last, so that it starts with the rest in place
};

} // namespace search
