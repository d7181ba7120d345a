#pragma once

#include "platform/file_operation.h"

#include <QByteArray>

namespace platform {

// Removes one entry that is not a folder; a link goes, its target stays.
FileOperationResult deleteFile(const QByteArray& path);

// Removes a folder with everything below it. Folders inside that the user may not write are made
// writable first; the walk works relative to folder descriptors opened without following links,
// so nothing outside the tree is touched, and it never enters another volume mounted inside.
// On a failure it stops there; what it removed before stays removed.
FileOperationResult deleteFolderTree(const QByteArray& path);

} // namespace platform
