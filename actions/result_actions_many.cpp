// The actions on several selected rows at once.
#include "actions/result_actions.h"

#include "actions/entry_batch.h"
#include "actions/form3.h"
#include "actions/result_window.h"
#include "actions/row_entry.h"
#include "platform/desktop/shell_services.h"
#include "platform/fileops/file_copy.h"
#include "platform/fileops/file_delete.h"
#include "platform/fileops/operation_progress.h"
#include "platform/files/file_name_text.h"
#include "platform/files/paths.h"
#include "platform/message_boxes.h"
#include "search/results/result_list.h"
#include "search/results/result_texts.h"

#include <QElapsedTimer>
#include <QSet>

#include <cerrno>

namespace actions {
namespace {

// More entries than this are opened or located only once the user has said so.
constexpr size_t kMostOpenedUnasked = 10;
// How often the rows of deleted entries leave the list during a delete of many: soon enough to
// look immediate.
constexpr qint64 kRowsGoEveryMs = 30;

bool answeredYes(platform::MessageBoxes& messages, const QString& prompt)
{
    return messages.show(prompt, platform::MessageStyle::QuestionYesNo, QStringLiteral("提示"))
        == platform::MessageAnswer::Yes;
}

} // namespace

bool ResultActions::severalSelected() const
{
    return window_.selectedResultRows().size() > 1;
}

std::vector<ResultActions::RowEntry> ResultActions::takeSelectedRows()
{
    std::vector<RowEntry> entries;
    const search::ResultList& rows = window_.resultList();
    for (const int row : window_.selectedResultRows())
        if (row >= 0 && row < rows.rowCount())
            entries.push_back({entryOf(rows, row), rows.row(row).name.bytes()});
    if (!entries.empty()) {
        selectedPathBytes_ = entries.front().entry.path;
        selectedPath_ = platform::pathText(selectedPathBytes_);
    }
    return entries;
}

void ResultActions::openRows(bool locate)
{
    const size_t count = window_.selectedResultRows().size();
    if (count > kMostOpenedUnasked
        && !answeredYes(messages_, QStringLiteral("确定要打开选中的%1 个项目吗？").arg(search::numberText(int64_t(count)))))
        return;
    QList<QByteArray> paths;
    for (const RowEntry& row : takeSelectedRows())
        paths << row.entry.path;
    if (locate)
        shell_.locateAll(paths);
    else
        for (const QByteArray& path : paths)
            shell_.open(path);
}

void ResultActions::deleteRows()
{
    const size_t count = window_.selectedResultRows().size();
    if (!answeredYes(messages_, QStringLiteral("请确认是否删除选中的%1 个项目？").arg(search::numberText(int64_t(count)))))
        return;
    const std::vector<RowEntry> entries = takeSelectedRows();
    // What became of each entry, written by the worker before its end is told.
    enum Fate : char { NotThere, Tried, WentWithItsFolder };
    std::vector<Fate> fates(entries.size(), NotThere);
    std::vector<QByteArray> foldersDeleted; // the worker's own
    const EntryWork work = [&](size_t index, platform::OperationProgress& progress) {
        const platform::EntryRef& entry = entries[index].entry;
        progress.setCurrent(entry.path);
        // An entry below a folder this delete took is gone with it, and so is its row.
        for (const QByteArray& folder : foldersDeleted)
            if (platform::isSameOrBelow(entry.path, folder)) {
                fates[index] = WentWithItsFolder;
                return platform::FileOperationResult{};
            }
        // Checked and deleted as when it is the one row selected.
        if (!isThere(entry))
            return platform::FileOperationResult{ENOENT};
        fates[index] = Tried;
        const platform::FileOperationResult done =
            entry.isFolder ? platform::deleteFolderTree(entry, &progress) : platform::deleteFile(entry);
        if (done.ok() && entry.isFolder)
            foldersDeleted.push_back(entry.path);
        return done;
    };
    int failed = 0;
    size_t ended = 0;
    std::vector<RowEntry> left;
    // The rows of the entries gone leave the list a few at a time: each removal is one pass over
    // the list, and one for each of many entries would cost the entries times the rows.
    std::vector<QByteArray> gone;
    QElapsedTimer sinceRowsWent;
    sinceRowsWent.start();
    const auto rowsGo = [&] {
        if (!gone.empty())
            window_.entriesDeleted(gone);
        gone.clear();
        sinceRowsWent.restart();
    };
    // Each row goes as soon as its entry has, within a few milliseconds, and the walk of a running
    // search hears of each entry at once.
    runForEachEntry(window_.ownerWindow(), ProgressKind::Delete, progress_, entries.size(), work,
                    [&](size_t index, const platform::FileOperationResult& done) {
                        ++ended;
                        const QByteArray& path = entries[index].entry.path;
                        if (fates[index] == Tried)
                            window_.diskChanged(path); // a failed tree delete may have removed a part
                        if (fates[index] == WentWithItsFolder)
                            return;
                        if (done.ok()) {
                            gone.push_back(path);
                            if (sinceRowsWent.elapsed() >= kRowsGoEveryMs)
                                rowsGo();
                            return;
                        }
                        left.push_back(entries[index]);
                        // A cancelled delete is no failure: its entry is still there, in part.
                        failed += done.error != ECANCELED;
                    });
    rowsGo();
    // Those a cancel kept from their turn stay too.
    left.insert(left.end(), entries.begin() + qsizetype(ended), entries.end());
    keepSelected(left);
    if (failed > 0)
        fail(QStringLiteral("有%1 个项目删除失败").arg(search::numberText(failed)));
}

void ResultActions::copyRows()
{
    const std::vector<RowEntry> entries = takeSelectedRows();
    if (entries.empty())
        return;
    int failed = 0;
    Form3 dialog(window_.ownerWindow(), messages_, fileSystem_,
                 [&](const QByteArray& target) { return copyRowsInto(entries, target, failed); });
    dialog.exec();
    if (failed > 0)
        fail(QStringLiteral("有%1 个项目复制失败").arg(search::numberText(failed)));
}

CopyOutcome ResultActions::copyRowsInto(const std::vector<RowEntry>& entries, const QByteArray& target, int& failed)
{
    std::vector<char> tried(entries.size(), false); // written by the worker before its end is told
    QSet<QByteArray> namesTaken;                   // the worker's own
    const EntryWork work = [&](size_t index, platform::OperationProgress& progress) {
        const RowEntry& row = entries[index];
        progress.setCurrent(row.entry.path);
        // Two entries of one name would end as the later one's copy: the earlier one's stays.
        if (namesTaken.contains(row.name))
            return platform::FileOperationResult{EEXIST};
        namesTaken.insert(row.name);
        // Checked and copied as when it is the one row selected.
        if (!isThere(row.entry))
            return platform::FileOperationResult{ENOENT};
        tried[index] = true;
        const QByteArray to = platform::joinPath(target, row.name);
        return row.entry.isFolder ? platform::copyFolderTree(row.entry, to, &progress)
                                  : platform::copyFile(row.entry, to, &progress);
    };
    bool keptAny = false;
    const platform::FileOperationResult done = runForEachEntry(
        window_.ownerWindow(), ProgressKind::Copy, progress_, entries.size(), work,
        [&](size_t index, const platform::FileOperationResult& copied) {
            if (tried[index])
                window_.diskChanged(platform::joinPath(target, entries[index].name));
            keptAny = keptAny || copied.ok() || copied.partial;
            failed += !copied.ok() && copied.error != ECANCELED;
        });
    // Failures are summed up once the dialog has closed.
    if (done.error == ECANCELED)
        return keptAny ? CopyOutcome::CancelledPartly : CopyOutcome::Cancelled;
    return CopyOutcome::Copied;
}

void ResultActions::keepSelected(const std::vector<RowEntry>& left)
{
    if (left.empty())
        return;
    // The rows have moved since; a name is cheap to look at, a path is built only where it matches.
    QSet<QByteArray> names, paths;
    for (const RowEntry& row : left) {
        names.insert(row.name);
        paths.insert(row.entry.path);
    }
    const search::ResultList& rows = window_.resultList();
    std::vector<int> kept;
    for (int row = 0; row < rows.rowCount(); ++row)
        if (names.contains(rows.row(row).name.lookupKey()) && paths.contains(rows.row(row).pathBytes()))
            kept.push_back(row);
    window_.selectResultRows(kept);
}

} // namespace actions
