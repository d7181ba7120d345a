#pragma once

#include "search/match/entry_filter.h"
#include "search/memory/name_needle.h"
#include "search/memory/walk_memory.h"

#include <QByteArray>
#include <QHash>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace search {

// How an answer shares out its work: the first batch of entries is small, so that the first
// rows come at once; each later one is as large as the hits asked for need at the rate found so
// far (a rare name soon judges the largest batches, every entry a row no more than it hands
// out), and one of parallelFrom entries or more is split between threads.
struct AnswerPolicy {
    uint32_t firstBatch = 16 * 1024;
    uint32_t largestBatch = 512 * 1024;
    uint32_t parallelFrom = 32 * 1024;
    unsigned threads = 0; // 0: as many as the cores, at most four
};

// The folders an answer goes over, in the walk's order, and their paths as made so far. They are
// the same whatever the request, so the answers to one request after another (as the user types)
// share them, for as long as the memory stays as it was.
struct AnswerFolders {
    struct Folder {
        MemoryFolder record;
        platform::EntryIdentity identity;
        uint32_t parent;                 // place of the folder above in this order
        uint32_t nameOffset, nameLength; // its name, in names
    };
    uint64_t memoryChanges = 0; // WalkMemory::changes() when they were made
    MemoryFolder start;
    std::vector<Folder> folders;
    std::vector<uint64_t> firstEntry; // of each folder, counted over the whole answer; one more at the end
    QByteArray names;
    std::vector<QByteArray> paths; // made as hits ask for them
    uint64_t total = 0;

    // Empty, with the room of its blocks kept for the folders made again.
    void clear()
    {
        folders.clear();
        firstEntry.clear();
        names.truncate(0);
        paths.clear();
        total = 0;
    }
};

// One entry that an answer found: the folder's place in the answer's order of folders, and the
// entry's index in that folder's listing.
struct MemoryHit {
    uint32_t folder = 0;
    uint32_t entry = 0;
    friend bool operator==(const MemoryHit&, const MemoryHit&) = default;
};

// Every remembered entry below a folder that a request accepts, in the order in which a
// breadth-first walk from that folder finds them: the folder's entries in listing order, then
// those of its sub-folders in the order they were met, level by level. Folders the walk did not
// enter (passed over) are left out, as a walk leaves them out.
//
// Made at once (the order of the folders, a pass over their sub-folder links), it judges the
// entries slice by slice as next() is called, so a caller can show the first hits before the
// rest are judged, or stop asking. An answer reads the memory it was made from, which must
// outlive it; the memory may change between two calls (the live walk records meanwhile): a
// folder listed again or forgotten since then gives no more hits, and its hits no entries.
//
// A name whose bytes show that the request cannot accept it is turned down before the filter
// decodes it (name_needle.h).
//
// Threads: a batch of parallelFrom entries or more is cut into equal runs of entries, one per
// thread; each thread judges its own run with its own copy of the filter and writes only its own
// hits, reading a memory that does not change during the call (it is used on one thread, which
// is waiting in next()). The calling thread judges the first run and then joins the others,
// which end when their run does, so next() returns with no thread left running; there is
// nothing to stop, since a stop is the caller not asking for the next slice.
class MemoryAnswer {
public:
    // startPath: the folder's path as the rows show it; the folders below take it as their base.
    // The entries are judged by the request's EntryFilter, as the walk judges them.
    // The folders of an earlier answer are taken again where they are still the memory's.
    MemoryAnswer(const WalkMemory& memory, MemoryFolder start, QByteArray startPath, const MatchCriteria& request,
                 AnswerPolicy policy = {}, std::shared_ptr<AnswerFolders> earlier = nullptr);
    ~MemoryAnswer();
    MemoryAnswer(const MemoryAnswer&) = delete;
    MemoryAnswer& operator=(const MemoryAnswer&) = delete;

    // Appends the next hits, maxHits of them at the most, in order; whether any are left after.
    // With wholeFolder, more where the last hit's folder has more: a folder's hits come together.
    bool next(std::vector<MemoryHit>& hits, size_t maxHits, bool wholeFolder = false);
    bool done() const { return pendingAt_ == pending_.size() && judged_ == order_->total; }

    // What a hit names; nothing once its folder was listed again or forgotten.
    std::optional<RememberedEntry> entry(const MemoryHit& hit);
    // How many folders and entries the answer goes over.
    size_t folders() const { return order_->folders.size(); }
    uint64_t entries() const { return order_->total; }
    const std::shared_ptr<AnswerFolders>& sharedFolders() const { return order_; }

    // The answer's folders, for the live walk that confirms its hits: a folder's hits follow one
    // another, in the order of its listing. By the path as the rows show it (the start's path,
    // joined with the names below it), or by the identity it was last listed with.
    const QByteArray& folderPath(uint32_t folder) { return pathOf(folder); }
    MemoryFolder folderRecord(uint32_t folder) const { return order_->folders[folder].record; }
    std::optional<uint32_t> folderAt(QByteArrayView path);
    std::optional<uint32_t> folderWith(const platform::EntryIdentity& identity);

private:
    void order(MemoryFolder start);
    uint64_t batchFor(size_t wanted) const;
    void judgeBatch(std::vector<MemoryHit>& hits, uint64_t size);
    void judgeRun(EntryFilter& filter, uint64_t from, uint64_t to, std::vector<MemoryHit>& hits) const;
    const QByteArray& pathOf(uint32_t folder);

    const WalkMemory& memory_;
    AnswerPolicy policy_;
    NameNeedle needle_;
    std::vector<EntryFilter> filters_; // one per thread
    std::shared_ptr<AnswerFolders> order_;
    QHash<QByteArray, uint32_t> byPath_; // made when first asked for, like the next
    QHash<std::pair<uint64_t, uint64_t>, uint32_t> byIdentity_;
    uint64_t judged_ = 0, found_ = 0;
    std::vector<std::vector<MemoryHit>> runs_; // the other threads' hits, kept from batch to batch
    std::vector<MemoryHit> pending_;   // judged beyond what was asked for, not handed out yet
    size_t pendingAt_ = 0;
};

} // namespace search
