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
#include "search/walk/change_log.h"
#include "search/walk/folder_queue.h"
#include "search/walk/read_ahead.h"
#include "search/walk/read_ahead_reading.h"
#include "search/walk/read_ahead_session.h"
#include "search/walk/read_ahead_worker.h"
#include "search/walk/worker_threads.h"

#include "platform/files/paths.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <thread>

namespace search {
namespace {

constexpr int kExtraWorkerNice = 10;

// Asked once: the standard library reads the count from a file of the kernel's every time.
int cores()
{
    static const int count = std::max(1, int(std::thread::hardware_concurrency()));
    return count;
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

using readahead::ReadAheadReading;
using readahead::Session;
using readahead::Worker;

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
    bool diskBusy();

    std::shared_ptr<Session> session_;
    EntryFilter filter_; // copied for each worker; the walk's own where none started
    WorkerThreads& threads_;
    int started_ = 0;
    ChangeLog changes_;
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

std::unique_ptr<FolderReading> ReadAheadSource::read(QueuedFolder& folder)
{
    Session& s = *session_;
    if (started_ > 0 && started_ < s.policy.mostWorkers() && diskBusy())
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
                                                  const ReadAheadPolicy& policy, WorkerThreads& threads)
{
    return std::make_unique<ReadAheadSource>(fileSystem, filter, policy, threads);
}

} // namespace search
