#pragma once

#include "platform/fileops/file_operation.h"
#include "platform/fileops/locate_entry.h"

namespace platform {

// Gives an entry a new name in its own folder, never replacing an entry that already has it. A
// name that is empty, ".", "..", or holds "/" or a NUL is refused (EINVAL).
FileOperationResult renameEntry(const EntryRef& entry, const QByteArray& newName);
// The same for file systems without an atomic no-replace rename: a hard link then unlink for a
// file, a test just before the rename for a folder (or where hard links are not supported).
FileOperationResult renameEntryByLink(const EntryRef& entry, const QByteArray& newName);

} // namespace platform
