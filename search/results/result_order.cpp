#include "search/results/result_order.h"

#include "search/results/result_list.h"

#include <algorithm>

namespace search {
namespace {

using Clock = std::chrono::steady_clock;

// Above this share of the rows, a full sort costs less than taking them out and merging them back.
constexpr size_t kMergeAtMostOneIn = 4;

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
    connect(&list, &QAbstractItemModel::layoutAboutToBeChanged, this, &ResultOrder::listLayoutAboutToBeChanged);
    connect(&list, &QAbstractItemModel::layoutChanged, this, &ResultOrder::listLayoutChanged);
    connect(&list, &QAbstractItemModel::modelAboutToBeReset, this, [this] { beginResetModel(); });
    connect(&list, &QAbstractItemModel::modelReset, this, &ResultOrder::listReset);
}

ResultOrder::~ResultOrder() = default;

int ResultOrder::listRow(int row) const
{
    if (row < 0 || row >= rowCount())
        return -1;
    return sorted() ? shown_[size_t(row)].row : row;
}

// The order is a strict one (the order found settles ties): a row's own entry finds it.
int ResultOrder::rowOfListRow(int listRow) const
{
    if (listRow < 0 || listRow >= rowCount())
        return -1;
    if (!sorted())
        return listRow;
    const auto at = std::lower_bound(shown_.begin(), shown_.end(), keys_.entry(listRow), keys_.less(order_));
    return at != shown_.end() && at->row == listRow ? int(at - shown_.begin()) : -1;
}

bool ResultOrder::hasWaitingRows() const
{
    return sorted() && int(shown_.size()) < list_.rowCount();
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
    return sorted() ? int(shown_.size()) : list_.rowCount();
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
            shown_.clear();
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
    shown_.clear();
    shown_.resize(size_t(count));
    keys_.sortRows(shown_, order_);
}

template <typename Change>
void ResultOrder::changeLayout(Change change)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> listRows;
    for (const QModelIndex& index : before)
        listRows.push_back(listRow(index.row()));
    change();
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i)
        after << index(rowOfListRow(listRows[size_t(i)]), before[i].column());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

// As many rows as the last slice suggests fit in one, their keys and their places together.
void ResultOrder::mergeSlice()
{
    mergeTimer_.stop();
    if (!hasWaitingRows())
        return;
    const Clock::time_point started = Clock::now();
    const int first = int(shown_.size());
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

void ResultOrder::showAtEnd(int last, bool keyed)
{
    const int first = int(shown_.size());
    beginInsertRows({}, first, last);
    for (int row = first; row <= last; ++row)
        shown_.push_back(keyed ? keys_.entry(row) : SortEntry{0, row});
    endInsertRows();
}

void ResultOrder::mergeKeyedRows()
{
    const int first = int(shown_.size()), last = keys_.rowCount() - 1;
    if (last < first)
        return;
    // The rows show at the end first, and then move to their places.
    showAtEnd(last, true);
    const auto added = size_t(last - first + 1);
    if (added * kMergeAtMostOneIn > shown_.size())
        changeLayout([this] { sortAll(int(shown_.size())); });
    else
        changeLayout([this, added] { mergeTail(shown_.size() - added); });
}

// Sorted among themselves, the new entries go in from the last: each is searched for among the
// kept ones below the last one's place, and those above it move down once, past all the new
// entries that go before them.
void ResultOrder::mergeTail(size_t kept)
{
    const RowSortKeys::Less less = keys_.less(order_);
    std::vector<SortEntry> added(shown_.begin() + kept, shown_.end());
    std::sort(added.begin(), added.end(), less);
    SortEntry* keptEnd = shown_.begin() + kept;
    SortEntry* to = shown_.end();
    for (auto entry = added.rbegin(); entry != added.rend(); ++entry) {
        SortEntry* place = std::upper_bound(shown_.begin(), keptEnd, *entry, less);
        to = std::move_backward(place, keptEnd, to);
        *--to = *entry;
        keptEnd = place;
    }
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
        shown_.erase(shown_.begin() + row, shown_.begin() + row + 1);
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
    for (SortEntry& entry : shown_)
        entry.row -= entry.row > last ? count : 0;
    keys_.removed(first, last);
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
    const bool colourOnly = roles.size() == 1 && roles.front() == Qt::ForegroundRole;
    if (!colourOnly && keys_.dependsOn(topLeft.column(), bottomRight.column())) {
        const bool nameChanged = topLeft.column() <= ResultList::NameColumn;
        std::vector<int> moved = keys_.changed(first, last, nameChanged);
        std::erase_if(moved, [this](int row) { return row >= int(shown_.size()); }); // waiting rows go later
        if (!moved.empty())
            reposition(moved);
    }
    // The changed rows may lie anywhere in the order: the span that holds those shown.
    int top = rowCount(), bottom = -1;
    for (size_t at = 0; at < shown_.size(); ++at) {
        if (shown_[at].row >= first && shown_[at].row <= last) {
            top = std::min(top, int(at));
            bottom = int(at);
        }
    }
    if (bottom >= 0)
        emit dataChanged(index(top, topLeft.column()), index(bottom, bottomRight.column()), roles);
}

// The list put its rows in a new order (a walk's order, after rows confirmed out of it): in the
// order found the rows follow it; sorted, their keys are made again for their new places.
void ResultOrder::listLayoutAboutToBeChanged()
{
    mergeTimer_.stop();
    if (hasWaitingRows())
        showAtEnd(list_.rowCount() - 1, false);
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    layoutRows_.clear();
    layoutBefore_ = persistentIndexList();
    for (const QModelIndex& index : layoutBefore_)
        layoutRows_.push_back(listRow(index.row()));
}

void ResultOrder::listLayoutChanged()
{
    if (sorted()) {
        const int column = keys_.column();
        keys_.clear();
        keys_.build(column);
        sortAll(list_.rowCount());
    }
    QModelIndexList after;
    after.reserve(layoutBefore_.size());
    for (qsizetype i = 0; i < layoutBefore_.size(); ++i)
        after << index(rowOfListRow(list_.movedTo(layoutRows_[size_t(i)])), layoutBefore_[i].column());
    changePersistentIndexList(layoutBefore_, after);
    layoutBefore_.clear();
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

// The list was emptied for a new search: the order stays, and the new rows merge into it.
void ResultOrder::listReset()
{
    mergeTimer_.stop();
    const int column = keys_.column();
    keys_.clear();
    shown_.clear();
    if (column >= 0)
        keys_.build(column);
    rowsPerSlice_ = 0;
    longestMerge_ = {};
    endResetModel();
}

// Rows whose keys changed (a rename): out of the order, to its end with their new keys, and back
// in by them.
void ResultOrder::reposition(const std::vector<int>& listRows)
{
    changeLayout([&] {
        if (listRows.size() * kMergeAtMostOneIn > shown_.size()) {
            sortAll(int(shown_.size()));
            return;
        }
        std::vector<char> moving(shown_.size(), 0);
        for (int row : listRows)
            moving[size_t(row)] = 1;
        const auto kept = std::remove_if(shown_.begin(), shown_.end(), [&](const SortEntry& e) { return moving[size_t(e.row)]; });
        std::transform(listRows.begin(), listRows.end(), kept, [this](int row) { return keys_.entry(row); });
        mergeTail(size_t(kept - shown_.begin()));
    });
}

} // namespace search
