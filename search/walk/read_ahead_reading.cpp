#include "search/walk/read_ahead_reading.h"

namespace search::readahead {
namespace {

// Small enough that the walk's own thread reads a chunk well within one yield interval.
constexpr size_t kWalkThreadChunk = 256;

} // namespace

ReadAheadReading::~ReadAheadReading()
{
    if (ended_) { // every entry handed out was handled: nothing to drop
        returned_ = std::move(current_);
        return;
    }
    Session& s = *session_;
    std::vector<std::shared_ptr<FolderSlot>> unqueued;
    const std::lock_guard lock(s.mutex);
    // A stop or a delete in the middle of the folder: its sub-folders not yet queued go.
    Session::dropUnqueued(current_, unqueued);
    for (const std::shared_ptr<FolderSlot>& folder : unqueued)
        s.drop(folder);
    s.drop(slot_);
}

ChunkStatus ReadAheadReading::next(const EntryChunk*& chunk)
{
    if (lastHandedOut_) { // known when the last chunk was taken, without asking again
        ended_ = true;
        return ChunkStatus::End;
    }
    Session& s = *session_;
    std::unique_lock lock(s.mutex);
    while (true) {
        if (!slot_->chunks.empty()) {
            s.recycle(current_);
            current_ = std::move(slot_->chunks.front());
            slot_->chunks.erase(slot_->chunks.begin());
            s.handedOut(*slot_, current_);
            identity_ = slot_->identity;
            s.walkListed += current_.entries.size();
            for (const ListedEntry& entry : current_.entries)
                s.walkAccepted += entry.accepted;
            lastHandedOut_ = slot_->chunks.empty() && slot_->state == FolderSlot::State::Read;
            outcome_ = slot_->outcome;
            chunk = &current_;
            return ChunkStatus::Ready;
        }
        if (slot_->state == FolderSlot::State::Read || s.cancelled) {
            ended_ = true;
            outcome_ = slot_->outcome;
            return ChunkStatus::End;
        }
        if (!walkFilter_)
            return ChunkStatus::NotYet;
        // The walk's own thread reads its folder, which the source started for it.
        if (!task_)
            task_.slot = slot_;
        const auto started = std::chrono::steady_clock::now();
        s.step(lock, task_, *walkFilter_, kWalkThreadChunk);
        const auto took = std::chrono::steady_clock::now() - started;
        if (took >= s.policy.slowListing) {
            s.walkSawSlowListing = true;
            s.walkWaited += took;
        }
    }
}

void ReadAheadReading::wait(std::chrono::nanoseconds longest)
{
    Session& s = *session_;
    std::unique_lock lock(s.mutex);
    s.walkWaits = true;
    const auto started = std::chrono::steady_clock::now();
    s.chunkReady.wait_for(lock, longest, [&] { return s.walkMayGo(*slot_); });
    s.walkWaited += std::chrono::steady_clock::now() - started;
    s.walkWaits = false;
}

void ReadAheadReading::skip(const std::shared_ptr<FolderSlot>& folder)
{
    Session& s = *session_;
    const std::lock_guard lock(s.mutex);
    s.drop(folder);
}

} // namespace search::readahead
