#pragma once

#include "actions/background_operation.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <span>

class QWidget;

namespace platform {
class MessageBoxes;
class OperationProgress;
class SaveDialog;
} // namespace platform

namespace search {
class ResultList;
class ResultOrder;
} // namespace search

namespace actions {

// "导出结果…": every row the list shows, in the order shown, into a CSV file the user names
// (search::ResultCsv says what it holds). The file is written on a worker thread under a
// temporary name beside the target and renamed into place only once it is complete, so a
// failure or a cancel leaves no part of it; a failure says "导出失败". Meanwhile the window
// repaints, and after a second the progress window offers "取消" (see runWithProgress).
class ResultExport : public QObject {
    Q_OBJECT
public:
    ResultExport(QWidget* owner, const search::ResultList& list, const search::ResultOrder& order,
                 platform::MessageBoxes& messages, platform::SaveDialog& dialog, QObject* parent = nullptr,
                 ProgressPolicy progress = {.showAfter = std::chrono::seconds(1)});

public slots:
    void exportClicked();

private:
    QWidget* owner_;
    const search::ResultList& list_;
    const search::ResultOrder& order_;
    platform::MessageBoxes& messages_;
    platform::SaveDialog& dialog_;
    ProgressPolicy progress_;
};

// Writes the given rows of the list, in that order, as a CSV file at target. The rows must not
// change meanwhile. ECANCELED where the progress was cancelled; nothing is left at target then,
// nor after a failure.
platform::FileOperationResult writeResultCsv(const QString& target, const search::ResultList& list,
                                             std::span<const int> rows, platform::OperationProgress& progress);

} // namespace actions
