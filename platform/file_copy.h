#pragma once

#include "platform/file_operation.h"

#include <QByteArray>

namespace platform {

// Copies a file's contents and permission bits to the destination, replacing a file or link of
// that name (never a folder). The copy is written under a temporary name beside the destination
// and renamed over it, so a failed copy never leaves half a file in place of the old one. A link
// is copied as a link. Copying an entry onto itself is refused.
FileOperationResult copyFile(const QByteArray& from, const QByteArray& to);

// Copies a folder's whole tree to the destination, merging into a folder already there and
// replacing files of the same names; links are copied as links. A destination that is the source
// or lies inside it is refused before anything is written.
FileOperationResult copyFolderTree(const QByteArray& from, const QByteArray& to);

} // namespace platform
