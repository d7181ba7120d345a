#pragma once

#include <sys/types.h>

namespace platform {

class OperationProgress;

// The ways of copying a file's bytes, fastest first: a clone that shares the source's blocks
// (file systems with reflinks), the kernel's copy between two files, and reading and writing
// through a buffer here. Each one is tried where the one before is not available.
enum class DataCopyMethod { Clone, KernelCopy, ReadWrite };

// Copies a regular file's size bytes from in to out, a new empty file, starting with the given method.
// Holes stay holes: only the parts that hold data are copied, so a sparse file gives a sparse
// copy. The bytes are reported to progress (if given) as they go, holes included; a cancel stops
// the copy with ECANCELED. Any failed write (a full disk) is the answer; out is then incomplete.
int copyFileData(int in, int out, off_t size, OperationProgress* progress,
                 DataCopyMethod first = DataCopyMethod::Clone);

} // namespace platform
