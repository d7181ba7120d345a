#pragma once

#include <sys/stat.h>

namespace platform {

class OperationProgress;

// Copies a regular file's bytes from in to out, a new empty file, and reports them to progress
// (if given) as they go; stops with ECANCELED when progress is cancelled.
int copyFileData(int in, int out, const struct stat& source, OperationProgress* progress);

} // namespace platform
