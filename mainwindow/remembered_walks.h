#pragma once

#include "search/memory/walk_memory.h"

#include <QString>

#include <future>
#include <optional>

namespace platform {
class SettingsStore;
}

namespace mainwindow {

// The walks' memory as the window keeps it: read from the user's cache file on a thread of its
// own at start, so that the window shows at once, handed to the searches once read, and written
// back at close. The settings key "remember" at 0 switches it off: nothing is kept, nothing is
// written, and a file left from before is removed.
class RememberedWalks {
public:
    // folder: where the cache file lives; empty: nowhere, the memory lasts as long as the window.
    RememberedWalks(const QString& folder, platform::SettingsStore* settings);
    ~RememberedWalks(); // waits for the reading thread, which cannot be stopped half way
    RememberedWalks(const RememberedWalks&) = delete;
    RememberedWalks& operator=(const RememberedWalks&) = delete;

    bool enabled() const { return enabled_; }
    // The memory, waiting for the file's reading where it is still under way (a search started
    // at once after the start); nothing when switched off.
    search::WalkMemory* memory();
    // The memory only where it is ready now; nothing while the file is still being read.
    search::WalkMemory* memoryIfReady();
    // Writes the memory to the file, where there is one; whether it was written.
    bool save();

private:
    QString folder_;
    bool enabled_ = true;
    std::future<std::optional<search::WalkMemory>> loading_;
    search::WalkMemory memory_;
};

// Whether the settings keep the memory: the key "remember", 1 unless it says 0.
bool rememberSetting(platform::SettingsStore* settings);

} // namespace mainwindow
