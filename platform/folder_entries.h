#pragma once

#include "platform/file_descriptor.h"

#include <QByteArray>

#include <functional>
#include <sys/stat.h>
#include <vector>

namespace platform {

// A folder to work in by descriptor, opened through whatever links its path holds.
Fd openHolder(const QByteArray& folder);

bool sameEntry(const struct stat& a, const struct stat& b);

// The names of a folder ("." and ".." left out), read in full before any of them is changed.
int listNames(int folderFd, std::vector<QByteArray>& names);

// Lists a folder, then hands each entry with its own status (a link is not followed) to visit,
// which returns 0 to go on or an errno to stop with. An entry gone between the listing and its
// status is left out.
int forEachEntry(int folderFd, const std::function<int(const QByteArray& name, const struct stat& st)>& visit);

} // namespace platform
