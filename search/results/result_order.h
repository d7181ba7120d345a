#pragma once

#include "search/results/row_sort_keys.h"

#include <QAbstractProxyModel>
#include <QTimer>

#include <chrono>
#include <vector>

namespace search {

class ResultList;

// When rows that a flush adds to a sorted list go into their places: each merge has a slice of
// time, their keys included; the rows it leaves wait for the next flush or, once the search is
// over, for the next slice after a pause in which the window has its turn. The window answers
// whatever sorting costs, and on a short list a slice takes every row at once.
struct MergePolicy {
    std::chrono::microseconds slice{4000};
    std::chrono::microseconds pause{4000};
    int fewestRowsPerSlice = 256; // the first slice's too; later ones take what the last one's pace allows
};

// The order in which the list shows the result rows: the order found, or sorted by a column,
// ascending or descending, rows of equal keys in the order found. While sorted it holds the
// permutation and each row's key, computed once; rows that a flush adds are sorted among
// themselves and merged into place, so a batch costs its own rows and one pass over the
// permutation, not a sort of the list (see MergePolicy). In the order found it maps rows one to
// one and passes the list's notifications straight on. The list only ever adds rows at its end.
class ResultOrder : public QAbstractProxyModel {
    Q_OBJECT
public:
    explicit ResultOrder(ResultList& list, QObject* parent = nullptr, MergePolicy policy = {});
    ~ResultOrder() override;

    // A column of ResultList, or -1 for the order found. The order stays when the list is emptied
    // for a new search: its rows go into their places as they come.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    int sortColumn() const { return keys_.column(); }

    // The list's row shown at this row, and back (-1 for a row not shown yet).
    int listRow(int row) const;
    int rowOfListRow(int listRow) const;
    // Whether the list holds rows that wait to go into their places.
    bool hasWaitingRows() const;
    // The longest that rows added while sorted took to go into place at one go, for the benchmark.
    std::chrono::nanoseconds longestMerge() const { return longestMerge_; }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QModelIndex mapToSource(const QModelIndex& proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex& sourceIndex) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    bool sorted() const { return keys_.column() >= 0; }
    // A slice of the waiting rows: their keys, as many as the slice allows, then the merge.
    void mergeSlice();
    // The list's rows after the order's last, up to last, show at its end, not in their places yet.
    void showAtEnd(int last, bool keyed);
    // The waiting rows with keys go into their places.
    void mergeKeyedRows();
    // The entries from kept on, sorted among themselves, go into their places among the others.
    void mergeTail(size_t kept);
    // Takes these list rows out of the order and merges them back by their keys.
    void reposition(const std::vector<int>& listRows);
    // The first count rows of the list, by their keys.
    void sortAll(int count);
    // Runs a change of the order between the layout notifications; the persistent indexes (the
    // selection, the current row) follow their rows.
    template <typename Change>
    void changeLayout(Change change);
    void listRowsAboutToBeRemoved(int first, int last);
    void listRowsRemoved(int first, int last);
    void listDataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles);
    void listReset();
    void listLayoutAboutToBeChanged();
    void listLayoutChanged();

    ResultList& list_;
    MergePolicy policy_;
    RowSortKeys keys_;
    Qt::SortOrder order_ = Qt::AscendingOrder;
    // While sorted: the list's rows shown, in the order shown; always the list's first rows, those
    // after them wait. Sorted by keys_.less(order_) but while rows just shown at its end wait for
    // the merge that follows at once.
    PagedArray<SortEntry> shown_;
    QTimer mergeTimer_;
    int rowsPerSlice_ = 0; // as the last full slice measured it
    std::chrono::nanoseconds longestMerge_{0};
    QModelIndexList layoutBefore_; // the persistent indexes while the list changes its order
    std::vector<int> layoutRows_;  // and the list's rows they showed
};

} // namespace search
