#pragma once

#include "search/row_confirmation.h"
#include "search/walk/found_entries.h"

#include <memory>
#include <vector>

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
    // An entry the walks' memory answered with, shown grey until a walk lists it again. While
    // confirming, the entries of a folder the walk has begun are left to the walk, and so are
    // those at or below a path deleted or renamed from the window since the search began.
    void addRemembered(const FoundEntry& entry);
    void leaveOutRemembered(const QByteArray& path) { leftOut_.push_back(path); }
    // The memory's answer is all shown: no more rows come from it.
    void answerShown();
    void flush() override;
    void movePrefix(QByteArrayView from, QByteArrayView to) override;

    // The rows from memory added from now on are confirmed by the walk that follows, rather than
    // it adding its own (row_confirmation.h).
    void beginConfirming(size_t folders = 0);
    // The walk ended, by itself (complete) or stopped; how many rows are left unconfirmed.
    int64_t endConfirming(bool complete);

private:
    ResultRow rowOf(const FoundEntry& entry, bool unconfirmed);
    void takeListing(ResultRow& row, const FoundEntry& entry);
    void AddResultRow(const FoundEntry& entry, bool unconfirmed);
    bool isLeftOut(const FoundEntry& entry) const;

    ResultList& results_;
    platform::IconSource& icons_;
    uint32_t lastFolderRecord_ = 0; // the result list's record of the folder of the last row
    platform::EntryIdentity lastFolderIdentity_;
    std::unique_ptr<RowConfirmation> confirmation_;
    std::vector<QByteArray> leftOut_;
};

} // namespace search
