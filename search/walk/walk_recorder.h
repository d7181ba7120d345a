#pragma once

#include "platform/files/entry_identity.h"
#include "search/memory/walk_memory.h"
#include "search/walk/folder_reading.h"

#include <QByteArray>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace search {

// Records what a walk lists into a memory, on a thread of its own, so that the walk's thread
// pays only for handing each chunk over (its names' bytes and a few bytes for each entry, written
// into a buffer that goes round between the two threads) while the memory builds its listings
// beside it on the other core.
//
// The walk names its folders by their turn: beginRoot and beginFolder give each listed folder the
// next number, and a queued folder keeps its parent's number and its entry's index there (the
// count of entries handed over in that folder before it), which the recording thread maps to the
// memory's handles as it goes. Calls come from the walk's thread only, in the walk's order.
//
// Threads: the walk only appends to the queue, a batch of steps at a time, and never waits on the
// recorder but in finish(), which hands over what is left;
// the recorder takes the queue whole and records it without the lock, so each side always makes
// progress. A recorder made held records nothing until release(): meanwhile the memory is still
// the caller's to read (an answer being shown as the walk starts), and the batches wait in the
// queue. finish() (also from the destructor) releases, queues the end and joins: the recorder
// stops once it has recorded everything before it, and the memory is the caller's again.
class WalkRecorder {
public:
    static constexpr uint32_t kNoFolder = UINT32_MAX;

    explicit WalkRecorder(WalkMemory& memory, bool held = false);
    ~WalkRecorder();
    WalkRecorder(const WalkRecorder&) = delete;
    WalkRecorder& operator=(const WalkRecorder&) = delete;

    void beginLocation(const QByteArray& rootPath, bool mayBeLink);
    // A folder the walk lists: a root of the location, or the folder at an entry of its parent.
    uint32_t beginRoot(const platform::EntryIdentity& identity);
    uint32_t beginFolder(uint32_t parent, uint32_t entry, const platform::EntryIdentity& identity);
    // The chunk's entries, dots and those at the positions in leaveOut (ascending) left out:
    // entries the window renamed while the walk listed their folder, handed out again under
    // their new names.
    void addChunk(const EntryChunk& chunk, const std::vector<uint32_t>& leaveOut);
    void endFolder(FolderState state);
    // A queued folder the walk did not enter.
    void passOver(uint32_t parent, uint32_t entry);
    void endLocation(bool complete);
    // The memory is the recorder's from now on.
    void release();
    // Waits until everything handed over is in the memory.
    void finish();

private:
    enum class StepKind : uint8_t { Location, Root, Folder, Chunk, End, PassOver, EndLocation, Finish };
    // Steps written one after the other: a kind, then its fields as bytes (walk_recorder.cpp).
    // The bytes are sized once and filled up to used, so that a step costs a few copies.
    struct Batch {
        std::vector<char> bytes;
        size_t used = 0;
    };

    // Room for size more bytes in the pending batch; where they go.
    char* room(size_t size)
    {
        if (pending_.used + size > pending_.bytes.size())
            pending_.bytes.resize(std::max(2 * pending_.bytes.size(), pending_.used + size));
        return pending_.bytes.data() + pending_.used;
    }
    // One step's fields, in order.
    template <typename... Fields>
    void put(const Fields&... fields)
    {
        char* out = room((sizeof(Fields) + ...));
        ((std::memcpy(out, &fields, sizeof(Fields)), out += sizeof(Fields)), ...);
        pending_.used = size_t(out - pending_.bytes.data());
        stepDone();
    }
    void stepDone();
    void handOver();
    void run();
    // Records one batch; false once it met the end.
    bool record(const Batch& batch);

    WalkMemory& memory_;
    uint32_t folders_ = 0; // numbered so far, on the walk's thread

    Batch pending_; // the walk's thread only: steps not yet handed over
    bool finished_ = false; // the walk's thread only

    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<Batch> queue_; // guarded
    std::vector<Batch> spare_; // guarded: recorded, emptied, their room kept for the walk
    bool idle_ = false;        // guarded: the recorder waits for the next steps
    bool held_ = false;        // guarded: the memory is not the recorder's yet

    // The recorder's own.
    uint64_t location_ = 0;
    std::vector<MemoryFolder> handles_; // by the walk's numbers

    std::thread thread_; // last, so that it starts with the rest in place
};

} // namespace search
