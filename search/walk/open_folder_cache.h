#pragma once

#include <cstddef>
#include <list>
#include <memory>
#include <vector>

namespace platform {
class OpenFolder;
}

namespace search {

struct FolderSlot;

// The folders kept open after their listing, so that the folders below them are opened from
// them, as many as the bound allows; the least recently used is closed first. Roots stay open
// as long as their slots live and are not counted. Used under the read-ahead's mutex.
class OpenFolderCache {
public:
    explicit OpenFolderCache(size_t capacity) : capacity_(capacity) {}

    // Its listing has ended; the folders the bound puts out go to closing, for the caller to close
    // once it no longer holds the read-ahead's mutex.
    void keep(const std::shared_ptr<FolderSlot>& slot, std::vector<std::shared_ptr<platform::OpenFolder>>& closing);
    void used(FolderSlot& slot);                        // a folder below it was opened from it
    // Every folder listed in it has been opened: it goes to closing at once, while what the file
    // system keeps of it is fresh (closing it long after costs several times as much).
    void done(FolderSlot& slot, std::vector<std::shared_ptr<platform::OpenFolder>>& closing);
    // Every folder goes to closing, for the caller to close once it no longer holds the mutex.
    void clear(std::vector<std::shared_ptr<platform::OpenFolder>>& closing);

private:
    std::list<std::shared_ptr<FolderSlot>> order_; // most recently used first
    size_t capacity_;
};

// A bound that leaves most of the process's descriptors to everything else.
size_t defaultOpenFolders();

} // namespace search
