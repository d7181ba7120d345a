#pragma once

#include <QElapsedTimer>
#include <QTableView>
#include <QTimer>

#include <vector>

namespace mainwindow {

// The result list in report view: one line per row under the column headers, whole rows
// selected (Ctrl+click, Shift+click, Shift+arrows and Ctrl+A select several), no in-place
// editing. A table view, because appending rows to it costs the rows appended, where a tree view
// lays out the whole list again. It reports mouse releases and the action keys; what they do is
// decided elsewhere.
// A header click sorts by that column, ascending, then descending, then back to the order found
// (the model's sort(), -1 for that order); the sort and its indicator stay for the next search.
// The user sets the columns' widths by dragging their edges; columns wider than the list scroll
// sideways. Ctrl+C (or Ctrl+Insert) copies the selected rows and a drag offers them as a copy,
// both with what the model's mimeData() gives, in the order shown.
class ResultView : public QTableView {
    Q_OBJECT
public:
    explicit ResultView(QWidget* parent = nullptr);

    // The selected row, or -1; the first one shown where several are.
    int selectedRow() const;
    // Every selected row, in the order shown.
    std::vector<int> selectedRows() const;
    bool severalRowsSelected() const;
    // Makes these rows the selection, the first of them the current one.
    void selectRows(const std::vector<int>& rows);

    void setModel(QAbstractItemModel* model) override;
    void doItemsLayout() override;
    // Puts the selected rows on the clipboard; nothing when none is selected.
    void copySelectedRows();

signals:
    void mouseReleased(Qt::MouseButton button, bool overRow);
    void deleteKeyPressed();
    void renameKeyPressed();
    void menuKeyPressed();

protected:
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Row by row in the order shown, so that a drag carries the paths in that order.
    QModelIndexList selectedIndexes() const override;

private:
    // Rows appended below the last shown row change nothing on screen but the scroll bar, so the
    // layout that follows them spares the list a full repaint while a search adds rows; and the
    // scroll bar, whose painting costs more than a batch of rows, follows them at most every
    // kScrollBarEvery.
    void updateScrollRange();
    bool appendedOutOfSight_ = false;
    bool mustRepaint_ = false;
    QElapsedTimer sinceScrollRange_;
    QTimer scrollRangeDue_;
};

} // namespace mainwindow
