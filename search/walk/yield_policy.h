#pragma once

#include <chrono>
#include <functional>

namespace search {

// How often the walk gives the window its turn. Zero yields after every directory entry; a
// positive interval yields once that much time has passed, which keeps a handler's wait below it
// while the walk runs at full speed. Reading the clock costs more than handling a plain entry,
// so it is read only every few entries.
struct YieldPolicy {
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    std::chrono::nanoseconds interval{0};
    int entriesPerClockCheck = 16;
    Clock clock; // nothing: the steady clock

    static YieldPolicy every(std::chrono::nanoseconds interval)
    {
        YieldPolicy policy;
        policy.interval = interval;
        return policy;
    }

    std::chrono::steady_clock::time_point now() const
    {
        return clock ? clock() : std::chrono::steady_clock::now();
    }
};

} // namespace search
