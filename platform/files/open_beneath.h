#pragma once

#include <QByteArrayView>

#include <fcntl.h>

namespace platform {

// The one way folders are opened by name: the walk's, a row's action's and a tree visit's. Each
// answers a descriptor, or -1 with errno. access is O_RDONLY for a folder to list, or O_PATH for
// one used only as a place to open or change entries in; O_DIRECTORY and O_CLOEXEC are added.
// Neither opens past PATH_MAX by one call: a longer path goes a stretch of components at a time,
// each opened from the folder the one before reached, so no depth is out of reach.

// A folder below the one open at dir, by the names between them ("a/b/c"), never through a link,
// on the way or at its end, and never above dir (".." past it: EXDEV). Where a link or a file
// stands in a folder's place the answer is ELOOP or ENOTDIR. One name costs one openat and no
// allocation; several cost one openat2 where the kernel has it (5.6 on), else one openat each.
int openBeneath(int dir, QByteArrayView names, int access = O_RDONLY);

// Which links opening a folder by its full path may pass.
enum class PathLinks {
    None,     // none: the path runs through the folders' own names only
    OnTheWay, // those on the way, but not one standing in the last component's place
    All,      // every one, the last too: a location the user typed leads where it leads
};

// A folder by its path: from the root, or from the current folder for a relative path; "" is
// the root.
int openPath(QByteArrayView path, PathLinks links, int access = O_RDONLY);

// Whether openBeneath tries openat2 first; tests turn it off to take the older kernels' way.
void tryOpenat2(bool tries);

} // namespace platform
