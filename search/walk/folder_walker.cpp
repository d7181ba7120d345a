#include "search/walk/folder_walker.h"

#include "platform/files/file_system.h"
#include "platform/files/paths.h"
#include "search/match/entry_filter.h"
#include "search/walk/folder_slot.h"
#include "search/walk/walk_recorder.h"

#include <algorithm>

namespace search {

FolderWalker::FolderWalker(platform::FileSystem& fileSystem, FoundEntries& found, Yield yield, YieldPolicy policy,
                           ReadAheadPolicy readAhead)
    : fileSystem_(fileSystem), found_(found), yield_(std::move(yield)), policy_(std::move(policy)),
      readAhead_(readAhead)
{
}

FolderWalker::~FolderWalker() = default;

void FolderWalker::walk(const MatchCriteria& criteria, const WalkRoots& roots, bool memoryHeld)
{
    state_.FolderQueue.clear();
    state_.MatchCount = 0;
    state_.unreadableFolders = 0;
    state_.swappedFolders = 0;
    state_.locationUnreadable = false;
    state_.StopRequested = false;
    stats_ = {};
    const auto started = policy_.now();
    lastYield_ = started;
    entriesSinceClockCheck_ = 0;
    progressWaiting_ = rowsWaiting_ = false;
    source_ = makeReadAheadSource(fileSystem_, EntryFilter(criteria), readAhead_, threads_, state_.FolderQueue);
    singleRoot_ = roots.paths.size() == 1;
    if (memory_)
        recorder_ = std::make_unique<WalkRecorder>(*memory_, memoryHeld);

    // Each root's tree is finished before the next root is listed; a stop met in the queue drops
    // the roots not yet walked.
    for (size_t i = 0; i < roots.paths.size(); ++i) {
        auto root = std::make_shared<FolderSlot>();
        root->rootPath = roots.paths[i];
        root->followLink = i == 0 && roots.firstMayBeLink;
        root->sameVolumeOnly = roots.sameVolumeOnly;
        if (recorder_)
            recorder_->beginLocation(roots.paths[i], root->followLink);
        SearchFolder({roots.paths[i], std::move(root), 0});
        // A stop in the last folder leaves the queue empty, and that folder cut short.
        const bool ended = runQueue() && !state_.StopRequested;
        if (recorder_)
            recorder_->endLocation(ended);
        if (!ended)
            break;
    }
    if (recorder_) {
        recorder_->finish();
        recorder_.reset();
    }

    source_->cancel();
    stats_.readAheadThreads = source_->threads();
    source_.reset();
    current_ = {};
    // What was read ahead of the folders still queued goes now; their paths stay.
    state_.FolderQueue.releaseSlots();
    found_.flush();
    stats_.duration = policy_.now() - started;
}

void FolderWalker::releaseMemory()
{
    if (recorder_)
        recorder_->release();
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

void FolderWalker::entryDeleted(QByteArrayView path)
{
    if (source_ && path == platform::joinPath(current_.path, platform::lastComponent(path)))
        leftOutHere_.push_back(platform::lastComponent(path).toByteArray());
}

// The slot of a folder the walk has met at a path: the current folder, a queued one, or a folder
// above one of those.
FolderSlot* FolderWalker::slotAt(QByteArrayView path) const
{
    const QueuedFolder* below = platform::isSameOrBelow(current_.path, path) && current_.slot
        ? &current_ : state_.FolderQueue.findAtOrBelow(path);
    if (!below)
        return nullptr;
    FolderSlot* slot = below->slot.get();
    const QByteArrayView rest = QByteArrayView(below->path).sliced(platform::withoutTrailingSlashes(path).size());
    for (qsizetype levels = rest.count('/'); levels > 0 && slot; --levels)
        slot = slot->parent.get();
    return slot;
}

bool FolderWalker::entryRenamed(QByteArrayView from, QByteArrayView to)
{
    FolderSlot* slot = slotAt(from);
    const bool here = source_ && from == platform::joinPath(current_.path, platform::lastComponent(from));
    if (here) {
        leftOutHere_.push_back(platform::lastComponent(from).toByteArray());
        leftOutHere_.push_back(platform::lastComponent(to).toByteArray());
    }
    state_.FolderQueue.movePrefix(from, to);
    if (platform::movePath(current_.path, from, to)) {
        currentRenamed_ = true;
    }
    found_.movePrefix(from, to);
    // A row from memory may name an entry of a folder read ahead under its old name.
    if (source_ && !here)
        source_->diskChanged(platform::containingFolder(from));
    if (source_)
        source_->renamed(from, to, slot);
    return here;
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
    leftOutHere_.clear();
    const bool isRoot = !folder.slot->parent;
    bool progressShown = false;
    while (true) {
        currentRenamed_ = false;
        currentBegun_ = false;
        currentEntries_ = 0;
        currentGone_ = false;
        const std::unique_ptr<FolderReading> reading = source_->read(current_);
        if (!walkEntries(*reading, progressShown)) {
            if (recorder_ && currentBegun_)
                recorder_->endFolder(state_.StopRequested ? FolderState::Stopped : FolderState::Gone);
            return;
        }
        const FolderOutcome outcome = reading->outcome();
        // Opened by the name a rename from the window had just taken away: open it by the new one.
        if ((outcome == FolderOutcome::Gone || outcome == FolderOutcome::Swapped) && currentRenamed_)
            continue;
        if (!state_.StopRequested && !currentGone_)
            found_.folderDone(current_.path);
        if (recorder_)
            recordEnd(reading.get(), outcome);
        if (!state_.StopRequested)
            countUnlisted(outcome, isRoot); // the progress text keeps what it showed
        return;
    }
}

// False where the folder ended early: a stop, or deleted from inside a yield.
bool FolderWalker::walkEntries(FolderReading& reading, bool& progressShown)
{
    const EntryChunk* chunk = nullptr;
    while (nextChunk(reading, chunk)) {
        if (recorder_ && !currentBegun_) // before its sub-folders are queued under its number
            recordBegin(reading.folderIdentity());
        skippedHere_.clear();
        size_t folderIndex = 0;
        for (const ListedEntry& entry : chunk->entries) {
            if (state_.StopRequested) {
                recordChunk(*chunk);
                return false;
            }
            handleEntry(reading, *chunk, entry, folderIndex, progressShown);
            afterEntry();
            // Deleted from inside a yield: what is left of its listing names nothing.
            if (currentChanged_ && currentFolderGone())
                return false;
        }
        // Once handled, so that the entries the walk passed over as renamed are known.
        recordChunk(*chunk);
    }
    return true;
}

void FolderWalker::recordChunk(const EntryChunk& chunk)
{
    if (recorder_)
        recorder_->addChunk(chunk, skippedHere_);
}

void FolderWalker::recordBegin(const platform::EntryIdentity& identity)
{
    currentBegun_ = true;
    currentRecord_ = current_.recordParent == WalkRecorder::kNoFolder
        ? recorder_->beginRoot(identity)
        : recorder_->beginFolder(current_.recordParent, current_.recordEntry, identity);
}

void FolderWalker::recordEnd(const FolderReading* reading, FolderOutcome outcome)
{
    // Cut short while waiting for its next chunk.
    if (state_.StopRequested || currentGone_) {
        if (currentBegun_)
            recorder_->endFolder(state_.StopRequested ? FolderState::Stopped : FolderState::Gone);
        return;
    }
    if (outcome == FolderOutcome::OutOfBounds) {
        if (current_.recordParent != WalkRecorder::kNoFolder)
            recorder_->passOver(current_.recordParent, current_.recordEntry);
        if (currentBegun_)
            recorder_->endFolder(FolderState::Stopped);
        return;
    }
    if (!currentBegun_) {
        // Nothing was listed: the folder is remembered as gone or unreadable, under the identity
        // its parent's listing showed.
        recordBegin(current_.slot->expected.value_or(reading->folderIdentity()));
    }
    switch (outcome) {
    case FolderOutcome::Listed:
        recorder_->endFolder(FolderState::Listed);
        break;
    case FolderOutcome::Unreadable:
        recorder_->endFolder(FolderState::Unreadable);
        break;
    default:
        recorder_->endFolder(FolderState::Gone);
        break;
    }
}

void FolderWalker::countUnlisted(FolderOutcome outcome, bool isRoot)
{
    if (outcome == FolderOutcome::Swapped)
        ++state_.swappedFolders;
    if (outcome != FolderOutcome::Unreadable)
        return;
    if (isRoot && singleRoot_)
        state_.locationUnreadable = true;
    else
        ++state_.unreadableFolders;
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
        if (state_.StopRequested)
            return false;
        if (currentChanged_ && currentFolderGone()) {
            currentGone_ = true;
            return false;
        }
        reading.wait(std::max<std::chrono::nanoseconds>(policy_.interval, std::chrono::milliseconds(1)));
    }
}

bool FolderWalker::currentFolderGone()
{
    currentChanged_ = false;
    return fileSystem_.firstMatch(platform::joinPath(current_.path, "")).isEmpty();
}

void FolderWalker::handleEntry(FolderReading& reading, const EntryChunk& chunk, const ListedEntry& entry,
                               size_t& folderIndex, bool& progressShown)
{
    if (entry.kind == ListedEntry::Kind::Dot)
        return;
    if (!leftOutHere_.empty()
        && std::find(leftOutHere_.begin(), leftOutHere_.end(), chunk.name(entry)) != leftOutHere_.end()) {
        skippedHere_.push_back(uint32_t(&entry - chunk.entries.data()));
        if (entry.kind == ListedEntry::Kind::Folder)
            reading.skip(chunk.folders[folderIndex++]);
        return;
    }
    ++stats_.entries;
    const uint32_t index = currentEntries_++;
    if (!progressShown) {
        progressFolder_ = current_.path;
        progressWaiting_ = progressShown = true;
    }
    // Every sub-folder is queued before any test: folders of another category, hidden ones and
    // ones whose names do not match are searched all the same.
    if (entry.kind == ListedEntry::Kind::Folder) {
        const std::shared_ptr<FolderSlot>& slot = chunk.folders[folderIndex++];
        slot->queued = true;
        state_.FolderQueue.push({platform::joinPath(current_.path, chunk.name(entry)), slot, 0,
                                 recorder_ ? currentRecord_ : WalkRecorder::kNoFolder, index});
    }
    if (entry.accepted)
        found(chunk, entry, reading.folderIdentity());
}

void FolderWalker::found(const EntryChunk& chunk, const ListedEntry& entry,
                         const platform::EntryIdentity& folderIdentity)
{
    ++state_.MatchCount;
    found_.add({current_.path, chunk.name(entry), entry.isDirectory, entry.length, entry.modified, folderIdentity});
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
    found_.flush();
    WalkProgress progress;
    if (progressWaiting_)
        progress.folder = &progressFolder_;
    progress.rowsAdded = rowsWaiting_;
    progressWaiting_ = rowsWaiting_ = false;
    yield_(progress);
}

} // namespace search
