// Folders read ahead of the walk on worker threads; the walk still takes each folder in queue
// order, so rows come exactly as without the workers. Nothing here touches a row or a widget.
//
// - slot (folder_slot.h): one folder, found by its parent and its name there, with what its
//   parent's listing showed of it, its state (waiting, reading, read) and the chunks read of it.
// - read order: the slots not yet started, in the order the workers met them. A worker that
//   lists a folder adds its sub-folders at once, so reading runs as deep as the disk allows.
// - lane: the slot the walk is on.
// - budget: entries read and not yet handed to the walk, and folders read before their turn.
// - cache: folders kept open, so that each folder is opened from its nearest open ancestor
//   without following a link, and compared with what its parent's listing showed.
// - change log: folders an action changed or renamed inside a yield; a slot whose reading began
//   before is read afresh at its turn (a rename may have come between building a path from an
//   open folder and opening it).
//
// Why it always makes progress: the walk waits only on its lane. A waiting lane is the first
// thing any worker takes, whatever the budget. A worker holds at most one folder of its own
// besides the lane; when the budget is full it keeps that folder's listing and takes nothing
// new, so no worker ever sleeps on a budget while the lane waits, and one that is reading sees
// the lane after its current chunk. The lane's reader waits only while the lane's own chunks
// are full, and the walk empties those. With no worker at all the walk reads its lane itself.
// How a stop reaches every thread: one cancel flag, read before every entry and every system
// call of a listing; the walk leaves at once, and each worker leaves after its current system
// call, touching nothing but the session it shares with the source.
#include "search/walk/chunk_reader.h"
#include "search/match/entry_filter.h"
#include "search/walk/folder_queue.h"
#include "search/walk/folder_reading.h"
#include "search/walk/folder_slot.h"
#include "search/walk/open_folder_cache.h"
#include "search/walk/read_ahead.h"
#include "search/walk/worker_threads.h"

#include "platform/files/file_system.h"
#include "platform/files/paths.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace search {

namespace {

constexpr int kExtraWorkerNice = 10;
// Small enough that the walk's own thread reads a chunk well within one yield interval.
constexpr size_t kWalkThreadChunk = 256;

// Asked once: the standard library reads the count from a file of the kernel's every time.
int cores()
{
    static const int count = std::max(1, int(std::thread::hardware_concurrency()));
    return count;
}

bool meansGone(int error)
{
    return error == ENOENT || error == ENOTDIR || error == ELOOP;
}

} // namespace

int ReadAheadPolicy::firstWorkers() const
{
    return workers > 0 ? workers : std::max(2, cores());
}

// Most of a worker's time on a cold disk is a wait, and a disk answers several requests at once.
int ReadAheadPolicy::mostWorkers() const
{
    return workers > 0 ? workers : std::clamp(4 * cores(), 4, 16);
}

namespace {

// A folder a thread is reading: its slot and, once opened, its listing.
struct Task {
    std::shared_ptr<FolderSlot> slot;
    std::unique_ptr<platform::FolderListing> listing;
    bool metFolders = false; // the listing showed a sub-folder, which will be opened from it

    explicit operator bool() const { return bool(slot); }
    void reset()
    {
        slot.reset();
        listing.reset();
        metFolders = false;
    }
};

// How a task's folder is opened: from its nearest open ancestor, by the names between them, or
// by its full path for a root. Made under the lock, used without it.
struct Opening {
    std::shared_ptr<platform::OpenFolder> base;
    QByteArray names;
};

// What the walk and the workers share; it lives until the last of them has left.
struct Session {
    Session(platform::FileSystem& fs, const ReadAheadPolicy& p)
        : fileSystem(fs), policy(p), cache(p.openFolders ? p.openFolders : defaultOpenFolders())
    {
    }

    platform::FileSystem& fileSystem;
    const ReadAheadPolicy policy;
    int workers = 0; // set before any starts
    std::atomic<bool> cancelled{false};

    std::mutex mutex;
    std::condition_variable workChanged; // a lane, a folder to read, room in the budget, a cancel
    std::condition_variable chunkReady;  // for the walk
    // Everything below is guarded by the mutex.
    std::shared_ptr<FolderSlot> lane;
    std::deque<std::shared_ptr<FolderSlot>> readOrder;
    size_t entriesWaiting = 0;
    size_t foldersAhead = 0;
    uint64_t changeEpoch = 0;
    OpenFolderCache cache;
    std::vector<std::shared_ptr<platform::OpenFolder>> closing; // put out of the cache, to close unlocked
    std::vector<EntryChunk> spareChunks; // handed back by the walk, their buffers kept
    int idleWorkers = 0;
    bool walkWaits = false;

    bool entriesAllow() const { return entriesWaiting < policy.entriesAhead; }
    bool mayStartAhead() const { return entriesAllow() && foldersAhead < policy.foldersAhead; }
    bool hasRoom(const FolderSlot& slot) const
    {
        return slot.chunks.empty() || slot.entriesWaiting < policy.entriesAhead;
    }
    bool laneWaits() const { return lane && !lane->dropped && lane->state == FolderSlot::State::Waiting; }

    void start(FolderSlot& slot, bool ahead)
    {
        slot.state = FolderSlot::State::Reading;
        slot.readEpoch = changeEpoch;
        if (ahead) {
            slot.countedAhead = true;
            ++foldersAhead;
        }
    }

    std::shared_ptr<FolderSlot> nextWaiting()
    {
        while (!readOrder.empty()) {
            std::shared_ptr<FolderSlot> slot = std::move(readOrder.front());
            readOrder.pop_front();
            if (slot->state == FolderSlot::State::Waiting && !slot->dropped)
                return slot;
        }
        return nullptr;
    }

    // One idle worker for the folders waiting to be read; each that takes one wakes the next.
    void wakeForWork()
    {
        if (idleWorkers > 0 && !readOrder.empty() && mayStartAhead())
            workChanged.notify_one();
    }

    // Wakes the walk where it waits for this slot.
    void tellWalk(const FolderSlot& slot)
    {
        if (walkWaits && lane.get() == &slot)
            chunkReady.notify_one();
    }

    void finish(const std::shared_ptr<FolderSlot>& slot, FolderOutcome outcome)
    {
        slot->state = FolderSlot::State::Read;
        slot->outcome = outcome;
        cache.keep(slot, closing);
        tellWalk(*slot);
    }

    void publish(FolderSlot& slot, EntryChunk chunk)
    {
        if (chunk.entries.empty())
            return;
        if (workers > 0 && !chunk.folders.empty()) {
            for (const std::shared_ptr<FolderSlot>& folder : chunk.folders)
                readOrder.push_back(folder);
            wakeForWork();
        }
        slot.entriesWaiting += chunk.entries.size();
        entriesWaiting += chunk.entries.size();
        slot.chunks.push_back(std::move(chunk));
        tellWalk(slot);
    }

    // The walk took a chunk: a worker held back by a full budget, or by the lane's own, may go on.
    void handedOut(FolderSlot& slot, const EntryChunk& chunk)
    {
        const size_t n = chunk.entries.size(), full = policy.entriesAhead;
        const bool budgetFreed = entriesWaiting >= full && entriesWaiting - n < full;
        const bool laneFreed = slot.entriesWaiting >= full && slot.entriesWaiting - n < full;
        slot.entriesWaiting -= n;
        entriesWaiting -= n;
        if ((budgetFreed || laneFreed) && idleWorkers > 0)
            workChanged.notify_all();
    }

    EntryChunk spareChunk()
    {
        if (spareChunks.empty())
            return {};
        EntryChunk chunk = std::move(spareChunks.back());
        spareChunks.pop_back();
        return chunk;
    }
    void recycle(EntryChunk& chunk)
    {
        if (chunk.entries.capacity() == 0 || spareChunks.size() >= 2 * size_t(std::max(workers, 1)) + 2)
            return;
        chunk.entries.clear();
        chunk.names.resize(0); // keeps its buffer
        chunk.folders.clear();
        spareChunks.push_back(std::move(chunk));
    }

    // Nobody will take the slot: it is read no further, and what was read of it goes, with the
    // slots of its sub-folders that the walk has not queued.
    void drop(const std::shared_ptr<FolderSlot>& first)
    {
        std::vector<std::shared_ptr<FolderSlot>> pending{first};
        while (!pending.empty()) {
            const std::shared_ptr<FolderSlot> slot = std::move(pending.back());
            pending.pop_back();
            slot->dropped = true;
            if (slot->countedAhead) {
                slot->countedAhead = false;
                --foldersAhead;
            }
            for (const EntryChunk& chunk : slot->chunks) {
                dropUnqueued(chunk, pending);
                entriesWaiting -= chunk.entries.size();
            }
            slot->chunks.clear();
            slot->entriesWaiting = 0;
        }
        if (idleWorkers > 0)
            workChanged.notify_all();
    }
    static void dropUnqueued(const EntryChunk& chunk, std::vector<std::shared_ptr<FolderSlot>>& into)
    {
        for (const std::shared_ptr<FolderSlot>& folder : chunk.folders)
            if (!folder->queued && !folder->dropped)
                into.push_back(folder);
    }

    bool plan(FolderSlot& slot, Opening& opening);
    FolderOutcome judge(const FolderSlot& slot, const platform::OpenedFolder& opened);
    void step(std::unique_lock<std::mutex>& lock, Task& task, EntryFilter& filter, size_t chunkEntries);
};

// False where nothing can be opened: the root above the folder did not open.
bool Session::plan(FolderSlot& slot, Opening& opening)
{
    std::vector<const QByteArray*> names;
    for (FolderSlot* at = &slot; at->parent && !opening.base; at = at->parent.get()) {
        names.push_back(&at->name);
        opening.base = at->parent->open;
        if (opening.base)
            cache.used(*at->parent);
    }
    if (slot.parent && !opening.base)
        return false;
    for (auto name = names.rbegin(); name != names.rend(); ++name)
        opening.names += (opening.names.isEmpty() ? "" : "/") + **name;
    return true;
}

// Whether the folder that opened is the one its parent's listing showed, and may be walked.
// Reads only what a slot never changes once shared, so it needs no lock.
FolderOutcome Session::judge(const FolderSlot& slot, const platform::OpenedFolder& opened)
{
    if (!opened.folder)
        return meansGone(opened.error) ? FolderOutcome::Gone : FolderOutcome::Unreadable;
    const platform::EntryIdentity identity = opened.folder->identity();
    // A mount point shows the folder below the mount in its parent's listing, another volume here.
    if (slot.expected && slot.expected->device == identity.device && slot.expected->inode != identity.inode)
        return FolderOutcome::Gone;
    const uint64_t parentVolume = slot.parent ? slot.parent->identity.device : 0;
    if (identity.device == parentVolume)
        return FolderOutcome::Listed;
    if ((slot.sameVolumeOnly && parentVolume != 0) || fileSystem.isVirtualVolume(identity.device))
        return FolderOutcome::OutOfBounds;
    return FolderOutcome::Listed;
}

// One chunk of a task's folder, opening it first where needed; the lock is given up once, while
// the disk is read.
void Session::step(std::unique_lock<std::mutex>& lock, Task& task, EntryFilter& filter, size_t chunkEntries)
{
    const std::shared_ptr<FolderSlot> slot = task.slot;
    std::optional<Opening> opening;
    if (!task.listing && !plan(*slot, opening.emplace())) {
        finish(slot, FolderOutcome::Gone); // its root did not open: nothing below it either
        task.reset();
        return;
    }
    EntryChunk chunk = spareChunk();
    std::vector<std::shared_ptr<platform::OpenFolder>> toClose;
    toClose.swap(closing);
    slot->stepping = true;
    lock.unlock();
    toClose.clear(); // the descriptors the cache let go close outside the lock
    platform::OpenedFolder opened;
    FolderOutcome outcome = FolderOutcome::Listed;
    if (opening) {
        opened = opening->base ? fileSystem.openBelow(*opening->base, opening->names)
                               : fileSystem.openFolder(slot->rootPath, slot->followLink);
        opening.reset();
        outcome = judge(*slot, opened);
        if (outcome == FolderOutcome::Listed)
            task.listing = opened.folder->list(&cancelled);
    }
    const bool more = task.listing && readChunk(*task.listing, filter, slot, chunk, chunkEntries, cancelled);
    task.metFolders |= !chunk.folders.empty();
    const int listingError = !more && task.listing ? task.listing->error() : 0;
    platform::EntryIdentity identity;
    if (opened.folder)
        identity = opened.folder->identity();
    // A folder with no sub-folder is never opened from: it closes at once, while what the file
    // system keeps of its listing is still fresh (closing it long after costs several times as much).
    const bool closesNow = !more && !task.metFolders && task.listing;
    if (closesNow) {
        task.listing.reset();
        opened.folder.reset();
    }
    lock.lock();
    slot->stepping = false;
    if (cancelled)
        return;
    if (slot->dropped) {
        task.reset();
        return;
    }
    if (outcome != FolderOutcome::Listed) {
        task.reset();
        finish(slot, outcome);
        return;
    }
    if (identity.known())
        slot->identity = identity;
    if (opened.folder)
        slot->open = std::move(opened.folder);
    publish(*slot, std::move(chunk));
    if (!more) {
        if (closesNow && slot->open) // read over several chunks: closed on the next step, unlocked
            closing.push_back(std::move(slot->open));
        task.reset();
        finish(slot, listingError ? FolderOutcome::Unreadable : FolderOutcome::Listed);
    }
}

// One worker thread: the lane first, then its own folder, then the next waiting one.
class Worker {
public:
    Worker(std::shared_ptr<Session> session, EntryFilter filter)
        : session_(std::move(session)), filter_(std::move(filter))
    {
    }

    void run()
    {
        Session& s = *session_;
        std::unique_lock lock(s.mutex);
        while (true) {
            Task* task = nullptr;
            while (!s.cancelled && !(task = choose())) {
                ++s.idleWorkers;
                s.workChanged.wait(lock);
                --s.idleWorkers;
            }
            if (s.cancelled)
                break;
            s.step(lock, *task, filter_, s.policy.entriesPerChunk);
        }
        lock.unlock();
        own_.reset();
        lane_.reset();
    }

private:
    Task* choose()
    {
        Session& s = *session_;
        if (own_ && own_.slot->dropped)
            own_.reset();
        if (lane_ && lane_.slot->dropped)
            lane_.reset();
        if (s.laneWaits() && !(own_ && lane_)) {
            Task& task = own_ ? lane_ : own_;
            task.slot = s.lane;
            s.start(*task.slot, false);
            return &task;
        }
        if (lane_ && s.hasRoom(*lane_.slot))
            return &lane_;
        if (own_ && (own_.slot == s.lane ? s.hasRoom(*own_.slot) : s.entriesAllow()))
            return &own_;
        if (!own_ && s.mayStartAhead()) {
            own_.slot = s.nextWaiting();
            if (!own_)
                return nullptr;
            s.start(*own_.slot, own_.slot != s.lane);
            s.wakeForWork();
            return &own_;
        }
        return nullptr;
    }

    std::shared_ptr<Session> session_;
    EntryFilter filter_; // each worker judges with a copy of its own
    Task own_;           // a folder it began ahead of the walk, or the lane
    Task lane_;          // the lane, taken while it held a folder of its own
};

class ReadAheadReading : public FolderReading {
public:
    // returned: where the last chunk goes once the walk is done with the folder, for the next
    // reading to hand back to the workers.
    ReadAheadReading(std::shared_ptr<Session> session, std::shared_ptr<FolderSlot> slot, EntryFilter* walkFilter,
                     EntryChunk& returned)
        : session_(std::move(session)), slot_(std::move(slot)), walkFilter_(walkFilter), returned_(returned)
    {
    }
    ~ReadAheadReading() override
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

    ChunkStatus next(const EntryChunk*& chunk) override
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
            // No worker: the walk's own thread reads its folder.
            if (!task_) {
                task_.slot = slot_;
                s.start(*slot_, false);
            }
            s.step(lock, task_, *walkFilter_, kWalkThreadChunk);
        }
    }

    void wait(std::chrono::nanoseconds longest) override
    {
        Session& s = *session_;
        std::unique_lock lock(s.mutex);
        s.walkWaits = true;
        s.chunkReady.wait_for(lock, longest, [&] {
            return !slot_->chunks.empty() || slot_->state == FolderSlot::State::Read || s.cancelled;
        });
        s.walkWaits = false;
    }

    platform::EntryIdentity folderIdentity() const override { return identity_; }
    FolderOutcome outcome() const override { return outcome_; }

private:
    std::shared_ptr<Session> session_;
    std::shared_ptr<FolderSlot> slot_;
    EntryFilter* walkFilter_; // set where no worker reads
    EntryChunk& returned_;
    Task task_;
    EntryChunk current_;
    bool ended_ = false;
    bool lastHandedOut_ = false;
    platform::EntryIdentity identity_;
    FolderOutcome outcome_ = FolderOutcome::Listed;
};

class ReadAheadSource : public FolderSource {
public:
    ReadAheadSource(platform::FileSystem& fileSystem, const EntryFilter& filter, const ReadAheadPolicy& policy,
                    WorkerThreads& threads)
        : session_(std::make_shared<Session>(fileSystem, policy)), filter_(filter), threads_(threads)
    {
        // Set before any worker runs, so nobody reads it changing: later workers only add to it.
        session_->workers = policy.enabled ? policy.mostWorkers() : 0;
        if (policy.enabled)
            for (int i = 0; i < policy.firstWorkers() && addWorker(); ++i) {
            }
        if (started_ == 0)
            session_->workers = 0;
    }
    ~ReadAheadSource() override { cancel(); }

    std::unique_ptr<FolderReading> read(QueuedFolder& folder) override;
    void diskChanged(QByteArrayView folder) override;
    void renamed(QByteArrayView from, QByteArrayView to, FolderSlot* slot) override;
    void cancel() override;
    int threads() const override { return started_; }

private:
    bool addWorker()
    {
        // Workers beyond the cores are there to wait on the disk; when they do have work for the
        // processor, the walk's thread goes first, so the window keeps its turn.
        const bool extra = started_ >= session_->policy.firstWorkers();
        auto worker = std::make_shared<Worker>(session_, filter_);
        const bool ok = threads_.start([worker, extra] {
            ::pthread_setname_np(::pthread_self(), "sorvane-read"); // for top and profilers
            if (extra)
                ::setpriority(PRIO_PROCESS, ::gettid(), kExtraWorkerNice); // a thread's own on Linux
            worker->run();
        });
        started_ += ok;
        return ok;
    }
    bool readBefore(const QueuedFolder& folder) const;
    bool diskBusy();

    struct Change {
        QByteArray folder;
        uint64_t epoch;
    };

    std::shared_ptr<Session> session_;
    EntryFilter filter_; // copied for each worker; the walk's own where none started
    WorkerThreads& threads_;
    int started_ = 0;
    std::vector<Change> changes_; // on the walk's thread
    EntryChunk returned_;         // the last folder's last chunk, on the walk's thread
    std::chrono::steady_clock::time_point lastDiskCheck_;
    std::optional<uint64_t> bytesFromDisks_;
};

// Whether the workers had the disk read for them since the last look: a cold disk answers each
// listing in milliseconds, and one worker more keeps one more request in flight. Looked at now
// and then, since it costs a read of the kernel's counters.
bool ReadAheadSource::diskBusy()
{
    const auto now = std::chrono::steady_clock::now();
    if (now - lastDiskCheck_ < std::chrono::milliseconds(20))
        return false;
    lastDiskCheck_ = now;
    const std::optional<uint64_t> before = bytesFromDisks_;
    bytesFromDisks_ = session_->fileSystem.bytesReadFromDisks();
    return before && bytesFromDisks_ && *bytesFromDisks_ > *before;
}

// Whether an action changed the disk at or above the folder after its reading began.
bool ReadAheadSource::readBefore(const QueuedFolder& folder) const
{
    return std::any_of(changes_.begin(), changes_.end(), [&](const Change& change) {
        return change.epoch > folder.slot->readEpoch && platform::isSameOrBelow(folder.path, change.folder);
    });
}

std::unique_ptr<FolderReading> ReadAheadSource::read(QueuedFolder& folder)
{
    Session& s = *session_;
    if (started_ > 0 && started_ < s.policy.mostWorkers() && diskBusy())
        addWorker();
    const std::lock_guard lock(s.mutex);
    if (folder.slot->state != FolderSlot::State::Waiting && readBefore(folder)) {
        s.drop(folder.slot);
        folder.slot = folder.slot->fresh();
    }
    if (folder.slot->countedAhead) {
        folder.slot->countedAhead = false;
        if (s.foldersAhead-- == s.policy.foldersAhead && s.idleWorkers > 0)
            s.workChanged.notify_all(); // room to read one more ahead
    }
    s.recycle(returned_);
    s.lane = folder.slot;
    // Nobody reads it yet, or the worker that began it holds it back for the budget: wake them.
    const FolderSlot& lane = *folder.slot;
    if (s.idleWorkers > 0
        && (lane.state == FolderSlot::State::Waiting || (lane.state == FolderSlot::State::Reading && !lane.stepping)))
        s.workChanged.notify_all();
    return std::make_unique<ReadAheadReading>(session_, folder.slot, started_ == 0 ? &filter_ : nullptr, returned_);
}

void ReadAheadSource::diskChanged(QByteArrayView folder)
{
    const std::lock_guard lock(session_->mutex);
    changes_.push_back({folder.toByteArray(), ++session_->changeEpoch});
}

void ReadAheadSource::renamed(QByteArrayView from, QByteArrayView to, FolderSlot* slot)
{
    for (Change& change : changes_)
        platform::movePath(change.folder, from, to);
    const std::lock_guard lock(session_->mutex);
    if (slot)
        slot->name = platform::lastComponent(to).toByteArray();
    changes_.push_back({to.toByteArray(), ++session_->changeEpoch});
}

void ReadAheadSource::cancel()
{
    Session& s = *session_;
    const std::lock_guard lock(s.mutex);
    s.cancelled = true;
    s.lane.reset();
    s.readOrder.clear();
    s.cache.clear();
    s.closing.clear();
    s.spareChunks.clear();
    s.workChanged.notify_all();
    s.chunkReady.notify_all();
}

} // namespace

std::unique_ptr<FolderSource> makeReadAheadSource(platform::FileSystem& fileSystem, const EntryFilter& filter,
                                                  const ReadAheadPolicy& policy, WorkerThreads& threads)
{
    return std::make_unique<ReadAheadSource>(fileSystem, filter, policy, threads);
}

} // namespace search
