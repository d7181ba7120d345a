#pragma once

#include "platform/files/file_descriptor.h"

#include <QByteArray>

#include <sys/stat.h>
#include <vector>

namespace platform {

// A folder to work in by descriptor, opened through whatever links its path holds.
Fd openHolder(const QByteArray& folder);

bool sameEntry(const struct stat& a, const struct stat& b);

// The names of a folder ("." and ".." left out), read in full before any of them is changed.
int listNames(int folderFd, std::vector<QByteArray>& names);

} // namespace platform
