#pragma once

#include "search/row_confirmation.h"
#include "search/walk/found_entries.h"

#include <memory>

namespace platform {
class IconSource;
}

namespace search {

class ResultList;
struct ResultRow;

// Turns what the walk finds into result rows: name, folder, size, modification time and icon.
class FoundRows : public FoundEntries {
public:
    FoundRows(ResultList& results, platform::IconSource& icons) : results_(results), icons_(icons) {}

    void clear() override;
    void add(const FoundEntry& entry) override;
    void folderDone(const QByteArray& folder) override;
    // An entry the walks' memory answered with, shown grey until a walk lists it again.
    void addRemembered(const FoundEntry& entry) { AddResultRow(entry, true); }
    void flush() override;
    void movePrefix(QByteArrayView from, QByteArrayView to) override;

    // The rows in the list now came from memory: the walk that follows confirms them rather than
    // adding its own (row_confirmation.h).
    void beginConfirming();
    // The walk ended, by itself (complete) or stopped; how many rows are left unconfirmed.
    int64_t endConfirming(bool complete);

private:
    ResultRow rowOf(const FoundEntry& entry, bool unconfirmed);
    void takeListing(ResultRow& row, const FoundEntry& entry);
    void AddResultRow(const FoundEntry& entry, bool unconfirmed);

    ResultList& results_;
    platform::IconSource& icons_;
    uint32_t lastFolderRecord_ = 0; // the result list's record of the folder of the last row
    platform::EntryIdentity lastFolderIdentity_;
    std::unique_ptr<RowConfirmation> confirmation_;
};

} // namespace search
