#include "search/folder_walker.h"

#include "platform/file_name_text.h"
#include "platform/file_system.h"
#include "platform/icon_source.h"
#include "platform/paths.h"
#include "search/entry_filter.h"
#include "search/result_list.h"

namespace search {

FolderWalker::FolderWalker(platform::FileSystem& fileSystem, platform::IconSource& icons, ResultList& results,
                           Yield yield, YieldPolicy policy, ReadAheadPolicy readAhead)
    : fileSystem_(fileSystem), icons_(icons), results_(results), yield_(std::move(yield)), policy_(std::move(policy)),
      readAhead_(readAhead)
{
}

FolderWalker::~FolderWalker() = default;

void FolderWalker::walk(const SearchRequest& request, const WalkRoots& roots)
{
    state_.FolderQueue.clear();
    state_.MatchCount = 0;
    state_.StopRequested = false;
    stats_ = {};
    const auto started = policy_.now();
    lastYield_ = started;
    entriesSinceClockCheck_ = 0;
    progressWaiting_ = rowsWaiting_ = false;
    const EntryFilter filter(request);
    source_ = readAhead_.enabled ? makeReadAheadSource(fileSystem_, filter, readAhead_)
                                 : makeDirectSource(fileSystem_, filter);

    // Each root's tree is finished before the next root is listed; a stop met in the queue drops
    // the roots not yet walked.
    for (size_t i = 0; i < roots.paths.size(); ++i) {
        const bool followLink = i == 0 && roots.firstMayBeLink;
        SearchFolder({roots.paths[i], 0, roots.sameVolumeOnly, followLink, 0});
        if (!runQueue())
            break;
    }

    source_->cancel();
    stats_.readAheadThreads = source_->threads();
    source_.reset();
    results_.flush();
    stats_.duration = policy_.now() - started;
}

void FolderWalker::stop()
{
    state_.StopRequested = true;
}

void FolderWalker::dropQueue()
{
    state_.FolderQueue.clear();
}

void FolderWalker::diskChanged(QByteArrayView path)
{
    if (platform::isSameOrBelow(current_.path, path))
        currentChanged_ = true;
    // The folder holding the changed entry may have been read ahead without it, or with it.
    if (source_)
        source_->diskChanged(platform::containingFolder(path));
}

void FolderWalker::entryRenamed(QByteArrayView from, QByteArrayView to)
{
    state_.FolderQueue.movePrefix(from, to);
    if (platform::isSameOrBelow(current_.path, from))
        current_.path = to.toByteArray() + current_.path.mid(from.size());
    results_.movePrefix(from, to);
    diskChanged(from);
}

bool FolderWalker::runQueue()
{
    while (!state_.FolderQueue.empty()) {
        if (state_.StopRequested)
            return false;
        SearchFolder(state_.FolderQueue.takeNext());
    }
    return true;
}

void FolderWalker::SearchFolder(const QueuedFolder& folder)
{
    current_ = folder;
    currentChanged_ = false;
    const std::unique_ptr<FolderReading> reading = source_->read(folder);
    if (!reading)
        return; // the progress text keeps what it showed
    bool progressShown = false;
    const EntryChunk* chunk = nullptr;
    while (nextChunk(*reading, chunk)) {
        for (const ListedEntry& entry : chunk->entries) {
            if (state_.StopRequested)
                return;
            handleEntry(*reading, *chunk, entry, progressShown);
            afterEntry();
            // Deleted from inside a yield: what is left of its listing names nothing.
            if (currentChanged_ && currentFolderGone())
                return;
        }
    }
}

bool FolderWalker::nextChunk(FolderReading& reading, const EntryChunk*& chunk)
{
    while (true) {
        const ChunkStatus status = reading.next(chunk);
        if (status != ChunkStatus::NotYet)
            return status == ChunkStatus::Ready;
        if (state_.StopRequested)
            return false;
        const auto now = policy_.now();
        const auto sinceYield = std::chrono::nanoseconds(now - lastYield_);
        if (sinceYield < policy_.interval) {
            reading.wait(policy_.interval - sinceYield);
            continue;
        }
        yieldToWindow(now);
        if (state_.StopRequested || (currentChanged_ && currentFolderGone()))
            return false;
        reading.wait(std::max<std::chrono::nanoseconds>(policy_.interval, std::chrono::milliseconds(1)));
    }
}

bool FolderWalker::currentFolderGone()
{
    currentChanged_ = false;
    return fileSystem_.firstMatch(platform::joinPath(current_.path, "")).isEmpty();
}

void FolderWalker::handleEntry(const FolderReading& reading, const EntryChunk& chunk, const ListedEntry& entry,
                               bool& progressShown)
{
    if (entry.kind == ListedEntry::Kind::Dot)
        return;
    ++stats_.entries;
    if (!progressShown) {
        progressFolder_ = current_.path;
        progressWaiting_ = progressShown = true;
    }
    // Every sub-folder is queued before any test: folders of another category, hidden ones and
    // ones whose names do not match are searched all the same.
    if (entry.kind == ListedEntry::Kind::Folder) {
        source_->folderQueued(state_.FolderQueue.push(
            {platform::joinPath(current_.path, chunk.name(entry)), reading.volume(), current_.sameVolumeOnly}));
    }
    if (entry.accepted)
        AddResultRow(chunk, entry, reading.folderIdentity());
}

void FolderWalker::AddResultRow(const EntryChunk& chunk, const ListedEntry& entry,
                                const platform::EntryIdentity& folderIdentity)
{
    ++state_.MatchCount;
    ResultRow row;
    row.folder = current_.path;
    row.name = chunk.name(entry).toByteArray();
    row.icon = icons_.GetFileIcon(platform::fileNameText(row.name), entry.isDirectory);
    if (entry.identity)
        row.identity = *entry.identity;
    row.folderIdentity = folderIdentity;
    row.isFolder = entry.isDirectory;
    if (entry.length) {
        row.size = *entry.length;
        row.hasSize = true;
    }
    results_.append(std::move(row));
    rowsWaiting_ = true;
}

void FolderWalker::afterEntry()
{
    if (policy_.interval.count() <= 0) {
        yieldToWindow(policy_.now());
        return;
    }
    if (++entriesSinceClockCheck_ < policy_.entriesPerClockCheck)
        return;
    entriesSinceClockCheck_ = 0;
    const auto now = policy_.now();
    if (now - lastYield_ >= policy_.interval)
        yieldToWindow(now);
}

void FolderWalker::yieldToWindow(std::chrono::steady_clock::time_point now)
{
    stats_.longestGap = std::max(stats_.longestGap, std::chrono::nanoseconds(now - lastYield_));
    lastYield_ = now;
    ++stats_.yields;

    // Everything the walk did since the last yield reaches the window before any handler runs.
    results_.flush();
    WalkProgress progress;
    if (progressWaiting_)
        progress.folder = &progressFolder_;
    progress.rowsAdded = rowsWaiting_;
    progressWaiting_ = rowsWaiting_ = false;
    yield_(progress);
}

} // namespace search
