#include "search/walk/read_ahead_session.h"

#include "search/walk/chunk_reader.h"

#include <QVarLengthArray>

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
    QVarLengthArray<const QByteArray*, 16> names;
    for (FolderSlot* at = &slot; at->parent && !opening.base; at = at->parent.get()) {
        names.push_back(&at->name);
        opening.base = at->parent->open;
        if (opening.base)
            cache.used(*at->parent);
    }
    if (slot.parent && !opening.base)
        return false;
    if (!slot.parent)
        opening.root = slot.open;
    if (names.size() == 1) { // the parent is open, as for most: its name is shared, not copied
        opening.names = *names.front();
        FolderSlot& parent = *slot.parent;
        if (parent.foldersToOpen > 0 && --parent.foldersToOpen == 0 && parent.state == FolderSlot::State::Read)
            cache.done(parent, closing);
        return true;
    }
    // Its parent closed (the open folders are bounded): the names from the nearest open one, in
    // one buffer.
    qsizetype size = names.size() - 1;
    for (const QByteArray* name : names)
        size += name->size();
    opening.names.reserve(size);
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
        if (!opening.names.isEmpty())
            opening.names += '/';
        opening.names += **name;
    }
    return true;
}

// Whether the folder that opened is the one its parent's listing showed, and may be walked; its
// identity as found. Needs no lock: it reads what a slot never changes once shared, and its
// parent's identity, which is written once, under the lock, before the parent's listing
// publishes the slot.
FolderOutcome Session::judge(const FolderSlot& slot, platform::OpenFolder& folder, platform::FolderListing& listing,
                             platform::EntryIdentity& identity)
{
    const uint64_t parentVolume = slot.parent ? slot.parent->identity.device : 0;
    // Its own listing's "." names the folder the parent listed: nothing more to ask the kernel.
    if (slot.expected && slot.expected->device == parentVolume) {
        const std::optional<uint64_t> own = listing.ownInode();
        if (own && *own == slot.expected->inode) {
            identity = *slot.expected;
            return FolderOutcome::Listed;
        }
    }
    const std::optional<platform::FolderStatus> status = folder.status();
    if (!status)
        return FolderOutcome::Unreadable;
    identity = status->identity;
    if (!slot.parent)
        return fileSystem.isVirtualVolume(identity.device) ? FolderOutcome::OutOfBounds : FolderOutcome::Listed;
    // A mount point shows the folder below the mount in its parent's listing; a bind mount of the
    // same volume shows another folder of the same device.
    if (!status->mountRoot && identity.device == parentVolume)
        return slot.expected && *slot.expected != identity ? FolderOutcome::Swapped : FolderOutcome::Listed;
    if (slot.sameVolumeOnly || fileSystem.isVirtualVolume(identity.device))
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
    platform::EntryIdentity identity;
    if (opening) {
        if (opening->base)
            opened = fileSystem.openBelow(*opening->base, opening->names);
        else if (opening->root) // opened already to see where it lies
            opened.folder = std::move(opening->root);
        else
            opened = fileSystem.openFolder(slot->rootPath, slot->followLink);
        opening.reset();
        // After a stop the file system may be gone with the window: nothing but the session is
        // touched any more.
        if (!cancelled.load()) {
            if (!opened.folder) {
                outcome = meansGone(opened.error) ? FolderOutcome::Gone : FolderOutcome::Unreadable;
            } else {
                task.listing = opened.folder->list(&cancelled);
                outcome = judge(*slot, *opened.folder, *task.listing, identity);
                if (outcome != FolderOutcome::Listed)
                    task.listing.reset();
            }
        }
    }
    const bool more = task.listing && readChunk(*task.listing, filter, slot, chunk, chunkEntries, cancelled);
    task.metFolders |= !chunk.folders.empty();
    const int listingError = !more && task.listing ? task.listing->error() : 0;
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
