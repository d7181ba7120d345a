#include "search/walk/open_folder_cache.h"

#include "platform/files/file_system.h"
#include "search/walk/folder_slot.h"

#include <sys/resource.h>

#include <algorithm>

namespace search {

void OpenFolderCache::keep(const std::shared_ptr<FolderSlot>& slot,
                           std::vector<std::shared_ptr<platform::OpenFolder>>& closing)
{
    if (!slot->parent || !slot->open || slot->inCache)
        return;
    order_.push_front(slot);
    slot->inCache = true;
    slot->cached = order_.begin();
    while (order_.size() > capacity_) {
        FolderSlot& oldest = *order_.back();
        closing.push_back(std::move(oldest.open));
        oldest.inCache = false;
        order_.pop_back();
    }
}

void OpenFolderCache::used(FolderSlot& slot)
{
    if (slot.inCache)
        order_.splice(order_.begin(), order_, slot.cached);
}

void OpenFolderCache::done(FolderSlot& slot, std::vector<std::shared_ptr<platform::OpenFolder>>& closing)
{
    if (!slot.inCache)
        return;
    closing.push_back(std::move(slot.open));
    slot.inCache = false;
    order_.erase(slot.cached);
}

void OpenFolderCache::clear(std::vector<std::shared_ptr<platform::OpenFolder>>& closing)
{
    for (const std::shared_ptr<FolderSlot>& slot : order_) {
        closing.push_back(std::move(slot->open));
        slot->inCache = false;
    }
    order_.clear();
}

size_t defaultOpenFolders()
{
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 256;
    return std::clamp<size_t>(limit.rlim_cur / 4, 16, 1024);
}

} // namespace search
