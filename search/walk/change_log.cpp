#include "search/walk/change_log.h"

#include "platform/files/paths.h"

#include <algorithm>

namespace search {

void ChangeLog::changed(QByteArrayView folder, uint64_t epoch)
{
    changes_.push_back({folder.toByteArray(), epoch});
}

void ChangeLog::renamed(QByteArrayView from, QByteArrayView to, uint64_t epoch)
{
    for (Change& change : changes_)
        platform::movePath(change.folder, from, to);
    changed(to, epoch);
}

bool ChangeLog::changedSince(QByteArrayView folder, uint64_t epoch) const
{
    return std::any_of(changes_.begin(), changes_.end(), [&](const Change& change) {
        return change.epoch > epoch && platform::isSameOrBelow(folder, change.folder);
    });
}

} // namespace search
