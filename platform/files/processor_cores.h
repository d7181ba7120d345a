#pragma once

#include <algorithm>
#include <thread>

namespace platform {

// The processor's cores, at least one. Asked once: the standard library reads the count from a
// file of the kernel's every time, which a merge slice or a look at the disk would pay for.
inline unsigned processorCores()
{
    static const unsigned count = std::max(1u, std::thread::hardware_concurrency());
    return count;
}

} // namespace platform
