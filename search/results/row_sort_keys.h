#pragma once

#include "search/results/key_arena.h"
#include "search/results/name_collator.h"
#include "search/results/paged_array.h"
#include "search/results/result_list.h"

#include <QByteArray>
#include <QHash>
#include <QtCore/qnamespace.h>

#include <memory>
#include <span>
#include <vector>

namespace search {

template <typename T>
int threeWay(const T& a, const T& b)
{
    return a < b ? -1 : b < a ? 1 : 0;
}

// A row of the list as the order holds it: with the number that orders it as far as it goes
// (RowSortKeys::leading), beside it in memory, so that most comparisons read no key.
struct SortEntry {
    uint64_t leading = 0;
    int row = 0;
};

// The keys by which the shown rows of a result list sort on one column, computed once per row and
// kept in the rows' own order:
// - "文件名称": the collation key of the name;
// - "文件位置": the folder's key (its components' keys strung together, so a folder sorts before
//   the folders below it), then the name's; one key per folder, shared by its rows;
// - "文件大小": the number of bytes, read from the row itself; rows without a size (folders) first;
// - "修改日期": the seconds since the epoch, read from the row itself; rows without a time first.
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
    // The rows [first, last] changed (their names too, or only their folders, or their sizes and
    // times); returns those with keys whose key may have changed with them.
    std::vector<int> changed(int first, int last, bool nameChanged);

    // A row with its leading number: the start of a name's key, or the size or time itself (the
    // whole key). The location has none (0): its folders' keys start alike for every row.
    SortEntry entry(int row) const { return {leading(row), row}; }

    // The order's one comparison: the leading numbers, then the keys where those tie, then the
    // order found, so that rows of equal keys keep it whichever way the keys go.
    class Less {
    public:
        bool operator()(const SortEntry& a, const SortEntry& b) const
        {
            if (a.leading != b.leading)
                return leadingBefore(a, b);
            if (const int byKey = wholeKey_ ? 0 : keys_->compare(a.row, b.row))
                return ascending_ ? byKey < 0 : byKey > 0;
            return a.row < b.row;
        }
        bool leadingBefore(const SortEntry& a, const SortEntry& b) const
        {
            return ascending_ ? a.leading < b.leading : a.leading > b.leading;
        }

    private:
        friend class RowSortKeys;
        Less(const RowSortKeys& keys, Qt::SortOrder order)
            : keys_(&keys), ascending_(order == Qt::AscendingOrder), wholeKey_(keys.keyedByRow())
        {
        }
        const RowSortKeys* keys_;
        bool ascending_;
        bool wholeKey_;
    };
    Less less(Qt::SortOrder order) const { return Less(*this, order); }

    // Every keyed row, in order, into entries (as many as the keyed rows).
    void sortRows(std::span<SortEntry> entries, Qt::SortOrder order) const;

private:
    // Whether the column's key is a number the row holds, so that no key is kept for it.
    bool keyedByRow() const { return column_ == ResultList::SizeColumn || column_ == ResultList::ModifiedColumn; }
    int compare(int a, int b) const; // three-way, by key alone
    uint64_t leading(int row) const;
    std::span<const uint8_t> nameKey(int row) const { return arena_.at(nameKeys_[size_t(row)]); }
    std::span<const uint8_t> folderKey(int row) const { return arena_.at(folderKeys_[folderOf_[size_t(row)]]); }
    int64_t sizeKey(int row) const;
    int64_t modifiedKey(int row) const { return list_.row(row).modified; } // unknown: the least
    void computeNameKeys(int first, int last);
    uint32_t folderId(const QByteArray& folder);
    std::vector<uint32_t> folderRanks() const;
    NameCollator& collator();

    const ResultList& list_;
    int column_ = -1;
    int count_ = 0;
    KeyArena arena_;
    std::unique_ptr<NameCollator> collator_; // for the window's thread, made on first use
    PagedArray<KeyArena::Ref> nameKeys_;     // per row: name and location
    PagedArray<uint32_t> folderOf_;          // per row: location
    std::vector<KeyArena::Ref> folderKeys_;  // per folder
    QHash<QByteArray, uint32_t> folderIds_;  // rows' folders and those above them
    QByteArray lastFolder_;                  // rows of one folder come together: looked up once
    uint32_t lastFolderId_ = 0;
};

} // namespace search
