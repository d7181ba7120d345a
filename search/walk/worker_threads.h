#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace search {

// Threads kept past the search that started them: a stop never waits for a worker still in a
// system call. A thread is joined once it has ended, at the next start, or when the owner goes;
// one still in a system call then (a listing of a dead network volume may never return) is left
// to end with the process, so that closing the window never waits on the disk. Such a thread must
// touch nothing but what it shares with the other workers.
class WorkerThreads {
public:
    WorkerThreads() = default;
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;
    ~WorkerThreads();

    // False where the system would not start another thread.
    bool start(std::function<void()> body);

private:
    void joinEnded();

    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> ended;
    };
    std::vector<Worker> workers_;
};

} // namespace search
