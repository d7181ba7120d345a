#include "mainwindow/remembered_walks.h"

#include "platform/session/settings_store.h"
#include "search/memory/memory_cache.h"

namespace mainwindow {

bool rememberSetting(platform::SettingsStore* settings)
{
    if (!settings)
        return true;
    return settings->read(QStringLiteral("Form1"), QStringLiteral("remember"), QStringLiteral("1")).trimmed()
        != QStringLiteral("0");
}

RememberedWalks::RememberedWalks(const QString& folder, platform::SettingsStore* settings)
    : folder_(folder), enabled_(rememberSetting(settings))
{
    if (folder_.isEmpty())
        return;
    if (!enabled_) {
        search::walkMemoryFile(folder_).remove();
        return;
    }
    loading_ = std::async(std::launch::async, [folder = folder_] {
        return search::loadWalkMemory(search::walkMemoryFile(folder));
    });
}

RememberedWalks::~RememberedWalks()
{
    if (loading_.valid())
        loading_.wait();
}

search::WalkMemory* RememberedWalks::memory()
{
    if (!enabled_)
        return nullptr;
    if (loading_.valid()) {
        // A file refused or not whole gives an empty memory, and is replaced at the next save.
        if (std::optional<search::WalkMemory> loaded = loading_.get())
            memory_ = std::move(*loaded);
    }
    return &memory_;
}

search::WalkMemory* RememberedWalks::memoryIfReady()
{
    if (loading_.valid() && loading_.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        return nullptr;
    return memory();
}

bool RememberedWalks::save()
{
    if (!enabled_ || folder_.isEmpty())
        return false;
    return search::saveWalkMemory(*memory(), search::walkMemoryFile(folder_));
}

} // namespace mainwindow
