#include "platform/fileops/locate_entry.h"

#include "platform/files/open_beneath.h"
#include "platform/files/paths.h"

#include <fcntl.h>

#include <cerrno>
#include <optional>

namespace platform {
namespace {

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
    found.folder.reset(openPath(split->folder, PathLinks::None, O_PATH));
    if (!found.folder && (errno == ELOOP || errno == ENOTDIR)) {
        // A link or a file in a folder's place: following the links tells which.
        found.folder.reset(openPath(split->folder, PathLinks::All, O_PATH));
        if (found.folder && !entry.folder.known())
            return ELOOP;
    }
    if (!found.folder)
        return errno;
    if (entry.folder.known() && !isListedFolder(found.folder.get(), entry.folder))
        return ESTALE;
    found.name = split->name;
    if (::statx(found.folder.get(), found.name.constData(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &found.st) != 0)
        return errno;
    // A file row whose name now holds a folder would delete or copy a tree the user never saw.
    return S_ISDIR(found.st.stx_mode) == entry.isFolder ? 0 : ESTALE;
}

} // namespace platform
