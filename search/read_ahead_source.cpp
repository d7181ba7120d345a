// Folders read ahead of the walk on worker threads. The walk still takes each folder when its turn
// comes in queue order, so rows come exactly as without the workers; they only spare the walk's
// thread the waits for the disk. Nothing here touches a row or a widget.
#include "search/chunk_reader.h"
#include "search/entry_filter.h"
#include "search/folder_queue.h"
#include "search/folder_reading.h"
#include "search/read_ahead.h"

#include "platform/paths.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace search {

namespace {

constexpr int kExtraWorkerNice = 10;

int cores()
{
    return std::max(1, int(std::thread::hardware_concurrency()));
}

long voluntarySwitches()
{
    struct rusage usage;
    ::getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_nvcsw;
}

// Whether a stretch of work had to wait for the disk: the thread gave up the processor of its own
// accord, which a busy machine's preemption does not count as, and for longer than a page of
// memory or a lock in the kernel would keep it.
class WaitMeter {
public:
    WaitMeter() : switches_(voluntarySwitches()), started_(std::chrono::steady_clock::now()) {}
    bool waited() const
    {
        return std::chrono::steady_clock::now() - started_ > std::chrono::microseconds(500)
            && voluntarySwitches() > switches_;
    }

private:
    long switches_;
    std::chrono::steady_clock::time_point started_;
};

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

// One queued folder and what the workers have read of it so far.
struct Job {
    explicit Job(QueuedFolder f) : folder(std::move(f)) {}
    enum class State { Waiting, Reading, Done };
    QueuedFolder folder;
    State state = State::Waiting;
    bool stale = false;   // the disk changed there after it was queued: read afresh at its turn
    bool dropped = false; // nobody will read what comes: the worker stops
    bool taken = false;   // the walk is on it, so reading it is never held back
    uint64_t volume = 0;
    platform::EntryIdentity identity; // of the folder as listed
    std::deque<EntryChunk> chunks; // read, not yet handed to the walk
};

// What the workers and the walk share, all of it under the one mutex.
struct Shared {
    std::mutex mutex;
    std::condition_variable workChanged; // a job, room in the budget, a cancel
    std::condition_variable chunkReady;
    std::deque<std::shared_ptr<Job>> jobs; // in queue order, from the next the walk takes
    size_t firstUnstarted = 0;             // no job before it waits for a worker
    uint64_t walkPosition = 0;             // of the folder the walk is on
    size_t entriesWaiting = 0;
    std::atomic<bool> cancelled{false};
    std::atomic<bool> disksWaited{false}; // a worker waited on the disk: another one would help

    void discard(Job& job)
    {
        job.dropped = true;
        for (const EntryChunk& chunk : job.chunks)
            entriesWaiting -= chunk.entries.size();
        job.chunks.clear();
    }
};

class ReadAheadReading : public FolderReading {
public:
    ReadAheadReading(Shared& shared, std::shared_ptr<Job> job) : shared_(shared), job_(std::move(job)) {}
    ~ReadAheadReading() override
    {
        const std::lock_guard lock(shared_.mutex);
        shared_.discard(*job_); // a stop in the middle of the folder
        shared_.workChanged.notify_all();
    }

    ChunkStatus next(const EntryChunk*& chunk) override
    {
        const std::lock_guard lock(shared_.mutex);
        if (job_->chunks.empty())
            return job_->state == Job::State::Done || shared_.cancelled ? ChunkStatus::End : ChunkStatus::NotYet;
        current_ = std::move(job_->chunks.front());
        job_->chunks.pop_front();
        shared_.entriesWaiting -= current_.entries.size();
        volume_ = job_->volume;
        identity_ = job_->identity;
        shared_.workChanged.notify_all();
        chunk = &current_;
        return ChunkStatus::Ready;
    }

    void wait(std::chrono::nanoseconds longest) override
    {
        std::unique_lock lock(shared_.mutex);
        shared_.chunkReady.wait_for(lock, longest, [this] {
            return !job_->chunks.empty() || job_->state == Job::State::Done || shared_.cancelled;
        });
    }

    uint64_t volume() const override { return volume_; }
    platform::EntryIdentity folderIdentity() const override { return identity_; }

private:
    Shared& shared_;
    std::shared_ptr<Job> job_;
    EntryChunk current_;
    uint64_t volume_ = 0;
    platform::EntryIdentity identity_;
};

class ReadAheadSource : public FolderSource {
public:
    ReadAheadSource(platform::FileSystem& fileSystem, const EntryFilter& filter, const ReadAheadPolicy& policy)
        : fileSystem_(fileSystem), filter_(filter), policy_(policy)
    {
        for (int i = 0; i < policy_.firstWorkers(); ++i)
            addWorker();
    }
    ~ReadAheadSource() override { cancel(); }

    void folderQueued(const QueuedFolder& folder) override
    {
        if (shared_.disksWaited.exchange(false) && int(workers_.size()) < policy_.mostWorkers())
            addWorker();
        const std::lock_guard lock(shared_.mutex);
        shared_.jobs.push_back(std::make_shared<Job>(folder));
        shared_.workChanged.notify_one();
    }

    std::unique_ptr<FolderReading> read(const QueuedFolder& folder) override;
    void diskChanged(QByteArrayView folder) override;
    void cancel() override;
    int threads() const override { return threadsStarted_; }

private:
    // Only on the walk's thread, which alone starts and joins workers.
    void addWorker()
    {
        // Workers beyond the cores are there to wait on the disk; when they do have work for the
        // processor, the walk's thread goes first, so the window keeps its turn.
        const bool extra = threadsStarted_ >= policy_.firstWorkers();
        workers_.emplace_back([this, filter = filter_, extra]() mutable {
            if (extra)
                ::setpriority(PRIO_PROCESS, ::gettid(), kExtraWorkerNice); // a thread's own on Linux
            work(filter);
        });
        ++threadsStarted_;
    }
    std::shared_ptr<Job> takeJob(const QueuedFolder& folder);
    std::shared_ptr<Job> pickLocked();
    void work(EntryFilter& filter);
    void readJob(Job& job, EntryFilter& filter);

    platform::FileSystem& fileSystem_;
    EntryFilter filter_; // copied for each worker
    ReadAheadPolicy policy_;
    Shared shared_;
    std::vector<std::thread> workers_;
    int threadsStarted_ = 0;
};

// The job of the folder whose turn has come. It stays first in the list until the walk moves on,
// so that a worker can still take it if none has yet: none has started a later one, so one is
// free for it. The walk's thread itself never waits on the disk.
std::shared_ptr<Job> ReadAheadSource::takeJob(const QueuedFolder& folder)
{
    const std::lock_guard lock(shared_.mutex);
    shared_.walkPosition = folder.position;
    const auto popFront = [this] {
        shared_.jobs.pop_front();
        if (shared_.firstUnstarted > 0)
            --shared_.firstUnstarted;
    };
    while (!shared_.jobs.empty() && shared_.jobs.front()->folder.position < folder.position) {
        shared_.discard(*shared_.jobs.front()); // dropped from the queue, as by a close
        popFront();
    }
    const bool queued = folder.position != 0 && !shared_.jobs.empty()
        && shared_.jobs.front()->folder.position == folder.position;
    std::shared_ptr<Job> job = queued ? shared_.jobs.front() : nullptr;
    // A root, or a folder read before the disk changed there or under a name since renamed: it
    // is read afresh, by a worker all the same.
    if (!job || job->stale || job->folder.path != folder.path) {
        if (job) {
            shared_.discard(*job);
            popFront();
        }
        job = std::make_shared<Job>(folder);
        shared_.jobs.push_front(job);
        shared_.firstUnstarted = 0;
    }
    job->taken = true;
    shared_.workChanged.notify_all();
    return job;
}

std::unique_ptr<FolderReading> ReadAheadSource::read(const QueuedFolder& folder)
{
    return std::make_unique<ReadAheadReading>(shared_, takeJob(folder));
}

void ReadAheadSource::diskChanged(QByteArrayView folder)
{
    const std::lock_guard lock(shared_.mutex);
    for (const std::shared_ptr<Job>& job : shared_.jobs) {
        // The folder the walk is on goes on: the walk itself sees whether it is still there.
        if (job->taken || !platform::isSameOrBelow(job->folder.path, folder))
            continue;
        job->stale = true;
        if (job->state != Job::State::Waiting)
            shared_.discard(*job);
    }
    shared_.workChanged.notify_all();
}

void ReadAheadSource::cancel()
{
    {
        const std::lock_guard lock(shared_.mutex);
        shared_.cancelled = true;
        shared_.workChanged.notify_all();
        shared_.chunkReady.notify_all();
    }
    for (std::thread& worker : workers_)
        if (worker.joinable())
            worker.join();
    workers_.clear();
}

// The first queued folder that no worker took yet, if the bounds allow reading it now. The walk's
// own folder is always allowed: nothing read ahead can be waiting before it.
std::shared_ptr<Job> ReadAheadSource::pickLocked()
{
    auto& jobs = shared_.jobs;
    size_t& i = shared_.firstUnstarted;
    while (i < jobs.size() && (jobs[i]->state != Job::State::Waiting || jobs[i]->stale))
        ++i;
    if (i >= jobs.size())
        return nullptr;
    const bool walksIt = jobs[i]->taken;
    if (!walksIt && (shared_.entriesWaiting >= policy_.entriesAhead
                     || jobs[i]->folder.position > shared_.walkPosition + policy_.foldersAhead))
        return nullptr;
    return jobs[i++];
}

// Each worker judges with a copy of the filter of its own, made before the walk uses its own.
void ReadAheadSource::work(EntryFilter& filter)
{
    std::unique_lock lock(shared_.mutex);
    while (true) {
        std::shared_ptr<Job> job;
        shared_.workChanged.wait(lock, [&] { return shared_.cancelled || (job = pickLocked()); });
        if (shared_.cancelled)
            return;
        job->state = Job::State::Reading;
        lock.unlock();
        readJob(*job, filter);
        lock.lock();
        job->state = Job::State::Done;
        shared_.chunkReady.notify_all();
    }
}

void ReadAheadSource::readJob(Job& job, EntryFilter& filter)
{
    WaitMeter opening;
    const std::unique_ptr<platform::FolderListing> listing =
        fileSystem_.listFolder(job.folder.path, boundsOf(job.folder, &shared_.cancelled));
    if (opening.waited())
        shared_.disksWaited = true;
    if (!listing)
        return;
    {
        const std::lock_guard lock(shared_.mutex);
        job.volume = listing->volume();
        job.identity = listing->folderIdentity();
    }
    while (true) {
        EntryChunk chunk;
        WaitMeter reading;
        const bool more = readChunk(*listing, filter, chunk, policy_.entriesPerChunk);
        if (reading.waited())
            shared_.disksWaited = true;
        std::unique_lock lock(shared_.mutex);
        if (!more || job.dropped || shared_.cancelled)
            return;
        shared_.entriesWaiting += chunk.entries.size();
        job.chunks.push_back(std::move(chunk));
        shared_.chunkReady.notify_all();
        // A full budget holds back every folder but the one the walk is on.
        shared_.workChanged.wait(lock, [&] {
            return shared_.cancelled || job.dropped || job.taken || shared_.entriesWaiting < policy_.entriesAhead;
        });
    }
}

} // namespace

std::unique_ptr<FolderSource> makeReadAheadSource(platform::FileSystem& fileSystem, const EntryFilter& filter,
                                                  const ReadAheadPolicy& policy)
{
    return std::make_unique<ReadAheadSource>(fileSystem, filter, policy);
}

} // namespace search
