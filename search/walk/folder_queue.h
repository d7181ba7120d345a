#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <deque>
#include <memory>

namespace search {

struct FolderSlot;

// A folder met by the walk, waiting for its turn: its full path as the rows show it, and the
// slot that says which folder it is and holds what was read of it ahead of its turn.
struct QueuedFolder {
    QByteArray path; // the root of "/" is the empty path
    std::shared_ptr<FolderSlot> slot;
    uint64_t position = 0; // in order of discovery, from 1 in each search
    // For the walk's memory: the number its folder was recorded under, and its entry's index
    // there; nothing for a root.
    uint32_t recordParent = UINT32_MAX;
    uint32_t recordEntry = 0;
};

// The breadth-first work list. Folders leave it once the walk takes them, so a whole-disk search
// holds only the folders still to come.
class FolderQueue {
public:
    void clear();
    // Gives the folder the next position.
    void push(QueuedFolder folder);
    bool empty() const { return waiting_.empty(); }
    QueuedFolder takeNext();
    // Folders queued in this search, walked ones included.
    uint64_t queuedTotal() const { return queued_; }
    // A folder renamed meanwhile: the folders waiting at or below its old path move with it.
    void movePrefix(QByteArrayView from, QByteArrayView to);
    // Once the walk has ended: the folders stay, what was read ahead of them goes.
    void releaseSlots();
    // The folders waiting, in order.
    const std::deque<QueuedFolder>& waiting() const { return waiting_; }
    // The first waiting folder at or below a path, if any.
    const QueuedFolder* findAtOrBelow(QByteArrayView path) const;

private:
    std::deque<QueuedFolder> waiting_;
    uint64_t queued_ = 0;
};

} // namespace search
