#include "platform/fileops/locate_entry.h"

#include "platform/files/paths.h"

#include <QList>

#include <fcntl.h>

#include <cerrno>
#include <optional>

namespace platform {
namespace {

// Opens a folder path one component at a time: without following links (metLink tells that one
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

bool isListedFolder(int folderFd, const EntryIdentity& listed)
{
    struct stat st;
    return ::fstat(folderFd, &st) == 0 && identityOf(st) == listed;
}

} // namespace

int locateEntry(const EntryRef& entry, LocatedEntry& found)
{
    const std::optional<SplitPath> split = splitEntryPath(entry.path);
    if (!split)
        return EINVAL;
    bool metLink = false;
    int error = openFolderPath(split->folder, false, found.folder, metLink);
    if (error == ELOOP && metLink && entry.folder.known())
        error = openFolderPath(split->folder, true, found.folder, metLink);
    if (error)
        return error;
    if (entry.folder.known() && !isListedFolder(found.folder.get(), entry.folder))
        return ESTALE;
    found.name = split->name;
    if (::fstatat(found.folder.get(), found.name.constData(), &found.st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    // A file row whose name now holds a folder would delete or copy a tree the user never saw.
    return S_ISDIR(found.st.st_mode) == entry.isFolder ? 0 : ESTALE;
}

} // namespace platform
