#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <deque>

namespace search {

// A folder met by the walk, waiting for its turn. The volume lets the listing tell where a new
// file system begins.
struct QueuedFolder {
    QByteArray path; // full path; the root of "/" is the empty path
    uint64_t parentVolume = 0;
    bool sameVolumeOnly = false;
    bool followLink = false; // a root the user typed may be a link to a folder
    uint64_t position = 0;   // in order of discovery, from 1 in each search
};

// The breadth-first work list. Folders leave it once the walk takes them, so a whole-disk search
// holds only the folders still to come.
class FolderQueue {
public:
    void clear();
    // Gives the folder the next position; the reference holds until the folder is taken.
    const QueuedFolder& push(QueuedFolder folder);
    bool empty() const { return waiting_.empty(); }
    QueuedFolder takeNext();
    // Folders queued in this search, walked ones included.
    uint64_t queuedTotal() const { return queued_; }
    // A folder renamed meanwhile: the folders waiting at or below its old path move with it.
    void movePrefix(QByteArrayView from, QByteArrayView to);

private:
    std::deque<QueuedFolder> waiting_;
    uint64_t queued_ = 0;
};

} // namespace search
