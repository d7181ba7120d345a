#pragma once

#include <QByteArray>

#include <atomic>
#include <cstdint>
#include <mutex>

namespace platform {

// How far a long file operation has come, and whether the user asked it to stop. The operation
// writes it on its worker thread; the window's thread reads it and may ask for the stop. Counts
// are bytes for a copy, entries for a delete.
class OperationProgress {
public:
    virtual ~OperationProgress() = default;

    // The operation's side.
    void setTotal(int64_t total) { total_.store(total, std::memory_order_relaxed); }
    void advance(int64_t amount)
    {
        done_.fetch_add(amount, std::memory_order_relaxed);
        advanced();
    }
    bool cancelled() const { return cancelled_.load(std::memory_order_relaxed); }
    // Whether the window is waiting to be told the entry at hand: building a path costs, so the
    // operation only does it when asked.
    bool wantsCurrent() const { return wantsCurrent_.load(std::memory_order_relaxed); }
    void setCurrent(const QByteArray& path);

    // The window's side.
    int64_t total() const { return total_.load(std::memory_order_relaxed); }
    int64_t done() const { return done_.load(std::memory_order_relaxed); }
    void cancel() { cancelled_.store(true, std::memory_order_relaxed); }
    // The entry last given, and asks for the next one.
    QByteArray takeCurrent();

protected:
    // Runs on the operation's thread after every advance; tests cancel from here at a chosen point.
    virtual void advanced() {}

private:
    std::atomic<int64_t> total_{0}, done_{0};
    std::atomic<bool> cancelled_{false}, wantsCurrent_{true};
    std::mutex mutex_;
    QByteArray current_;
};

} // namespace platform
