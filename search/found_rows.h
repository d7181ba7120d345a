#pragma once

#include "search/walk/found_entries.h"

namespace platform {
class IconSource;
}

namespace search {

class ResultList;

// Turns what the walk finds into result rows: name, folder, size, modification time and icon.
class FoundRows : public FoundEntries {
public:
    FoundRows(ResultList& results, platform::IconSource& icons) : results_(results), icons_(icons) {}

    void clear() override;
    void add(const FoundEntry& entry) override { AddResultRow(entry, false); }
    // An entry the walks' memory answered with, shown grey until a walk lists it again.
    void addRemembered(const FoundEntry& entry) { AddResultRow(entry, true); }
    void flush() override;
    void movePrefix(QByteArrayView from, QByteArrayView to) override;

private:
    void AddResultRow(const FoundEntry& entry, bool unconfirmed);

    ResultList& results_;
    platform::IconSource& icons_;
    uint32_t lastFolderRecord_ = 0; // the result list's record of the folder of the last row
    platform::EntryIdentity lastFolderIdentity_;
};

} // namespace search
