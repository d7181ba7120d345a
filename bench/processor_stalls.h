#pragma once

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

// Times when a processor stood still: it ran not even a real-time thread that only wakes up. A
// virtual machine whose host takes its processors away (here, while the disk is read hard) shows
// such stalls to every program; a thread asleep on a held processor wakes only when it is given
// back, so the part of a window's gap in which its processor was held is the machine's, not the
// program's. Needs the right to real-time scheduling (root); without it nothing is watched.
class ProcessorStalls {
public:
    using Clock = std::chrono::steady_clock;
    struct Interval {
        Clock::time_point from, to;
    };
    // A moment of a thread's: when, and the processor it ran on then.
    struct Turn {
        Clock::time_point at;
        int processor = -1;
    };

    ProcessorStalls();
    ~ProcessorStalls();
    ProcessorStalls(const ProcessorStalls&) = delete;
    ProcessorStalls& operator=(const ProcessorStalls&) = delete;

    // Ends the watching; what was seen stays.
    void stop();
    // Whether every processor had its watcher.
    bool watching() const { return watching_; }
    // The longest span between two turns, less the time in it that the processor the thread ran on
    // at either end stood still; turns in time order.
    std::chrono::nanoseconds longestGapLessStalls(const std::vector<Turn>& turns) const;
    // The longest stall of any processor that overlaps [from, to].
    std::chrono::nanoseconds longestStallWithin(Clock::time_point from, Clock::time_point to) const;

private:
    void watch(std::vector<Interval>& late);
    const std::vector<Interval>& lateOn(int processor) const;

    // Why it always makes progress: each watcher sleeps two milliseconds at a time and touches only
    // its own list; a stop is one flag that every watcher reads at each wake-up, then joins.
    std::atomic<bool> stopping_{false};
    std::atomic<int> refused_{0};
    bool watching_ = false;
    std::vector<std::vector<Interval>> late_; // by processor number
    std::vector<std::thread> watchers_;
};
