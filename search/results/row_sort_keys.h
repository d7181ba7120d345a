#pragma once

#include "search/results/key_arena.h"
#include "search/results/name_collator.h"
#include "search/results/result_list.h"

#include <QByteArray>
#include <QHash>
#include <QtCore/qnamespace.h>

#include <memory>
#include <vector>

namespace search {

template <typename T>
int threeWay(const T& a, const T& b)
{
    return a < b ? -1 : b < a ? 1 : 0;
}

// A three-way comparison of keys turned by the order; rows of equal keys stay in the order found.
inline bool before(int byKey, int rowA, int rowB, Qt::SortOrder order)
{
    if (byKey != 0)
        return order == Qt::AscendingOrder ? byKey < 0 : byKey > 0;
    return rowA < rowB;
}

// The keys by which the shown rows of a result list sort on one column, computed once per row and
// kept in the rows' own order:
// - "文件名称": the collation key of the name;
// - "文件位置": the folder's key (its components' keys strung together, so a folder sorts before
//   the folders below it), then the name's; one key per folder, shared by its rows;
// - "文件大小": the number of bytes, read from the row itself; rows without a size (folders) first.
class RowSortKeys {
public:
    explicit RowSortKeys(const ResultList& list);
    ~RowSortKeys();

    int column() const { return column_; } // -1: none
    // Keys of every shown row for this column, unless they are there already.
    void build(int column);
    void clear();
    // The list's first rows have keys; rows added after them wait for theirs.
    int rowCount() const { return count_; }

    // Rows after the keyed ones, up to the list row last, get their keys; removed ones lose them.
    void addRows(int last);
    void removed(int first, int last);
    // Whether a change to the columns [first, last] of a row can change its key.
    bool dependsOn(int firstColumn, int lastColumn) const;
    // The rows [first, last] changed (their names too, or only their folders); returns those with
    // keys whose key changed with them.
    std::vector<int> changed(int first, int last, bool nameChanged);

    // Three-way, by key alone.
    int compare(int a, int b) const;
    // A number that orders as the key, as far as it goes: the start of a name's key, or the size
    // itself (whole). The location has none: its folder's key starts alike for every row.
    bool hasLeading() const { return column_ == ResultList::NameColumn || column_ == ResultList::SizeColumn; }
    bool leadingIsWholeKey() const { return column_ == ResultList::SizeColumn; }
    uint64_t leading(int row) const;
    // The first count rows (all with keys), by key; rows of equal keys in the order found. With
    // hasLeading(), leading gets each shown row's number, in the same order.
    void sortRows(std::vector<int>& rows, std::vector<uint64_t>& leading, Qt::SortOrder order, int count) const;

private:
    std::span<const uint8_t> nameKey(int row) const { return arena_.at(nameKeys_[size_t(row)]); }
    std::span<const uint8_t> folderKey(int row) const { return arena_.at(folderKeys_[folderOf_[size_t(row)]]); }
    int64_t sizeKey(int row) const;
    void computeNameKeys(int first, int last);
    uint32_t folderId(const QByteArray& folder);
    std::vector<uint32_t> folderRanks() const;
    void sortByFolderThenName(std::vector<int>& rows, Qt::SortOrder order) const;
    void sortTiesByLaterBytes(std::vector<int>& rows, std::vector<uint64_t>& number, Qt::SortOrder order) const;
    NameCollator& collator();

    const ResultList& list_;
    int column_ = -1;
    int count_ = 0;
    KeyArena arena_;
    std::unique_ptr<NameCollator> collator_; // for the window's thread, made on first use
    std::vector<KeyArena::Ref> nameKeys_;    // per row: name and location
    std::vector<uint32_t> folderOf_;         // per row: location
    std::vector<KeyArena::Ref> folderKeys_;  // per folder
    QHash<QByteArray, uint32_t> folderIds_;  // rows' folders and those above them
    QByteArray lastFolder_;                  // rows of one folder come together: looked up once
    uint32_t lastFolderId_ = 0;
};

} // namespace search
