#pragma once

namespace platform {

// Sets the C heap up for lists of a million rows; once, at the start of main().
void setHeapForManyRows();

} // namespace platform
