#include "search/walk/read_ahead_worker.h"

#include <thread>

namespace search::readahead {

void Worker::run()
{
    Session& s = *session_;
    std::unique_lock lock(s.mutex);
    while (true) {
        Task* task = nullptr;
        while (!s.cancelled && !(task = choose())) {
            ++s.idleWorkers;
            s.tellWalk();
            s.workChanged.wait(lock);
            --s.idleWorkers;
        }
        if (s.cancelled)
            break;
        s.step(lock, *task, filter_, s.policy.entriesPerChunk);
        // The window's thread, woken while this worker holds a core, may otherwise wait out the
        // worker's whole turn (3–7 ms seen here, a kernel that does not preempt itself): giving
        // the core up after each chunk, about a millisecond of reading, bounds that wait.
        lock.unlock();
        std::this_thread::yield();
        lock.lock();
    }
    lock.unlock();
    own_.reset();
    lane_.reset();
}

Task* Worker::choose()
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

} // namespace search::readahead
