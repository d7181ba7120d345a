#pragma once

namespace platform {

// Sets the C heap up for lists of a million rows and walks of a million folders; once, first
// thing in main(), with main's own argv. It may run the program again in place (same process,
// same arguments) to tell the C library what it reads only as a program starts.
void setHeapForManyRows(char** argv);

} // namespace platform
