#pragma once

#include "platform/fileops/file_operation.h"
#include "platform/fileops/locate_entry.h"

namespace platform {

class OperationProgress;

// Removes one entry that is not a folder; a link goes, its target stays.
FileOperationResult deleteFile(const EntryRef& entry);

// Removes a folder with everything below it, whatever its depth. Folders inside that the user may
// not write are made writable first; the walk works relative to folder descriptors opened without
// following links, so nothing outside the tree is touched. A folder that is itself a mount point,
// or holds one at any depth (a bind mount of the same volume too), is refused before anything is
// deleted (EBUSY). On a failure the delete stops there; what it removed before stays removed.
// The entries removed are reported to progress (if given), which may stop the delete at the next
// entry (ECANCELED); the folder then stays, in part.
FileOperationResult deleteFolderTree(const EntryRef& entry, OperationProgress* progress = nullptr);

} // namespace platform
