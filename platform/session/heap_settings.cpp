#include "platform/session/heap_settings.h"

#include <malloc.h>

namespace platform {

void setHeapForManyRows()
{
    // A list of a million rows, freed, leaves a million small blocks in the heap's fast bins, and
    // the next large block freed merges them all at once: 60 ms or more on the window's thread,
    // at the first key typed after a large search. Without fast bins each free merges its own
    // block as it goes; the per-thread caches still take most small blocks.
    mallopt(M_MXFAST, 0);
}

} // namespace platform
