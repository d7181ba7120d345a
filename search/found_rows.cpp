#include "search/found_rows.h"

#include "platform/files/file_name_text.h"
#include "platform/icon_source.h"
#include "search/results/result_list.h"

namespace search {

void FoundRows::clear()
{
    results_.clear();
    lastFolderRecord_ = 0; // the list starts its records again with the search
}

void FoundRows::AddResultRow(const FoundEntry& entry, bool unconfirmed)
{
    ResultRow row;
    row.unconfirmed = unconfirmed;
    row.folder = entry.folder;
    row.name = entry.name.toByteArray();
    row.icon = icons_.GetFileIcon(platform::fileNameText(row.name), entry.isDirectory);
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
    results_.append(std::move(row));
}

void FoundRows::flush()
{
    results_.flush();
}

void FoundRows::movePrefix(QByteArrayView from, QByteArrayView to)
{
    results_.movePrefix(from, to);
}

} // namespace search
