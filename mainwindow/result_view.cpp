#include "mainwindow/result_view.h"

#include "platform/desktop/twips.h"
#include "search/results/result_list.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>

#include <algorithm>

namespace mainwindow {
namespace {

constexpr std::chrono::milliseconds kScrollBarEvery{100};

} // namespace

ResultView::ResultView(QWidget* parent) : QTableView(parent)
{
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem); // the appended-rows test counts in rows
    verticalHeader()->hide();
    // Rows of one height: the view asks the model only for the rows it shows.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    horizontalHeader()->setSectionsMovable(false);
    // A third click on a header clears its indicator: the list goes back to the order found.
    horizontalHeader()->setSortIndicatorClearable(true);
    horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    setSortingEnabled(true);
    // Dragged out, a row is a copy: the list never moves or removes an entry for a drop.
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::CopyAction);
    scrollRangeDue_.setSingleShot(true);
    connect(&scrollRangeDue_, &QTimer::timeout, this, &ResultView::updateScrollRange);
}

void ResultView::setModel(QAbstractItemModel* model)
{
    if (this->model())
        disconnect(this->model(), nullptr, this, nullptr);
    QTableView::setModel(model);
    if (!model)
        return;
    // Wide enough for "2026/12/31 23:59"; the window lays out the columns before it.
    if (model->columnCount() > search::ResultList::ModifiedColumn)
        horizontalHeader()->resizeSection(search::ResultList::ModifiedColumn, platform::px(1700));
    connect(model, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex&, int first, int) {
        // Rows are of one height and scroll by rows, so the last one shown follows from the scroll
        // position; asking the header would make it lay out every section again after each batch.
        const int rowHeight = verticalHeader()->defaultSectionSize();
        const int lastShown = verticalScrollBar()->value() + (viewport()->height() - 1) / qMax(rowHeight, 1);
        if (first > lastShown)
            appendedOutOfSight_ = true;
        else
            mustRepaint_ = true;
    });
    const auto repaint = [this] { mustRepaint_ = true; };
    connect(model, &QAbstractItemModel::rowsRemoved, this, repaint);
    connect(model, &QAbstractItemModel::modelReset, this, repaint);
    connect(model, &QAbstractItemModel::layoutChanged, this, repaint);
}

void ResultView::doItemsLayout()
{
    const bool onlyOutOfSight = appendedOutOfSight_ && !mustRepaint_;
    appendedOutOfSight_ = mustRepaint_ = false;
    if (!onlyOutOfSight) {
        scrollRangeDue_.stop();
        sinceScrollRange_.start();
        QTableView::doItemsLayout();
        return;
    }
    const auto since = std::chrono::milliseconds(sinceScrollRange_.isValid() ? sinceScrollRange_.elapsed() : kScrollBarEvery.count());
    if (since >= kScrollBarEvery)
        updateScrollRange();
    else if (!scrollRangeDue_.isActive())
        scrollRangeDue_.start(kScrollBarEvery - since);
}

void ResultView::updateScrollRange()
{
    scrollRangeDue_.stop();
    sinceScrollRange_.start();
    updateGeometries();
}

void ResultView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange)
        verticalHeader()->setDefaultSectionSize(qMax(fontMetrics().height(), 16) + 4);
    QTableView::changeEvent(event);
}

void ResultView::copySelectedRows()
{
    if (!model())
        return;
    QModelIndexList indexes;
    for (const int row : selectedRows())
        indexes << model()->index(row, 0);
    if (indexes.isEmpty())
        return;
    if (QMimeData* data = model()->mimeData(indexes))
        QGuiApplication::clipboard()->setMimeData(data);
}

std::vector<int> ResultView::selectedRows() const
{
    std::vector<int> rows;
    if (!selectionModel())
        return rows;
    // The ranges, not selectedRows(), which looks up every row in every range: Ctrl+A on a
    // million rows is one range. Rows are selected whole, so a range's rows are selected rows.
    for (const QItemSelectionRange& range : selectionModel()->selection())
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows.push_back(row);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

int ResultView::selectedRow() const
{
    const std::vector<int> rows = selectedRows();
    return rows.empty() ? -1 : rows.front();
}

bool ResultView::severalRowsSelected() const
{
    if (!selectionModel())
        return false;
    int first = -1;
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        if (range.height() > 1 || (first >= 0 && range.top() != first))
            return true;
        first = range.top();
    }
    return false;
}

void ResultView::selectRows(const std::vector<int>& rows)
{
    if (!model() || !selectionModel())
        return;
    QItemSelection selection;
    for (const int row : rows)
        selection.select(model()->index(row, 0), model()->index(row, model()->columnCount() - 1));
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (!rows.empty())
        selectionModel()->setCurrentIndex(model()->index(rows.front(), 0), QItemSelectionModel::NoUpdate);
}

QModelIndexList ResultView::selectedIndexes() const
{
    QModelIndexList indexes = QTableView::selectedIndexes();
    const auto shownBefore = [](const QModelIndex& a, const QModelIndex& b) {
        return a.row() != b.row() ? a.row() < b.row() : a.column() < b.column();
    };
    if (!std::is_sorted(indexes.begin(), indexes.end(), shownBefore))
        std::sort(indexes.begin(), indexes.end(), shownBefore);
    return indexes;
}

void ResultView::mousePressEvent(QMouseEvent* event)
{
    // A right press beside the rows selects nothing, so no action can fall on the row selected before.
    if (event->button() == Qt::RightButton && !indexAt(event->position().toPoint()).isValid()) {
        clearSelection();
        return;
    }
    QTableView::mousePressEvent(event);
}

void ResultView::mouseReleaseEvent(QMouseEvent* event)
{
    QTableView::mouseReleaseEvent(event);
    emit mouseReleased(event->button(), indexAt(event->position().toPoint()).isValid());
}

void ResultView::keyPressEvent(QKeyEvent* event)
{
    // The keypad's Delete is the Delete key.
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (event->key() == Qt::Key_Delete && plain) {
        emit deleteKeyPressed();
        return;
    }
    if (event->key() == Qt::Key_F2 && plain) {
        emit renameKeyPressed();
        return;
    }
    const bool control = (event->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier;
    if (control && (event->key() == Qt::Key_C || event->key() == Qt::Key_Insert)) {
        copySelectedRows();
        return;
    }
    if (event->key() == Qt::Key_Menu
        || (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier)) {
        emit menuKeyPressed();
        return;
    }
    // Enter belongs to the window's default button, not to the list.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->ignore();
        return;
    }
    QTableView::keyPressEvent(event);
}

} // namespace mainwindow
