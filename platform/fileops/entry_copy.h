#pragma once

#include <sys/stat.h>

namespace platform {

class OperationProgress;

// The copy of one entry into a destination folder, each end given as a folder descriptor and a
// name in it; what the folder and tree copies are made of.

// Where a file's copy is written until it is complete: a file without a name (O_TMPFILE), which
// not even a killed process leaves behind, where the volume makes one; else a hidden file beside
// the destination, which only an orderly end (a failure, a cancel) removes.
enum class NewFile { Anonymous, Hidden };

// A regular file: written into a new file beside the destination (the first way of NewFile that
// works), given the source's permission bits and times, and renamed over what stands there (a
// file or a link, never a folder, never the source itself). On any failure or a cancel the new
// file goes and the destination stays as it was.
int copyRegularEntry(int srcFolder, const char* srcName, const struct statx& source, int dstFolder,
                     const char* dstName, OperationProgress* progress, NewFile first = NewFile::Anonymous);

// A link, as a link with the same target, replacing what stands there alike.
int copyLinkEntry(int srcFolder, const char* srcName, const struct statx& source, int dstFolder, const char* dstName);

// The folder that takes a source folder's copy: made for the owner alone while it fills (created
// tells), or merged into where one is there. A link of that name is replaced, never followed; a
// file is not replaced by a folder (ENOTDIR).
int makeCopyFolder(int dstParent, const char* dstName, const struct statx& source, bool& created);

// Gives a folder the copy made its source's permission bits and times.
int finishCopyFolder(int folderFd, const struct statx& source);

} // namespace platform
