#pragma once

#include <QTreeView>

namespace mainwindow {

// The result list in report view: one line per row, full-row single selection, no in-place
// editing. It reports mouse releases and the action keys; what they do is decided elsewhere.
class ResultView : public QTreeView {
    Q_OBJECT
public:
    explicit ResultView(QWidget* parent = nullptr);

    // The selected row, or -1.
    int selectedRow() const;

signals:
    void mouseReleased(Qt::MouseButton button);
    void deleteKeyPressed();
    void renameKeyPressed();
    void menuKeyPressed();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace mainwindow
