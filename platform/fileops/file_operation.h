#pragma once

namespace platform {

// What a file operation did: no error, or the errno of the step that failed. The caller decides
// what the user sees.
struct FileOperationResult {
    int error = 0;
    // An operation that stopped early, when some of its work stays (a tree copy keeps what it
    // copied whole).
    bool partial = false;
    bool ok() const { return error == 0; }
};

// The operations that change the disk on behalf of a result row (file_delete.h, file_rename.h,
// file_copy.h) share these rules: paths are the file system's own bytes, a path holding a NUL
// byte is refused, and symbolic links are never followed below the paths given: a link is an
// entry of its own, deleted, renamed and copied as a link.

} // namespace platform
