#include "actions/result_export.h"

#include "platform/desktop/save_dialog.h"
#include "platform/fileops/operation_progress.h"
#include "platform/message_boxes.h"
#include "search/results/result_csv.h"
#include "search/results/result_list.h"
#include "search/results/result_order.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <cerrno>
#include <vector>

namespace actions {
namespace {

constexpr qsizetype kChunkBytes = 1 << 20; // written at a time
constexpr size_t kRowsPerStep = 4096;       // between looks at a cancel, and progress reports

} // namespace

ResultExport::ResultExport(QWidget* owner, const search::ResultList& list, const search::ResultOrder& order,
                           platform::MessageBoxes& messages, platform::SaveDialog& dialog, QObject* parent,
                           ProgressPolicy progress)
    : QObject(parent), owner_(owner), list_(list), order_(order), messages_(messages), dialog_(dialog),
      progress_(std::move(progress))
{
}

void ResultExport::exportClicked()
{
    if (order_.rowCount() == 0)
        return;
    const QString suggested = QDir(platform::documentsFolder()).filePath(QStringLiteral("搜索结果.csv"));
    const QString target =
        dialog_.askSavePath(owner_, QStringLiteral("导出结果"), suggested, QStringLiteral("CSV 文件 (*.csv)"));
    if (target.isEmpty())
        return;
    // The order as shown once the dialog has closed; only the window's thread changes it.
    std::vector<int> rows(size_t(order_.rowCount()));
    for (size_t r = 0; r < rows.size(); ++r)
        rows[r] = order_.listRow(int(r));
    const platform::FileOperationResult done =
        runWithProgress(owner_, ProgressKind::Export, progress_, [&](platform::OperationProgress& progress) {
            return writeResultCsv(target, list_, rows, progress);
        });
    if (!done.ok() && done.error != ECANCELED)
        messages_.show(QStringLiteral("导出失败"), platform::MessageStyle::StopOk, QStringLiteral("提示"));
}

// Runs on runWithProgress's worker while the window's thread waits there (user input held off,
// then the modal progress window) and a search, if one runs, is suspended in its yield: no row
// changes meanwhile, and the worker only reads them. It always ends: one pass over the rows, a
// cancel seen within a step of them. Why the file failed is not told, so any failure is EIO.
platform::FileOperationResult writeResultCsv(const QString& target, const search::ResultList& list,
                                             std::span<const int> rows, platform::OperationProgress& progress)
{
    QSaveFile file(target);
    file.setDirectWriteFallback(false); // a folder that takes no temporary file takes no export
    if (!file.open(QIODevice::WriteOnly))
        return {EIO};
    progress.setTotal(int64_t(rows.size()));
    progress.setCurrent(QFile::encodeName(target));
    search::ResultCsv csv;
    QByteArray buffer = search::ResultCsv::header();
    buffer.reserve(kChunkBytes + (kChunkBytes >> 4));
    const auto writeBuffer = [&] {
        const bool written = file.write(buffer) == buffer.size();
        buffer.truncate(0); // keeps its capacity
        return written;
    };
    const auto cancelled = [&] {
        const bool cancel = progress.cancelled();
        if (cancel)
            file.cancelWriting();
        return cancel;
    };
    for (size_t i = 0; i < rows.size(); ++i) {
        csv.appendRow(buffer, list.row(rows[i]));
        if (buffer.size() >= kChunkBytes && !writeBuffer())
            return {EIO};
        if ((i + 1) % kRowsPerStep == 0) {
            progress.advance(kRowsPerStep);
            if (cancelled())
                return {ECANCELED};
        }
    }
    if (!writeBuffer())
        return {EIO};
    if (cancelled()) // until the file takes its name
        return {ECANCELED};
    if (!file.commit())
        return {EIO};
    progress.advance(int64_t(rows.size() % kRowsPerStep));
    return {};
}

} // namespace actions
