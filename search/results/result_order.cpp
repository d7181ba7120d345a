#include "search/results/result_order.h"

#include "search/results/result_list.h"

#include <algorithm>

namespace search {
namespace {

using Clock = std::chrono::steady_clock;

// Above this share of the rows, a full sort costs less than taking them out and merging them back.
constexpr size_t kMergeAtMostOneIn = 4;
// Up to this many persistent indexes, finding their rows by a pass over the order is cheaper than
// knowing every row's place.
constexpr qsizetype kFindByPassUpTo = 16;

} // namespace

ResultOrder::ResultOrder(ResultList& list, QObject* parent, MergePolicy policy)
    : QAbstractProxyModel(parent), list_(list), policy_(policy), keys_(list)
{
    QAbstractProxyModel::setSourceModel(&list);
    mergeTimer_.setSingleShot(true);
    connect(&mergeTimer_, &QTimer::timeout, this, &ResultOrder::mergeSlice);
    connect(&list, &QAbstractItemModel::rowsAboutToBeInserted, this, [this](const QModelIndex&, int first, int last) {
        if (!sorted())
            beginInsertRows({}, first, last);
    });
    connect(&list, &QAbstractItemModel::rowsInserted, this, [this] {
        if (!sorted()) {
            endInsertRows();
            return;
        }
        mergeSlice();
    });
    connect(&list, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex&, int first, int last) { listRowsAboutToBeRemoved(first, last); });
    connect(&list, &QAbstractItemModel::rowsRemoved, this,
            [this](const QModelIndex&, int first, int last) { listRowsRemoved(first, last); });
    connect(&list, &QAbstractItemModel::dataChanged, this, &ResultOrder::listDataChanged);
    connect(&list, &QAbstractItemModel::modelAboutToBeReset, this, [this] { beginResetModel(); });
    connect(&list, &QAbstractItemModel::modelReset, this, &ResultOrder::listReset);
}

ResultOrder::~ResultOrder() = default;

int ResultOrder::listRow(int row) const
{
    if (row < 0 || row >= rowCount())
        return -1;
    return sorted() ? rows_[size_t(row)] : row;
}

int ResultOrder::rowOfListRow(int listRow) const
{
    if (!sorted())
        return listRow >= 0 && listRow < rowCount() ? listRow : -1;
    if (positions_.empty()) { // an empty list makes it again for nothing
        positions_.assign(size_t(list_.rowCount()), -1);
        for (size_t row = 0; row < rows_.size(); ++row)
            positions_[size_t(rows_[row])] = int(row);
    }
    return listRow >= 0 && size_t(listRow) < positions_.size() ? positions_[size_t(listRow)] : -1;
}

void ResultOrder::forgetPositions()
{
    positions_ = {};
}

bool ResultOrder::hasWaitingRows() const
{
    return sorted() && int(rows_.size()) < list_.rowCount();
}

QModelIndex ResultOrder::index(int row, int column, const QModelIndex& parent) const
{
    if (parent.isValid() || row < 0 || column < 0 || row >= rowCount() || column >= columnCount())
        return {};
    return createIndex(row, column);
}

QModelIndex ResultOrder::parent(const QModelIndex&) const
{
    return {};
}

int ResultOrder::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return sorted() ? int(rows_.size()) : list_.rowCount();
}

int ResultOrder::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : list_.columnCount();
}

QModelIndex ResultOrder::mapToSource(const QModelIndex& proxyIndex) const
{
    if (!proxyIndex.isValid() || proxyIndex.model() != this)
        return {};
    return list_.index(listRow(proxyIndex.row()), proxyIndex.column());
}

QModelIndex ResultOrder::mapFromSource(const QModelIndex& sourceIndex) const
{
    if (!sourceIndex.isValid() || sourceIndex.model() != &list_)
        return {};
    return index(rowOfListRow(sourceIndex.row()), sourceIndex.column());
}

QVariant ResultOrder::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal)
        return list_.headerData(section, orientation, role);
    return QAbstractProxyModel::headerData(section, orientation, role);
}

bool ResultOrder::before(int listRowA, int listRowB) const
{
    return search::before(keys_.compare(listRowA, listRowB), listRowA, listRowB, order_);
}

// Whether the row shown at a position comes before a row to be placed: by the leading numbers,
// kept in the order, before any key, since they lie together in memory where each key is elsewhere.
bool ResultOrder::shownBefore(size_t position, int listRow, uint64_t leading) const
{
    const int shown = rows_[position];
    int byKey = leading_.empty() ? 0 : threeWay(leading_[position], leading);
    if (byKey == 0 && !keys_.leadingIsWholeKey())
        byKey = keys_.compare(shown, listRow);
    return search::before(byKey, shown, listRow, order_);
}

void ResultOrder::sort(int column, Qt::SortOrder order)
{
    const int wanted = column >= 0 && column < ResultList::ColumnCount ? column : -1;
    if (wanted == keys_.column() && (wanted < 0 || order == order_))
        return;
    // Every row shows before the order changes (a layout change keeps the number of rows); rows
    // still waiting go into the new order with the others, not first into the one that goes.
    mergeTimer_.stop();
    if (hasWaitingRows())
        showAtEnd(list_.rowCount() - 1, false);
    changeLayout([&] {
        order_ = order;
        if (wanted < 0) {
            keys_.clear();
            rows_ = {};
            leading_ = {};
            return;
        }
        keys_.build(wanted);
        keys_.addRows(list_.rowCount() - 1); // the same column keeps its keys: the waiting rows get theirs
        sortAll(list_.rowCount());
    });
}

// What the last order held goes before the new one is made: a million rows at a time.
void ResultOrder::sortAll(int count)
{
    rows_ = {};
    leading_ = {};
    keys_.sortRows(rows_, leading_, order_, count);
}

template <typename Change, typename NewRowsOf>
void ResultOrder::changeLayout(Change change, NewRowsOf newRowsOf)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> oldRows, listRows;
    for (const QModelIndex& index : before) {
        oldRows.push_back(index.row());
        listRows.push_back(listRow(index.row()));
    }
    change();
    forgetPositions();
    const std::vector<int> newRows = newRowsOf(oldRows, listRows);
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i)
        after << index(newRows[size_t(i)], before[i].column());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

template <typename Change>
void ResultOrder::changeLayout(Change change)
{
    changeLayout(change, [this](const std::vector<int>&, const std::vector<int>& listRows) { return findRows(listRows); });
}

// Few rows (the current one, the selected one) are found in one pass over the order; many, by
// knowing every row's place.
std::vector<int> ResultOrder::findRows(const std::vector<int>& listRows) const
{
    std::vector<int> distinct = listRows;
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    std::vector<int> rows(listRows.size(), -1);
    if (!sorted() || distinct.size() > kFindByPassUpTo) {
        for (size_t i = 0; i < listRows.size(); ++i)
            rows[i] = rowOfListRow(listRows[i]);
        return rows;
    }
    std::vector<int> shownAt(distinct.size(), -1);
    for (size_t row = 0; row < rows_.size(); ++row)
        for (size_t i = 0; i < distinct.size(); ++i)
            if (rows_[row] == distinct[i])
                shownAt[i] = int(row);
    for (size_t i = 0; i < listRows.size(); ++i)
        rows[i] = shownAt[size_t(std::lower_bound(distinct.begin(), distinct.end(), listRows[i]) - distinct.begin())];
    return rows;
}

// As many rows as the last slice suggests fit in one, their keys and their places together.
void ResultOrder::mergeSlice()
{
    mergeTimer_.stop();
    if (!hasWaitingRows())
        return;
    const Clock::time_point started = Clock::now();
    const int first = int(rows_.size());
    const int last = std::min(list_.rowCount() - 1, first + std::max(rowsPerSlice_, policy_.fewestRowsPerSlice) - 1);
    keys_.addRows(last);
    mergeKeyedRows();
    const auto tookExactly = std::chrono::nanoseconds(Clock::now() - started);
    longestMerge_ = std::max(longestMerge_, tookExactly);
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(tookExactly);
    const int merged = last - first + 1;
    // A full slice measures the pace; one that ran fast makes the next at most twice as large, since
    // a slice with the processor to itself says little of the next one.
    if (merged == std::max(rowsPerSlice_, policy_.fewestRowsPerSlice))
        rowsPerSlice_ = int(std::clamp<int64_t>(merged * policy_.slice.count() / std::max<int64_t>(took.count(), 1),
                                                policy_.fewestRowsPerSlice, 2 * int64_t(merged)));
    if (hasWaitingRows())
        mergeTimer_.start(std::chrono::ceil<std::chrono::milliseconds>(policy_.pause));
}

// The list's rows after the order's last, up to last, show at its end, not in their places yet;
// keyed ones with their leading numbers.
void ResultOrder::showAtEnd(int last, bool keyed)
{
    const int first = int(rows_.size());
    beginInsertRows({}, first, last);
    for (int row = first; row <= last; ++row) {
        rows_.push_back(row);
        if (keyed && keys_.hasLeading())
            leading_.push_back(keys_.leading(row));
    }
    forgetPositions();
    endInsertRows();
}

void ResultOrder::mergeKeyedRows()
{
    const int first = int(rows_.size()), last = keys_.rowCount() - 1;
    if (last < first)
        return;
    // The rows show at the end first, and then move to their places.
    showAtEnd(last, true);
    const auto added = size_t(last - first + 1);
    if (added * kMergeAtMostOneIn > rows_.size())
        changeLayout([this] { sortAll(int(rows_.size())); });
    else
        mergeAddedRows(added);
}

ResultOrder::Placement ResultOrder::placeTail(size_t kept) const
{
    Placement placement;
    for (size_t i = kept; i < rows_.size(); ++i)
        placement.rows.emplace_back(rows_[i], leading_.empty() ? 0 : leading_[i]);
    std::sort(placement.rows.begin(), placement.rows.end(), [this](const auto& a, const auto& b) {
        if (!leading_.empty() && a.second != b.second)
            return order_ == Qt::AscendingOrder ? a.second < b.second : a.second > b.second;
        return before(a.first, b.first);
    });
    // The places rise with the rows: from the last row's place down, each search first strides
    // out in doubling steps, so it reads the order near where the row goes.
    placement.places.resize(placement.rows.size());
    size_t upper = kept;
    for (size_t i = placement.rows.size(); i-- > 0;) {
        const auto [row, leading] = placement.rows[i];
        size_t low = 0, high = upper;
        for (size_t step = 1; step <= high; step *= 2) {
            if (shownBefore(high - step, row, leading)) {
                low = high - step + 1;
                break;
            }
            high -= step;
        }
        while (low < high) {
            const size_t middle = low + (high - low) / 2;
            if (shownBefore(middle, row, leading))
                low = middle + 1;
            else
                high = middle;
        }
        placement.places[i] = upper = low;
    }
    return placement;
}

// One pass from the end makes room for the placed rows.
void ResultOrder::spliceTail(size_t kept, const Placement& placement)
{
    size_t from = kept, to = rows_.size();
    for (size_t i = placement.rows.size(); i-- > 0;) {
        while (from > placement.places[i]) {
            --from;
            --to;
            rows_[to] = rows_[from];
            if (!leading_.empty())
                leading_[to] = leading_[from];
        }
        --to;
        rows_[to] = placement.rows[i].first;
        if (!leading_.empty())
            leading_[to] = placement.rows[i].second;
    }
}

void ResultOrder::mergeAddedRows(size_t count)
{
    const size_t kept = rows_.size() - count;
    const Placement placement = placeTail(kept);
    // A row that was there moves down by the new rows placed before it; a new one shows at its
    // place plus the new ones before it.
    const auto newRowsOf = [&](const std::vector<int>& oldRows, const std::vector<int>& listRows) {
        std::vector<int> rows(oldRows.size());
        for (size_t i = 0; i < oldRows.size(); ++i) {
            const auto old = size_t(oldRows[i]);
            if (old < kept) {
                rows[i] = int(old + size_t(std::upper_bound(placement.places.begin(), placement.places.end(), old)
                                           - placement.places.begin()));
                continue;
            }
            const auto added = std::find_if(placement.rows.begin(), placement.rows.end(),
                                            [&](const auto& row) { return row.first == listRows[i]; });
            const auto at = size_t(added - placement.rows.begin());
            rows[i] = int(placement.places[at] + at);
        }
        return rows;
    };
    changeLayout([&] { spliceTail(kept, placement); }, newRowsOf);
}

void ResultOrder::listRowsAboutToBeRemoved(int first, int last)
{
    if (!sorted()) {
        beginRemoveRows({}, first, last);
        return;
    }
    // The list's rows are still there: each goes from where it shows, the last shown first.
    std::vector<int> shownAt;
    for (int row = first; row <= last; ++row)
        if (rowOfListRow(row) >= 0)
            shownAt.push_back(rowOfListRow(row));
    std::sort(shownAt.rbegin(), shownAt.rend());
    for (int row : shownAt) {
        beginRemoveRows({}, row, row);
        rows_.erase(rows_.begin() + row);
        if (!leading_.empty())
            leading_.erase(leading_.begin() + row);
        forgetPositions();
        endRemoveRows();
    }
}

void ResultOrder::listRowsRemoved(int first, int last)
{
    if (!sorted()) {
        endRemoveRows();
        return;
    }
    const int count = last - first + 1;
    for (int& row : rows_)
        row -= row > last ? count : 0;
    keys_.removed(first, last);
    forgetPositions();
}

void ResultOrder::listDataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles)
{
    if (!topLeft.isValid() || !bottomRight.isValid())
        return;
    const int first = topLeft.row(), last = bottomRight.row();
    if (!sorted()) {
        emit dataChanged(index(first, topLeft.column()), index(last, bottomRight.column()), roles);
        return;
    }
    if (keys_.dependsOn(topLeft.column(), bottomRight.column())) {
        const bool nameChanged = topLeft.column() <= ResultList::NameColumn;
        std::vector<int> moved = keys_.changed(first, last, nameChanged);
        std::erase_if(moved, [this](int row) { return rowOfListRow(row) < 0; }); // waiting rows go later
        if (!moved.empty())
            reposition(std::move(moved));
    }
    // The changed rows may lie anywhere in the order: the span that holds those shown.
    int top = rowCount(), bottom = -1;
    for (int row = first; row <= last; ++row) {
        const int shownAt = rowOfListRow(row);
        if (shownAt >= 0) {
            top = std::min(top, shownAt);
            bottom = std::max(bottom, shownAt);
        }
    }
    if (bottom >= 0)
        emit dataChanged(index(top, topLeft.column()), index(bottom, bottomRight.column()), roles);
}

void ResultOrder::listReset()
{
    mergeTimer_.stop();
    keys_.clear();
    rows_ = {};
    leading_ = {};
    forgetPositions();
    order_ = Qt::AscendingOrder;
    rowsPerSlice_ = 0;
    longestMerge_ = {};
    endResetModel();
}

// Rows whose keys changed (a rename): out of the order, to its end, and back in by their new keys.
void ResultOrder::reposition(std::vector<int> listRows)
{
    changeLayout([&] {
        if (listRows.size() * kMergeAtMostOneIn > rows_.size()) {
            sortAll(int(rows_.size()));
            return;
        }
        std::vector<char> moving(size_t(list_.rowCount()), 0);
        for (int row : listRows)
            moving[size_t(row)] = 1;
        size_t kept = 0;
        for (size_t i = 0; i < rows_.size(); ++i) {
            if (moving[size_t(rows_[i])])
                continue;
            rows_[kept] = rows_[i];
            if (!leading_.empty())
                leading_[kept] = leading_[i];
            ++kept;
        }
        for (size_t i = 0; i < listRows.size(); ++i) {
            rows_[kept + i] = listRows[i];
            if (!leading_.empty())
                leading_[kept + i] = keys_.leading(listRows[i]);
        }
        spliceTail(kept, placeTail(kept));
    });
}

} // namespace search
