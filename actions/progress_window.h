#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace platform {
class OperationProgress;
}

namespace actions {

// What a long operation does, as the progress window says it.
enum class ProgressKind { Copy, Delete, Export };

// The modal window of a long copy, delete or export: what is done ("正在复制...", "正在删除..." or
// "正在导出..."), the entry at hand (the file written, for an export), a bar (bytes for a copy,
// entries for a delete, rows for an export) and "取消". It reads the operation's progress a few
// times a second; the operation itself runs elsewhere. Cancel asks the operation to stop and
// waits for it: the window closes only when finish() says it ended.
// The title bar's close button and Escape are a cancel too.
class ProgressWindow : public QDialog {
    Q_OBJECT
public:
    ProgressWindow(QWidget* owner, ProgressKind kind, platform::OperationProgress& progress);

    QLabel* Label1;          // what is done
    QLabel* Label2;          // the entry at hand
    QProgressBar* ProgressBar1;
    QPushButton* Command1;   // 取消

    // The operation ended: closes the window.
    void finish();

public slots:
    void reject() override;

private:
    void refresh();

    platform::OperationProgress& progress_;
    QTimer* timer_;
    bool finished_ = false;
};

} // namespace actions
