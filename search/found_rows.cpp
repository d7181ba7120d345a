#include "search/found_rows.h"

#include "platform/files/paths.h"
#include "platform/icon_source.h"
#include "search/results/result_list.h"

#include <algorithm>

namespace search {

void FoundRows::clear()
{
    confirmation_.reset();
    leftOut_.clear();
    results_.clear();
    lastFolderRecord_ = 0; // the list starts its records again with the search
}

void FoundRows::add(const FoundEntry& entry)
{
    const int row = confirmation_ ? confirmation_->rowFor(entry.folder, entry.name) : -1;
    if (row < 0) {
        AddResultRow(entry, false);
        return;
    }
    // The row has the name and the folder already: it takes what the walk read, and its icon
    // only where the entry's kind changed.
    const ResultRow& shown = results_.row(row);
    ResultRow listed;
    listed.icon = shown.isFolder == entry.isDirectory
        ? shown.icon
        : icons_.iconForName(shown.name, entry.isDirectory);
    takeListing(listed, entry);
    results_.confirmRow(row, listed);
}

void FoundRows::addRemembered(const FoundEntry& entry)
{
    if (confirmation_) {
        if (confirmation_->begun(entry.folder) || isLeftOut(entry))
            return;
        confirmation_->remembered(int(results_.totalRows()), entry.folder);
    }
    AddResultRow(entry, true);
}

bool FoundRows::isLeftOut(const FoundEntry& entry) const
{
    if (leftOut_.empty())
        return false;
    const QByteArray path = platform::joinPath(entry.folder, entry.name);
    return std::any_of(leftOut_.begin(), leftOut_.end(),
                       [&](const QByteArray& out) { return platform::isSameOrBelow(path, out); });
}

void FoundRows::answerShown()
{
    if (confirmation_)
        confirmation_->answerShown();
}

void FoundRows::folderDone(const QByteArray& folder)
{
    if (confirmation_)
        confirmation_->folderDone(folder);
}

void FoundRows::beginConfirming(size_t folders)
{
    results_.flush();
    confirmation_ = std::make_unique<RowConfirmation>(results_, folders);
}

int64_t FoundRows::endConfirming(bool complete)
{
    if (!confirmation_)
        return 0;
    results_.flush();
    if (complete)
        confirmation_->complete();
    confirmation_.reset();
    return results_.unconfirmedRows();
}

void FoundRows::AddResultRow(const FoundEntry& entry, bool unconfirmed)
{
    results_.append(rowOf(entry, unconfirmed));
}

ResultRow FoundRows::rowOf(const FoundEntry& entry, bool unconfirmed)
{
    ResultRow row;
    row.unconfirmed = unconfirmed;
    row.folder = entry.folder;
    row.name = entry.name;
    row.icon = icons_.iconForName(row.name, entry.isDirectory);
    takeListing(row, entry);
    return row;
}

// What the walk read of the entry: its folder's record, its kind, size and time.
void FoundRows::takeListing(ResultRow& row, const FoundEntry& entry)
{
    // Consecutive rows of one folder share its record.
    if (!lastFolderRecord_ || entry.listedIn != lastFolderIdentity_) {
        lastFolderRecord_ = results_.recordFolder(entry.listedIn);
        lastFolderIdentity_ = entry.listedIn;
    }
    row.listedIn = lastFolderRecord_;
    row.isFolder = entry.isDirectory;
    if (entry.length) {
        row.size = *entry.length;
        row.hasSize = true;
    }
    if (entry.modified)
        row.modified = *entry.modified;
}

void FoundRows::flush()
{
    if (confirmation_)
        confirmation_->removeGone();
    results_.flush();
}

void FoundRows::movePrefix(QByteArrayView from, QByteArrayView to)
{
    results_.movePrefix(from, to);
}

} // namespace search
