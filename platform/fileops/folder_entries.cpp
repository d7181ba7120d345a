#include "platform/fileops/folder_entries.h"

#include <dirent.h>
#include <fcntl.h>

#include <cerrno>

namespace platform {

Fd openHolder(const QByteArray& folder)
{
    return Fd(::open(folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
}

bool sameEntry(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

int listNames(int folderFd, std::vector<QByteArray>& names)
{
    const int fd = ::fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0)
        return errno;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    ::rewinddir(dir); // the duplicate shares its position with the folder's descriptor
    int error = 0;
    while (true) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            error = errno;
            break;
        }
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(dir);
    return error;
}

} // namespace platform
