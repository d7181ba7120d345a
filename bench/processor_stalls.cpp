#include "processor_stalls.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>

namespace {

constexpr std::chrono::microseconds kPeriod{2000}; // a stall is counted from the wake-up it delayed: never more than it was
// Later than this past its wake-up time, a watcher counts its processor as held.
constexpr std::chrono::microseconds kLate{1000};

using Interval = ProcessorStalls::Interval;

// The time in [from, to] covered by either list of intervals, each in time order.
std::chrono::nanoseconds covered(ProcessorStalls::Clock::time_point from, ProcessorStalls::Clock::time_point to,
                                 const std::vector<Interval>& a, const std::vector<Interval>& b)
{
    std::vector<Interval> within;
    for (const std::vector<Interval>* list : {&a, &b})
        for (const Interval& stall : *list)
            if (stall.to > from && stall.from < to)
                within.push_back({std::max(stall.from, from), std::min(stall.to, to)});
    std::sort(within.begin(), within.end(), [](const Interval& x, const Interval& y) { return x.from < y.from; });
    std::chrono::nanoseconds total{0};
    auto reached = from;
    for (const Interval& stall : within) {
        if (stall.to > reached)
            total += stall.to - std::max(stall.from, reached);
        reached = std::max(reached, stall.to);
    }
    return total;
}

} // namespace

ProcessorStalls::ProcessorStalls()
{
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0)
        return;
    std::vector<int> processors;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &allowed))
            processors.push_back(cpu);
    if (processors.empty())
        return;
    late_.resize(size_t(processors.back()) + 1);
    for (std::vector<Interval>& late : late_)
        late.reserve(4096); // before any watcher runs: none ever grows its list
    std::atomic<int> ready{0};
    for (const int cpu : processors)
        watchers_.emplace_back([this, &ready, cpu, &late = late_[size_t(cpu)]] {
            cpu_set_t one;
            CPU_ZERO(&one);
            CPU_SET(cpu, &one);
            const sched_param lowestRealTime{.sched_priority = 1};
            const bool ok = pthread_setaffinity_np(pthread_self(), sizeof one, &one) == 0
                && pthread_setschedparam(pthread_self(), SCHED_FIFO, &lowestRealTime) == 0;
            refused_ += !ok;
            ++ready;
            if (ok)
                watch(late);
        });
    while (ready < int(processors.size()))
        std::this_thread::yield();
    watching_ = refused_ == 0;
}

ProcessorStalls::~ProcessorStalls()
{
    stop();
}

void ProcessorStalls::stop()
{
    stopping_ = true;
    for (std::thread& watcher : watchers_)
        if (watcher.joinable())
            watcher.join();
}

void ProcessorStalls::watch(std::vector<Interval>& late)
{
    Clock::time_point last = Clock::now();
    while (!stopping_) {
        const Clock::time_point due = last + kPeriod;
        std::this_thread::sleep_until(due);
        const Clock::time_point now = Clock::now();
        if (now - due > kLate && late.size() < late.capacity())
            late.push_back({due, now});
        last = now;
    }
}

const std::vector<Interval>& ProcessorStalls::lateOn(int processor) const
{
    static const std::vector<Interval> none;
    return watching_ && processor >= 0 && size_t(processor) < late_.size() ? late_[size_t(processor)] : none;
}

std::chrono::nanoseconds ProcessorStalls::longestGapLessStalls(const std::vector<Turn>& turns) const
{
    std::chrono::nanoseconds longest{0};
    for (size_t i = 1; i < turns.size(); ++i) {
        const Turn& from = turns[i - 1];
        const Turn& to = turns[i];
        longest = std::max(longest, (to.at - from.at) - covered(from.at, to.at, lateOn(from.processor), lateOn(to.processor)));
    }
    return longest;
}

std::chrono::nanoseconds ProcessorStalls::longestStallWithin(Clock::time_point from, Clock::time_point to) const
{
    std::chrono::nanoseconds longest{0};
    if (watching_)
        for (const std::vector<Interval>& late : late_)
            for (const Interval& stall : late)
                if (stall.to > from && stall.from < to)
                    longest = std::max<std::chrono::nanoseconds>(longest, stall.to - stall.from);
    return longest;
}
