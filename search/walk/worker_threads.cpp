#include "search/walk/worker_threads.h"

#include <system_error>

namespace search {

WorkerThreads::~WorkerThreads()
{
    for (Worker& worker : workers_)
        worker.thread.join();
}

bool WorkerThreads::start(std::function<void()> body)
{
    joinEnded();
    auto ended = std::make_shared<std::atomic<bool>>(false);
    workers_.reserve(workers_.size() + 1); // so that a started thread always finds its place
    try {
        std::thread thread([body = std::move(body), ended] {
            body();
            ended->store(true, std::memory_order_release);
        });
        workers_.push_back({std::move(thread), ended});
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void WorkerThreads::joinEnded()
{
    std::erase_if(workers_, [](Worker& worker) {
        if (!worker.ended->load(std::memory_order_acquire))
            return false;
        worker.thread.join();
        return true;
    });
}

} // namespace search
