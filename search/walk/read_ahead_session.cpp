#include "search/walk/read_ahead_session.h"

#include "search/walk/chunk_reader.h"

#include <cerrno>
#include <optional>

namespace search::readahead {
namespace {

bool meansGone(int error)
{
    return error == ENOENT || error == ENOTDIR || error == ELOOP;
}

} // namespace

// False where nothing can be opened: the root above the folder did not open.
bool Session::plan(FolderSlot& slot, Opening& opening)
{
    std::vector<const QByteArray*> names;
    for (FolderSlot* at = &slot; at->parent && !opening.base; at = at->parent.get()) {
        names.push_back(&at->name);
        opening.base = at->parent->open;
        if (opening.base)
            cache.used(*at->parent);
    }
    if (slot.parent && !opening.base)
        return false;
    for (auto name = names.rbegin(); name != names.rend(); ++name)
        opening.names += (opening.names.isEmpty() ? "" : "/") + **name;
    return true;
}

// Whether the folder that opened is the one its parent's listing showed, and may be walked.
// Needs no lock: it reads what a slot never changes once shared, and its parent's identity, which
// is written once, under the lock, before the parent's listing publishes the slot.
FolderOutcome Session::judge(const FolderSlot& slot, const platform::OpenedFolder& opened)
{
    if (!opened.folder)
        return meansGone(opened.error) ? FolderOutcome::Gone : FolderOutcome::Unreadable;
    const platform::EntryIdentity identity = opened.folder->identity();
    // A mount point shows the folder below the mount in its parent's listing, another volume here.
    if (slot.expected && slot.expected->device == identity.device && slot.expected->inode != identity.inode)
        return FolderOutcome::Gone;
    const uint64_t parentVolume = slot.parent ? slot.parent->identity.device : 0;
    if (identity.device == parentVolume)
        return FolderOutcome::Listed;
    if ((slot.sameVolumeOnly && parentVolume != 0) || fileSystem.isVirtualVolume(identity.device))
        return FolderOutcome::OutOfBounds;
    return FolderOutcome::Listed;
}

// One chunk of a task's folder, opening it first where needed; the lock is given up once, while
// the disk is read.
void Session::step(std::unique_lock<std::mutex>& lock, Task& task, EntryFilter& filter, size_t chunkEntries)
{
    const std::shared_ptr<FolderSlot> slot = task.slot;
    std::optional<Opening> opening;
    if (!task.listing && !plan(*slot, opening.emplace())) {
        finish(slot, FolderOutcome::Gone); // its root did not open: nothing below it either
        task.reset();
        return;
    }
    EntryChunk chunk = spareChunk();
    std::vector<std::shared_ptr<platform::OpenFolder>> toClose;
    toClose.swap(closing);
    slot->stepping = true;
    lock.unlock();
    toClose.clear(); // the descriptors the cache let go close outside the lock
    platform::OpenedFolder opened;
    FolderOutcome outcome = FolderOutcome::Listed;
    if (opening) {
        opened = opening->base ? fileSystem.openBelow(*opening->base, opening->names)
                               : fileSystem.openFolder(slot->rootPath, slot->followLink);
        opening.reset();
        // After a stop the file system may be gone with the window: nothing but the session is
        // touched any more.
        if (!cancelled.load()) {
            outcome = judge(*slot, opened);
            if (outcome == FolderOutcome::Listed)
                task.listing = opened.folder->list(&cancelled);
        }
    }
    const bool more = task.listing && readChunk(*task.listing, filter, slot, chunk, chunkEntries, cancelled);
    task.metFolders |= !chunk.folders.empty();
    const int listingError = !more && task.listing ? task.listing->error() : 0;
    platform::EntryIdentity identity;
    if (opened.folder)
        identity = opened.folder->identity();
    // A folder with no sub-folder is never opened from: it closes at once, while what the file
    // system keeps of its listing is still fresh (closing it long after costs several times as much).
    const bool closesNow = !more && !task.metFolders && task.listing;
    if (closesNow) {
        task.listing.reset();
        opened.folder.reset();
    }
    lock.lock();
    slot->stepping = false;
    if (cancelled)
        return;
    if (slot->dropped) {
        task.reset();
        return;
    }
    if (outcome != FolderOutcome::Listed) {
        task.reset();
        finish(slot, outcome);
        return;
    }
    if (identity.known())
        slot->identity = identity;
    if (opened.folder)
        slot->open = std::move(opened.folder);
    publish(*slot, std::move(chunk));
    if (!more) {
        if (closesNow && slot->open) // read over several chunks: closed on the next step, unlocked
            closing.push_back(std::move(slot->open));
        task.reset();
        finish(slot, listingError ? FolderOutcome::Unreadable : FolderOutcome::Listed);
    }
}

} // namespace search::readahead
