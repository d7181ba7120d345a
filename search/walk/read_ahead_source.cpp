// Folders read on the walk's own thread while the disk does not wait, and ahead of the walk by
// worker threads from the first listing that did; the walk still takes each folder in queue
// order, so rows come exactly as without the workers. Nothing here touches a row or a widget.
//
// - slot (folder_slot.h): one folder, found by its parent and its name there, with what its
//   parent's listing showed of it, its state (waiting, reading, read) and the chunks read of it.
// - lane: the slot the walk is on. The walk reads it itself (a chunk between two looks at the
//   window) where its volume is local and no listing has waited on the disk for a while; else
//   it leaves it to the workers, and waits for its chunks.
// - ahead: from a listing that waited on the disk (the process's reads from storage grew), or a
//   lane on a volume that is not local, until none has for a while. Workers start then; the
//   walk's queued folders and every sub-folder listed since join the read order, and the
//   workers take them up, so reading runs as deep as the disk allows. Off, the read order is
//   emptied and no worker is woken: on a warm cache no folder changes threads.
// - budget: entries read and not yet handed to the walk, and folders read before their turn.
// - cache: folders kept open, so that each folder is opened from its nearest open ancestor
//   without following a link, and compared with what its parent's listing showed.
// - change log: folders an action changed or renamed inside a yield; a slot whose reading began
//   before is read afresh at its turn (a rename may have come between building a path from an
//   open folder and opening it).
//
// Why it always makes progress: the walk waits only on a lane it left to the workers, until the
// lane has something and a batch of entries waits read or a worker is idle: a worker that is not
// idle is reading, so the entries grow or it becomes idle, and each of those tells the walk. A waiting
// lane is the first thing any worker takes, whatever the budget, and the walk wakes them when it
// moves its lane. A worker holds at most one folder of its own besides the lane; when the budget
// is full it keeps that folder's listing and takes nothing new, so no worker ever sleeps on a
// budget while the lane waits, and one that is reading sees the lane after its current chunk.
// The lane's reader waits only while the lane's own chunks are full, and the walk empties
// those. A lane the walk reads itself needs nobody; with no worker at all the walk reads every
// lane. How a stop reaches every thread: one cancel flag, read before every entry and every
// system call of a listing; the walk leaves at once, and each worker leaves after its current
// system call, touching nothing but the session it shares with the source.
#include "search/walk/change_log.h"
#include "search/walk/folder_queue.h"
#include "search/walk/read_ahead.h"
#include "search/walk/read_ahead_reading.h"
#include "search/walk/read_ahead_session.h"
#include "search/walk/read_ahead_worker.h"
#include "search/walk/worker_threads.h"

#include "platform/files/paths.h"
#include "platform/files/processor_cores.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <optional>

namespace search {
namespace {

constexpr int kWorkerNice = 10;

} // namespace

int ReadAheadPolicy::firstWorkers() const
{
    return workers > 0 ? workers : std::max(2, int(platform::processorCores()));
}

// Most of a worker's time on a cold disk is a wait, and a disk answers several requests at once.
int ReadAheadPolicy::mostWorkers() const
{
    return workers > 0 ? workers : std::clamp(4 * int(platform::processorCores()), 4, 16);
}

namespace {

using readahead::ReadAheadReading;
using readahead::Session;
using readahead::Worker;

class ReadAheadSource : public FolderSource {
public:
    ReadAheadSource(platform::FileSystem& fileSystem, const EntryFilter& filter, const ReadAheadPolicy& policy,
                    WorkerThreads& threads, const FolderQueue& queue)
        : session_(std::make_shared<Session>(fileSystem, policy)), filter_(filter), threads_(threads), queue_(queue)
    {
        // Set before any worker runs, so nobody reads it changing: later workers only add to it.
        session_->workers = policy.enabled ? policy.mostWorkers() : 0;
        usage_ = fileSystem.processUsage();
        usageLook_ = lastLook_ = std::chrono::steady_clock::now();
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
        // The window's thread goes first whenever a worker has work for the processor too: its
        // yields keep their pace, and the workers still have every core it leaves.
        auto worker = std::make_shared<Worker>(session_, filter_);
        const bool ok = threads_.start([worker] {
            ::pthread_setname_np(::pthread_self(), "sorvane-read"); // for top and profilers
            ::setpriority(PRIO_PROCESS, ::gettid(), kWorkerNice); // a thread's own on Linux
            worker->run();
        });
        started_ += ok;
        return ok;
    }
    struct WorkersPay {
        bool diskWaits = false;    // more workers help while the disk is being read
        bool statusBound = false;  // the cores' count of them read the entries' status
    };
    WorkersPay workersWouldPay(std::chrono::steady_clock::time_point now);
    bool listsLocally(const FolderSlot& slot);
    void openRoot(FolderSlot& root);
    void readAhead(bool on);

    std::shared_ptr<Session> session_;
    EntryFilter filter_; // copied for each worker; the walk's own for the folders it reads
    WorkerThreads& threads_;
    const FolderQueue& queue_;
    int started_ = 0;
    bool noMoreWorkers_ = false; // the system would start none
    ChangeLog changes_;
    EntryChunk returned_; // the last folder's last chunk, on the walk's thread
    std::chrono::steady_clock::time_point lastLook_, aheadUntil_;
    std::optional<platform::FileSystem::ProcessUsage> usage_; // at the last look, taken then
    std::chrono::steady_clock::time_point usageLook_;
    uint64_t localVolume_ = 0, otherVolume_ = 0; // the last volumes found local and not
};

// Whether workers pay for the hand-over: the walk waits on the disk (the disk was read for the
// process, and the walk spent a while in slow listings or waiting for the workers), or half or
// more of the entries it lists are accepted and each needs a status of its own (its size, its
// time). Looked at once after a slow listing of the walk's own, else now and then, since each
// look at the disk is a system call; what the walk waited and listed counts from one look to the
// next that is lookEvery later.
ReadAheadSource::WorkersPay ReadAheadSource::workersWouldPay(std::chrono::steady_clock::time_point now)
{
    Session& s = *session_;
    const bool periodic = now - lastLook_ >= s.policy.lookEvery;
    if (!s.walkSawSlowListing && !periodic)
        return {};
    s.walkSawSlowListing = false;
    const std::optional<platform::FileSystem::ProcessUsage> before = usage_;
    usage_ = s.fileSystem.processUsage();
    const bool waited = s.walkWaited >= s.policy.waitedEnough;
    const bool diskRead = before && usage_ && usage_->bytesFromDisks > before->bytesFromDisks;
    // Each listing may wait only a little, as on a disk that keeps its own cache, yet nearly every
    // one fetches a block: many at once then take hardly longer than one.
    const bool coldListings = diskRead && periodic && s.walkFolders >= s.policy.coldLookFolders
        && usage_->bytesFromDisks - before->bytesFromDisks >= s.walkFolders * s.policy.coldBytesPerFolder;
    // Where the process kept the cores busy since the last look, the walk waited for workers
    // that had no core, not for the disk: more workers would only take turns on the same cores.
    const bool coresBusy = diskRead && before->processorTime && usage_->processorTime
        && (*usage_->processorTime - *before->processorTime) * 4 >= (now - usageLook_) * 3 * int(platform::processorCores());
    usageLook_ = now;
    const bool statusBound = s.walkListed >= s.policy.statusLookEntries
        && s.walkAccepted * s.policy.acceptedShare >= s.walkListed;
    if (periodic) {
        lastLook_ = now;
        s.walkWaited = std::chrono::nanoseconds(0);
        s.walkListed = s.walkAccepted = s.walkFolders = 0;
    }
    return {diskRead && (waited || coldListings) && !coresBusy, periodic && statusBound};
}

// Whether the folder's listing comes from this machine, judged by its parent's volume, or by its
// own for a root, which the walk opened.
bool ReadAheadSource::listsLocally(const FolderSlot& slot)
{
    const uint64_t volume = slot.parent ? slot.parent->identity.device : slot.identity.device;
    if (volume == 0 || volume == otherVolume_)
        return false;
    if (volume == localVolume_)
        return true;
    const bool local = session_->fileSystem.listsLocally(volume);
    (local ? localVolume_ : otherVolume_) = volume;
    return local;
}
// The walk opens a root itself, to know its volume before anyone lists it: the location's own
// checks looked at it on this thread already. Nobody else holds the slot yet.
void ReadAheadSource::openRoot(FolderSlot& root)
{
    platform::OpenedFolder opened = session_->fileSystem.openFolder(root.rootPath, root.followLink);
    if (!opened.folder)
        return; // opened again when it is read, to say why not
    if (const std::optional<platform::FolderStatus> status = opened.folder->status())
        root.identity = status->identity;
    root.open = std::move(opened.folder);
}

// Under the lock. The folders the walk has queued are the first to read ahead, as far as the
// budget reaches; reading ahead no more, the workers start nothing new.
void ReadAheadSource::readAhead(bool on)
{
    Session& s = *session_;
    if (on == s.ahead)
        return;
    s.ahead = on;
    if (!on) {
        s.readOrder.clear();
        return;
    }
    size_t taken = 0;
    for (const QueuedFolder& queued : queue_.waiting()) {
        if (taken++ >= s.policy.foldersAhead)
            break;
        if (queued.slot && queued.slot->state == FolderSlot::State::Waiting && !queued.slot->dropped)
            s.readOrder.push_back(queued.slot);
    }
    s.wakeForWork();
}

std::unique_ptr<FolderReading> ReadAheadSource::read(QueuedFolder& folder)
{
    Session& s = *session_;
    const auto now = std::chrono::steady_clock::now();
    ++s.walkFolders;
    if (!folder.slot->parent && folder.slot->state == FolderSlot::State::Waiting && !folder.slot->open)
        openRoot(*folder.slot);
    const WorkersPay pay = s.policy.enabled ? workersWouldPay(now) : WorkersPay{};
    const bool waitsOnDisk = pay.diskWaits;
    if (waitsOnDisk && s.ahead && started_ > 0 && started_ < s.policy.mostWorkers())
        addWorker();
    const std::lock_guard lock(s.mutex);
    // Read before an action changed the disk at or above it.
    if (folder.slot->state != FolderSlot::State::Waiting && changes_.changedSince(folder.path, folder.slot->readEpoch)) {
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
    FolderSlot& lane = *folder.slot;

    // The walk lists its folder itself unless the disk waited lately or the volume may hang.
    const bool mayLeave = s.policy.enabled && !noMoreWorkers_;
    if (mayLeave && (waitsOnDisk || pay.statusBound || !listsLocally(lane)))
        aheadUntil_ = now + s.policy.aheadFor;
    bool walkReads = !mayLeave || now >= aheadUntil_;
    if (!walkReads && started_ == 0) {
        for (int i = 0; i < s.policy.firstWorkers() && addWorker(); ++i) {
        }
        noMoreWorkers_ = walkReads = started_ == 0;
    }
    readAhead(!walkReads);
    walkReads &= lane.state == FolderSlot::State::Waiting;
    if (walkReads)
        s.start(lane, false);
    // Nobody reads it yet, or the worker that began it holds it back for the budget: wake them.
    else if (s.idleWorkers > 0
             && (lane.state == FolderSlot::State::Waiting || (lane.state == FolderSlot::State::Reading && !lane.stepping)))
        s.workChanged.notify_all();
    return std::make_unique<ReadAheadReading>(session_, folder.slot, walkReads ? &filter_ : nullptr, returned_);
}

void ReadAheadSource::diskChanged(QByteArrayView folder)
{
    const std::lock_guard lock(session_->mutex);
    changes_.changed(folder, ++session_->changeEpoch);
}

void ReadAheadSource::renamed(QByteArrayView from, QByteArrayView to, FolderSlot* slot)
{
    const std::lock_guard lock(session_->mutex);
    if (slot)
        slot->name = platform::lastComponent(to).toByteArray();
    changes_.renamed(from, to, ++session_->changeEpoch);
}

void ReadAheadSource::cancel()
{
    Session& s = *session_;
    // What the session lets go of is released once the lock is given up: closing a folder may
    // wait on the disk, and the workers must not wait for that.
    std::shared_ptr<FolderSlot> lane;
    std::deque<std::shared_ptr<FolderSlot>> readOrder;
    std::vector<std::shared_ptr<platform::OpenFolder>> closing;
    std::vector<EntryChunk> spareChunks;
    const std::lock_guard lock(s.mutex);
    s.cancelled = true;
    lane = std::move(s.lane);
    readOrder.swap(s.readOrder);
    closing.swap(s.closing);
    s.cache.clear(closing);
    spareChunks.swap(s.spareChunks);
    s.workChanged.notify_all();
    s.chunkReady.notify_all();
}

} // namespace

std::unique_ptr<FolderSource> makeReadAheadSource(platform::FileSystem& fileSystem, const EntryFilter& filter,
                                                  const ReadAheadPolicy& policy, WorkerThreads& threads,
                                                  const FolderQueue& queue)
{
    return std::make_unique<ReadAheadSource>(fileSystem, filter, policy, threads, queue);
}

} // namespace search
