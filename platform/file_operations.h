#pragma once

#include <QByteArray>

namespace platform {

// What a file operation did: no error, or the errno of the step that failed. The caller decides
// what the user sees.
struct FileOperationResult {
    int error = 0;
    bool ok() const { return error == 0; }
};

// The operations that change the disk on behalf of a result row. Paths are the file system's own
// bytes; a path holding a NUL byte is refused. Symbolic links are never followed below the paths
// given: a link is an entry of its own, deleted, renamed and copied as a link.

// Removes one entry that is not a folder; a link goes, its target stays.
FileOperationResult deleteFile(const QByteArray& path);

// Removes a folder with everything below it. Folders inside that the user may not write are made
// writable first; the walk works relative to folder descriptors opened without following links,
// so nothing outside the tree is touched, and it never enters another volume mounted inside.
// On a failure it stops there; what it removed before stays removed.
FileOperationResult deleteFolderTree(const QByteArray& path);

// Gives an entry its new path, never replacing an entry that already has it.
FileOperationResult renameNoReplace(const QByteArray& from, const QByteArray& to);
// The same for file systems without an atomic no-replace rename: a hard link then unlink for a
// file, a test just before the rename for a folder (or where hard links are not supported).
FileOperationResult renameNoReplaceByLink(const QByteArray& from, const QByteArray& to);

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
