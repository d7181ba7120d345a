#pragma once

#include "platform/file_operation.h"

#include <QByteArray>

namespace platform {

// Gives an entry its new path, never replacing an entry that already has it.
FileOperationResult renameNoReplace(const QByteArray& from, const QByteArray& to);
// The same for file systems without an atomic no-replace rename: a hard link then unlink for a
// file, a test just before the rename for a folder (or where hard links are not supported).
FileOperationResult renameNoReplaceByLink(const QByteArray& from, const QByteArray& to);

} // namespace platform
