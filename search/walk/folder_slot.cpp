#include "search/walk/folder_slot.h"

#include "platform/files/file_system.h"

namespace search {

// A chain of ten thousand folders would otherwise end in ten thousand nested destructors.
FolderSlot::~FolderSlot()
{
    std::shared_ptr<FolderSlot> up = std::move(parent);
    while (up && up.use_count() == 1) // the last owner: no other thread can reach it
        up = std::move(up->parent);
}

std::shared_ptr<FolderSlot> FolderSlot::fresh() const
{
    auto slot = std::make_shared<FolderSlot>();
    slot->parent = parent;
    slot->rootPath = rootPath;
    slot->followLink = followLink;
    slot->sameVolumeOnly = sameVolumeOnly;
    slot->expected = expected;
    slot->name = name;
    slot->queued = queued;
    return slot;
}

} // namespace search
