#include "search/memory/memory_answer.h"

#include "platform/files/paths.h"
#include "platform/files/processor_cores.h"

#include <algorithm>
#include <thread>

namespace search {
namespace {

unsigned threadsFor(const AnswerPolicy& policy)
{
    if (policy.threads > 0)
        return policy.threads;
    return std::min(platform::processorCores(), 4u);
}

} // namespace

MemoryAnswer::MemoryAnswer(const WalkMemory& memory, MemoryFolder start, QByteArray startPath,
                           const MatchCriteria& request, AnswerPolicy policy, std::shared_ptr<AnswerFolders> earlier)
    : memory_(memory), policy_(policy), needle_(request), filters_(threadsFor(policy), EntryFilter(request)),
      runs_(filters_.size())
{
    policy_.firstBatch = std::max<uint32_t>(policy_.firstBatch, 1);
    policy_.largestBatch = std::max(policy_.largestBatch, policy_.firstBatch);
    if (startPath.isNull())
        startPath = QByteArray("");
    if (earlier && earlier->memoryChanges == memory.changes() && earlier->start == start
        && (earlier->paths.empty() || earlier->paths[0] == startPath)) {
        order_ = std::move(earlier);
        return;
    }
    // Folders no other answer holds are made again in the same blocks, which need no new pages.
    if (earlier && earlier.use_count() == 1) {
        order_ = std::move(earlier);
        order_->clear();
    } else {
        order_ = std::make_shared<AnswerFolders>();
    }
    order_->memoryChanges = memory.changes();
    order_->start = start;
    order(start);
    order_->paths.resize(order_->folders.size());
    if (!order_->paths.empty())
        order_->paths[0] = std::move(startPath);
}

MemoryAnswer::~MemoryAnswer() = default;

// Breadth-first from the start, by the sub-folder links of each listing in listing order.
void MemoryAnswer::order(MemoryFolder start)
{
    if (!memory_.folder(start))
        return;
    order_->folders.push_back({start, memory_.folder(start)->identity, MemoryFolder::kNone, 0, 0});
    const FolderRecords& records = memory_.records();
    for (uint32_t at = 0; at < order_->folders.size(); ++at) {
        order_->firstEntry.push_back(order_->total);
        const FolderRecord* record = memory_.folder(order_->folders[at].record);
        if (!record)
            continue;
        const RememberedListing& listing = record->listing;
        order_->total += listing.size();
        for (const QueuedEntry& q : listing.queued()) {
            if (q.child == RememberedListing::kNoChild || listing.head(q.entry).has(EntryHead::Passed))
                continue;
            // A record leads back to the one entry that leads to it, so none is met twice; the
            // start is the only one a loop could come back to.
            const FolderRecord& below = records[q.child];
            if (below.parent != order_->folders[at].record.index || below.entryInParent != q.entry || q.child == start.index)
                continue;
            const MemoryFolder handle = records.handle(q.child);
            if (!memory_.folder(handle))
                continue;
            const QByteArrayView name = listing.name(q.entry);
            order_->folders.push_back({handle, below.identity, at, uint32_t(order_->names.size()), uint32_t(name.size())});
            order_->names.append(name);
        }
    }
    order_->firstEntry.push_back(order_->total);
}

bool MemoryAnswer::next(std::vector<MemoryHit>& hits, size_t maxHits, bool wholeFolder)
{
    while (maxHits > 0 && !done()) {
        if (pendingAt_ == pending_.size()) {
            pending_.clear();
            pendingAt_ = 0;
            const size_t before = hits.size();
            judgeBatch(hits, batchFor(maxHits));
            const size_t got = hits.size() - before;
            if (got > maxHits) {
                pending_.assign(hits.begin() + qsizetype(before + maxHits), hits.end());
                hits.resize(before + maxHits);
            }
            maxHits -= std::min(got, maxHits);
            continue;
        }
        const size_t n = std::min(maxHits, pending_.size() - pendingAt_);
        hits.insert(hits.end(), pending_.begin() + qsizetype(pendingAt_), pending_.begin() + qsizetype(pendingAt_ + n));
        pendingAt_ += n;
        maxHits -= n;
    }
    if (wholeFolder && !hits.empty()) {
        const uint32_t folder = hits.back().folder;
        while (!done()) {
            if (pendingAt_ == pending_.size()) {
                pending_.clear();
                pendingAt_ = 0;
                judgeBatch(pending_, batchFor(1));
            } else if (pending_[pendingAt_].folder == folder) {
                hits.push_back(pending_[pendingAt_++]);
            } else {
                break;
            }
        }
    }
    return !done();
}

uint64_t MemoryAnswer::batchFor(size_t wanted) const
{
    if (judged_ == 0)
        return policy_.firstBatch;
    // The entries that give about the hits wanted, at the rate found so far.
    const double entries = double(wanted) * double(judged_) / double(found_ + 1);
    return uint64_t(std::clamp(entries, double(policy_.firstBatch), double(policy_.largestBatch)));
}

void MemoryAnswer::judgeBatch(std::vector<MemoryHit>& hits, uint64_t size)
{
    const uint64_t from = judged_;
    const uint64_t to = std::min(order_->total, from + size);
    judged_ = to;
    const size_t before = hits.size();
    const unsigned runs = to - from >= policy_.parallelFrom ? unsigned(filters_.size()) : 1;
    if (runs == 1) {
        judgeRun(filters_[0], from, to, hits);
    } else {
        const auto cut = [&](unsigned run) { return from + (to - from) * run / runs; };
        std::vector<std::thread> helpers;
        for (unsigned run = 1; run < runs; ++run) {
            runs_[run].clear();
            helpers.emplace_back([this, run, &cut] { judgeRun(filters_[run], cut(run), cut(run + 1), runs_[run]); });
        }
        judgeRun(filters_[0], cut(0), cut(1), hits);
        for (std::thread& helper : helpers)
            helper.join();
        for (unsigned run = 1; run < runs; ++run)
            hits.insert(hits.end(), runs_[run].begin(), runs_[run].end());
    }
    found_ += hits.size() - before;
}

// The entries numbered from to to over the whole answer, in order.
void MemoryAnswer::judgeRun(EntryFilter& filter, uint64_t from, uint64_t to, std::vector<MemoryHit>& hits) const
{
    auto folder = uint32_t(std::upper_bound(order_->firstEntry.begin(), order_->firstEntry.end(), from) - order_->firstEntry.begin() - 1);
    for (uint64_t at = from; at < to; ++folder) {
        const uint64_t folderEnd = std::min(order_->firstEntry[folder + 1], to);
        const auto first = uint32_t(at - order_->firstEntry[folder]);
        const auto last = uint32_t(folderEnd - order_->firstEntry[folder]);
        at = folderEnd;
        const FolderRecord* record = memory_.folder(order_->folders[folder].record);
        if (!record)
            continue;
        const RememberedListing& listing = record->listing;
        // Names that all lack the needle lack it one by one too: the folder's in one pass.
        if (needle_.turnsDown(listing.allNames()))
            continue;
        for (uint32_t i = first; i < last; ++i) {
            const QByteArrayView name = listing.name(i);
            if (needle_.turnsDown(name))
                continue;
            const EntryTraits traits = listing.traits(i);
            if (filter.accepts(name, traits.queued, traits.attributes()))
                hits.push_back({folder, i});
        }
    }
}

std::optional<RememberedEntry> MemoryAnswer::entry(const MemoryHit& hit)
{
    if (hit.folder >= order_->folders.size())
        return std::nullopt;
    const MemoryFolder handle = order_->folders[hit.folder].record;
    const FolderRecord* record = memory_.folder(handle);
    if (!record || hit.entry >= record->listing.size())
        return std::nullopt;
    const RememberedListing& listing = record->listing;
    return RememberedEntry{pathOf(hit.folder), listing.name(hit.entry), listing.traits(hit.entry),
                           listing.length(hit.entry), listing.modified(hit.entry), record->identity, handle};
}

std::optional<uint32_t> MemoryAnswer::folderAt(QByteArrayView path)
{
    if (byPath_.isEmpty())
        for (uint32_t folder = 0; folder < order_->folders.size(); ++folder)
            byPath_.insert(pathOf(folder), folder);
    const auto it = byPath_.constFind(path.toByteArray());
    return it == byPath_.cend() ? std::nullopt : std::optional(*it);
}

std::optional<uint32_t> MemoryAnswer::folderWith(const platform::EntryIdentity& identity)
{
    if (byIdentity_.isEmpty())
        for (uint32_t folder = uint32_t(order_->folders.size()); folder-- > 0;)
            byIdentity_.insert({order_->folders[folder].identity.device, order_->folders[folder].identity.inode}, folder);
    const auto it = byIdentity_.constFind({identity.device, identity.inode});
    return it == byIdentity_.cend() ? std::nullopt : std::optional(*it);
}

const QByteArray& MemoryAnswer::pathOf(uint32_t folder)
{
    std::vector<uint32_t> unmade;
    for (uint32_t at = folder; order_->paths[at].isNull(); at = order_->folders[at].parent)
        unmade.push_back(at);
    for (auto it = unmade.rbegin(); it != unmade.rend(); ++it) {
        const AnswerFolders::Folder& made = order_->folders[*it];
        const QByteArrayView name = QByteArrayView(order_->names).sliced(made.nameOffset, made.nameLength);
        order_->paths[*it] = platform::joinPath(order_->paths[made.parent], name);
    }
    return order_->paths[folder];
}

} // namespace search
