#include "platform/session/heap_settings.h"

#include <malloc.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace platform {
namespace {

constexpr const char* kTunables = "GLIBC_TUNABLES";
constexpr const char* kHugePages = "glibc.malloc.hugetlb=1";
// Set for the program's second start only: the tunables as the user had them ("-" for none), so
// that the programs it opens files with inherit the user's own.
constexpr const char* kUsersTunables = "SORVANE_USERS_TUNABLES";

// A walk of a million folders, and the Qt start before it, grow the heap by tens of megabytes a
// page at a time, and each page's first touch traps to the kernel: several thousand faults, some
// 5 % of a warm walk. The C library asks for huge pages for its heap only where told so as the
// program starts; a heap of huge pages takes the same memory in a few hundred faults.
void startAgainWithHugePages(char** argv)
{
    if (const char* users = std::getenv(kUsersTunables)) { // this is the second start
        if (std::strcmp(users, "-") == 0)
            unsetenv(kTunables);
        else
            setenv(kTunables, users, 1);
        unsetenv(kUsersTunables);
        return;
    }
    const char* tunables = std::getenv(kTunables);
    if (tunables && std::strstr(tunables, "glibc.malloc.hugetlb"))
        return; // the user's choice stands
    const std::string users = tunables ? tunables : "-";
    const std::string ours = tunables && *tunables ? users + ":" + kHugePages : std::string(kHugePages);
    setenv(kUsersTunables, users.c_str(), 1);
    setenv(kTunables, ours.c_str(), 1);
    execv("/proc/self/exe", argv);
    // No /proc, or the file replaced by an upgrade: this start goes on without huge pages.
    unsetenv(kUsersTunables);
    if (tunables)
        setenv(kTunables, users.c_str(), 1);
    else
        unsetenv(kTunables);
}

} // namespace

void setHeapForManyRows(char** argv)
{
    startAgainWithHugePages(argv);
    // A list of a million rows, freed, leaves a million small blocks in the heap's fast bins, and
    // the next large block freed merges them all at once: 60 ms or more on the window's thread,
    // at the first key typed after a large search. Without fast bins each free merges its own
    // block as it goes; the per-thread caches still take most small blocks.
    mallopt(M_MXFAST, 0);
}

} // namespace platform
