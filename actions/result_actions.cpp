#include "actions/result_actions.h"

#include "actions/form2.h"
#include "actions/form3.h"
#include "actions/result_window.h"
#include "actions/row_entry.h"
#include "platform/desktop/shell_services.h"
#include "platform/fileops/file_copy.h"
#include "platform/fileops/file_delete.h"
#include "platform/fileops/file_rename.h"
#include "platform/fileops/locate_entry.h"
#include "platform/files/file_name_text.h"
#include "platform/files/file_system.h"
#include "platform/files/paths.h"
#include "platform/message_boxes.h"
#include "search/results/result_list.h"

#include <cerrno>

namespace actions {

ResultActions::ResultActions(ResultWindow& window, platform::MessageBoxes& messages,
                             platform::FileSystem& fileSystem, platform::ShellServices& shell, QObject* parent,
                             ProgressPolicy progress)
    : QObject(parent), window_(window), messages_(messages), fileSystem_(fileSystem), shell_(shell),
      progress_(progress)
{
}

int ResultActions::takeSelectedRow()
{
    const int row = window_.selectedResultRow();
    if (row < 0 || row >= window_.resultList().rowCount())
        return -1;
    const search::ResultRow& r = window_.resultList().row(row);
    selectedPath_ = r.pathText();
    selectedPathBytes_ = r.pathBytes();
    return row;
}

void ResultActions::fail(const QString& message)
{
    messages_.show(message, platform::MessageStyle::StopOk, QStringLiteral("提示"));
}

void ResultActions::listMouseReleased(Qt::MouseButton button, bool overRow)
{
    if (button == Qt::RightButton && overRow && window_.resultList().rowCount() > 0)
        window_.showResultMenu();
}

void ResultActions::rowDoubleClicked()
{
    openClicked();
}

void ResultActions::openClicked()
{
    if (severalSelected())
        return openRows(false);
    if (takeSelectedRow() >= 0)
        shell_.open(selectedPathBytes_);
}

void ResultActions::locateClicked()
{
    if (severalSelected())
        return openRows(true);
    if (takeSelectedRow() >= 0)
        shell_.locate(selectedPathBytes_);
}

void ResultActions::propertiesClicked()
{
    if (severalSelected())
        return;
    if (takeSelectedRow() >= 0)
        shell_.showProperties(selectedPathBytes_, window_.ownerWindow());
}

void ResultActions::deleteClicked()
{
    if (severalSelected())
        return deleteRows();
    if (messages_.show(QStringLiteral("请确认是否删除？"), platform::MessageStyle::QuestionYesNo, QStringLiteral("提示"))
        != platform::MessageAnswer::Yes)
        return;
    const int row = takeSelectedRow();
    if (row < 0)
        return;
    // An entry that has gone since the search, or is no longer the row's, is not there to delete:
    // the row stays. The row's kind decides the operation.
    const platform::EntryRef entry = entryOf(window_.resultList(), row);
    const bool there = isThere(entry);
    platform::FileOperationResult done{ENOENT};
    if (there && entry.isFolder)
        done = runWithProgress(window_.ownerWindow(), ProgressKind::Delete, progress_,
                               [&entry](platform::OperationProgress& p) { return platform::deleteFolderTree(entry, &p); });
    else if (there)
        done = platform::deleteFile(entry);
    if (there)
        window_.diskChanged(selectedPathBytes_); // a failed tree delete may have removed a part
    // A cancelled delete keeps the row: the entry is still there, in part.
    if (done.error == ECANCELED)
        return;
    if (!done.ok()) {
        fail(QStringLiteral("删除失败"));
        return;
    }
    window_.entryDeleted(selectedPathBytes_);
}

void ResultActions::renameClicked()
{
    if (severalSelected())
        return;
    const int row = takeSelectedRow();
    if (row < 0)
        return;
    const search::ResultRow target = window_.resultList().row(row);
    const platform::EntryRef entry = entryOf(window_.resultList(), row);
    QByteArray newName;
    Form2 dialog(window_.ownerWindow(), messages_, target.nameText(), [&](const QString& name) {
        newName = platform::fileNameBytes(name);
        return platform::renameEntry(entry, newName).ok();
    });
    dialog.exec();
    if (!dialog.renamed())
        return;
    window_.entryRenamed(target.pathBytes(), platform::joinPath(target.folder, newName));
    // The dialog was modal, so the row is where it was; the test only guards that.
    search::ResultList& rows = window_.resultList();
    if (row < rows.rowCount() && rows.row(row).pathBytes() == target.pathBytes())
        rows.renameResultRow(row, newName);
}

void ResultActions::copyClicked()
{
    if (severalSelected())
        return copyRows();
    const int row = takeSelectedRow();
    if (row < 0)
        return;
    const platform::EntryRef source = entryOf(window_.resultList(), row);
    const QByteArray name = window_.resultList().row(row).name.bytes();
    Form3 dialog(window_.ownerWindow(), messages_, fileSystem_, [&](const QByteArray& target) {
        return copyInto(source, name, target);
    });
    dialog.exec();
}

CopyOutcome ResultActions::copyInto(const platform::EntryRef& from, const QByteArray& name, const QByteArray& target)
{
    // The target is a folder: the copy goes inside it, under the entry's own name.
    const QByteArray to = platform::joinPath(target, name);
    if (!isThere(from))
        return CopyOutcome::Failed;
    const platform::FileOperationResult done =
        runWithProgress(window_.ownerWindow(), ProgressKind::Copy, progress_, [&](platform::OperationProgress& p) {
            return from.isFolder ? platform::copyFolderTree(from, to, &p) : platform::copyFile(from, to, &p);
        });
    window_.diskChanged(to);
    if (done.ok())
        return CopyOutcome::Copied;
    if (done.error == ECANCELED)
        return done.partial ? CopyOutcome::CancelledPartly : CopyOutcome::Cancelled;
    return CopyOutcome::Failed;
}

} // namespace actions
