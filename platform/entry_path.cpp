#include "platform/entry_path.h"

#include "platform/paths.h"

#include <QList>

#include <fcntl.h>

#include <cerrno>
#include <optional>

namespace platform {
namespace {

// Opens a folder path one component at a time: without following a link (metLink tells that one
// stood in the way), or following them where the caller allows it.
int openFolderPath(const QByteArray& path, bool followLinks, Fd& out, bool& metLink)
{
    Fd current(::open(path.startsWith('/') ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!current)
        return errno;
    const int flags = O_PATH | O_CLOEXEC | (followLinks ? O_DIRECTORY : O_NOFOLLOW);
    for (const QByteArray& component : path.split('/')) {
        if (component.isEmpty() || component == ".")
            continue;
        Fd next(::openat(current.get(), component.constData(), flags));
        struct stat st;
        if (!next || ::fstat(next.get(), &st) != 0)
            return errno;
        if (S_ISLNK(st.st_mode)) {
            metLink = true;
            return ELOOP;
        }
        if (!S_ISDIR(st.st_mode))
            return ENOTDIR;
        current = std::move(next);
    }
    out = std::move(current);
    return 0;
}

} // namespace

bool isSameEntry(const struct stat& st, const EntryIdentity& identity)
{
    return !identity.known() || (uint64_t(st.st_dev) == identity.device && uint64_t(st.st_ino) == identity.inode);
}

int locateEntry(const EntryRef& entry, LocatedEntry& found)
{
    const std::optional<SplitPath> split = splitEntryPath(entry.path);
    if (!split)
        return EINVAL;
    bool metLink = false;
    int error = openFolderPath(split->folder, false, found.folder, metLink);
    if (error == ELOOP && metLink && entry.identity.known())
        error = openFolderPath(split->folder, true, found.folder, metLink);
    if (error)
        return error;
    found.name = split->name;
    if (::fstatat(found.folder.get(), found.name.constData(), &found.st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    return isSameEntry(found.st, entry.identity) ? 0 : ESTALE;
}

int checkIdentity(int folderFd, const QByteArray& name, const EntryIdentity& identity)
{
    struct stat st;
    if (::fstatat(folderFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    return isSameEntry(st, identity) ? 0 : ESTALE;
}

} // namespace platform
