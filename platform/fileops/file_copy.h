#pragma once

#include "platform/fileops/file_operation.h"
#include "platform/fileops/locate_entry.h"

#include <QByteArray>

namespace platform {

class OperationProgress;

// The source is a row's entry, found as locateEntry finds it; the destination is a path whose
// folder is the user's to name, links and all, while the copy never writes through a link below
// it: a link at a destination name is replaced as a link.

// Copies a file's contents and permission bits to the destination, replacing a file or link of
// that name (never a folder). The copy is written under a temporary name beside the destination
// and renamed over it, so a failed copy never leaves half a file in place of the old one. A link
// is copied as a link. Copying an entry onto itself is refused.
FileOperationResult copyFile(const EntryRef& from, const QByteArray& to, OperationProgress* progress = nullptr);

// Copies a folder's whole tree to the destination, merging into a folder already there and
// replacing files and links of the same names; links are copied as links. A destination that is
// the source or lies inside it is refused before anything is written. Another volume mounted
// below the source is not copied: its mount point comes across as an empty folder. The copy goes
// on past entries it cannot copy and then answers the first such error (see TreeCopy).
// Both copies report their bytes to progress, if given, and stop on its cancel (ECANCELED): a
// cancelled file copy leaves the destination as it was, a cancelled tree copy keeps what it
// copied whole (partial tells whether there was any) and leaves no folder it made empty.
FileOperationResult copyFolderTree(const EntryRef& from, const QByteArray& to,
                                   OperationProgress* progress = nullptr);

// Whether a typed copy target names a folder, through whatever links it holds: where it leads
// is the user's choice.
bool isCopyTargetFolder(const QByteArray& target);

} // namespace platform
