#include "search/walk/folder_queue.h"

#include "platform/files/paths.h"
#include "search/walk/folder_slot.h"

namespace search {

void FolderQueue::clear()
{
    waiting_.clear();
    waiting_.shrink_to_fit();
    queued_ = 0;
}

void FolderQueue::push(QueuedFolder folder)
{
    folder.position = ++queued_;
    waiting_.push_back(std::move(folder));
}

QueuedFolder FolderQueue::takeNext()
{
    QueuedFolder next = std::move(waiting_.front());
    waiting_.pop_front();
    return next;
}

void FolderQueue::movePrefix(QByteArrayView from, QByteArrayView to)
{
    for (QueuedFolder& folder : waiting_)
        platform::movePath(folder.path, from, to);
}

void FolderQueue::releaseSlots()
{
    for (QueuedFolder& folder : waiting_)
        folder.slot.reset();
}

const QueuedFolder* FolderQueue::findAtOrBelow(QByteArrayView path) const
{
    for (const QueuedFolder& folder : waiting_)
        if (platform::isSameOrBelow(folder.path, path))
            return &folder;
    return nullptr;
}

} // namespace search
