#include "platform/fileops/file_copy.h"

#include "platform/fileops/entry_copy.h"
#include "platform/fileops/operation_progress.h"
#include "platform/fileops/tree_copy.h"
#include "platform/files/open_beneath.h"
#include "platform/files/paths.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <optional>
#include <utility>
#include <variant>

namespace platform {
namespace {

// Whether a folder is the given entry or lies anywhere below it, found by walking up through ".."
// by descriptor, so that links and odd spellings in the typed path change nothing. When the walk
// cannot tell, the answer is yes: the copy is then refused rather than risked.
bool isSameOrInside(int folderFd, const EntryIdentity& entry)
{
    Fd current(::fcntl(folderFd, F_DUPFD_CLOEXEC, 0));
    for (int level = 0; current && level < 4096; ++level) {
        struct stat here;
        if (::fstat(current.get(), &here) != 0)
            return true;
        if (identityOf(here) == entry)
            return true;
        Fd up(::openat(current.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
        struct stat above;
        if (!up || ::fstat(up.get(), &above) != 0)
            return true;
        if (identityOf(above) == identityOf(here))
            return false; // the root
        current = std::move(up);
    }
    return true;
}

// The source is the row's entry, found as every action finds it; the destination's folder is the
// user's typed target, links and all.
struct CopyEnds {
    LocatedEntry source;
    SplitPath destination;
    Fd destinationFolder;
};

std::variant<CopyEnds, int> openCopyEnds(const EntryRef& from, const QByteArray& to)
{
    std::optional<SplitPath> destination = splitEntryPath(to);
    if (!destination)
        return EINVAL;
    CopyEnds ends{LocatedEntry(), std::move(*destination), Fd()};
    if (const int error = locateEntry(from, ends.source))
        return error;
    ends.destinationFolder.reset(openPath(ends.destination.folder, PathLinks::All, O_PATH));
    if (!ends.destinationFolder)
        return errno;
    return ends;
}

} // namespace

FileOperationResult copyFile(const EntryRef& from, const QByteArray& to, OperationProgress* progress)
{
    auto opened = openCopyEnds(from, to);
    if (const int* error = std::get_if<int>(&opened))
        return {*error};
    const CopyEnds& e = std::get<CopyEnds>(opened);
    if (S_ISDIR(e.source.st.stx_mode))
        return {EISDIR};
    if (S_ISLNK(e.source.st.stx_mode))
        return {copyLinkEntry(e.source.folder.get(), e.source.name.constData(), e.source.st,
                              e.destinationFolder.get(), e.destination.name.constData())};
    if (progress) {
        progress->setTotal(int64_t(e.source.st.stx_size));
        progress->setCurrent(from.path);
    }
    return {copyRegularEntry(e.source.folder.get(), e.source.name.constData(), e.source.st,
                             e.destinationFolder.get(), e.destination.name.constData(), progress)};
}

FileOperationResult copyFolderTree(const EntryRef& from, const QByteArray& to, OperationProgress* progress)
{
    auto opened = openCopyEnds(from, to);
    if (const int* error = std::get_if<int>(&opened))
        return {*error};
    const CopyEnds& e = std::get<CopyEnds>(opened);
    if (!S_ISDIR(e.source.st.stx_mode))
        return {ENOTDIR};
    // A copy into itself would copy its own copy without end, and one onto itself would replace
    // the source's files with themselves.
    if (isSameOrInside(e.destinationFolder.get(), identityOf(e.source.st)))
        return {EINVAL};
    TreeCopy copy(e.source.folder.get(), e.destinationFolder.get(), containingFolder(from.path), progress);
    if (progress)
        progress->setTotal(copy.measure(e.source.name, e.source.st));
    // A cancel while it was counting: nothing has been written.
    if (progress && progress->cancelled())
        return {ECANCELED};
    const int error = copy.run(e.source.name, e.source.st, e.destination.name);
    return {error, error != 0 && copy.copiedAny()};
}

bool isCopyTargetFolder(const QByteArray& target)
{
    struct stat st;
    return !target.isEmpty() && !target.contains('\0') && ::stat(target.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace platform
