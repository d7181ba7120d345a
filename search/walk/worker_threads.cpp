#include "search/walk/worker_threads.h"

#include <chrono>
#include <system_error>

namespace search {

WorkerThreads::~WorkerThreads()
{
    // A cancelled worker that is not stuck ends within microseconds.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    for (Worker& worker : workers_) {
        while (!worker.ended->load(std::memory_order_acquire) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (worker.ended->load(std::memory_order_acquire))
            worker.thread.join();
        else
            worker.thread.detach();
    }
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
