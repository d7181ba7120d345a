#include "search/results/result_list.h"

#include "platform/files/file_name_text.h"
#include "platform/files/file_system.h"
#include "platform/files/paths.h"
#include "search/results/result_texts.h"
#include "search/results/row_mime_data.h"

#include <QHash>
#include <QMimeData>
#include <QSet>

#include <algorithm>

namespace search {

QByteArray ResultRow::pathBytes() const
{
    return platform::joinPath(folder, name);
}

QString ResultRow::nameText() const
{
    return platform::fileNameText(name);
}

QString ResultRow::pathText() const
{
    return platform::pathText(pathBytes());
}

QString ResultRow::sizeText() const
{
    return hasSize ? search::sizeText(size) : QString();
}

QString ResultRow::modifiedText() const
{
    return hasModified() ? search::modifiedText(modified) : QString();
}

ResultList::ResultList(QObject* parent) : QAbstractTableModel(parent) {}

void ResultList::setDecoration(std::function<QVariant(uint32_t)> decoration)
{
    decoration_ = std::move(decoration);
}

int ResultList::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(shown_);
}

int ResultList::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ResultList::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || size_t(index.row()) >= shown_)
        return {};
    const ResultRow& r = rows_[size_t(index.row())];
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole || role == Qt::ToolTipRole) {
        switch (index.column()) {
        case NameColumn:
            return r.nameText();
        case PathColumn:
            return r.pathText();
        case SizeColumn:
            return r.sizeText();
        case ModifiedColumn:
            return r.modifiedText();
        }
    }
    if (role == Qt::DecorationRole && index.column() == NameColumn && decoration_)
        return decoration_(r.icon);
    if (role == Qt::ForegroundRole && r.unconfirmed)
        return unconfirmedForeground_;
    return {};
}

QVariant ResultList::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case NameColumn:
        return QStringLiteral("文件名称");
    case PathColumn:
        return QStringLiteral("文件位置");
    case SizeColumn:
        return QStringLiteral("文件大小");
    case ModifiedColumn:
        return QStringLiteral("修改日期");
    }
    return {};
}

Qt::ItemFlags ResultList::flags(const QModelIndex& index) const
{
    const Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    return index.isValid() ? flags | Qt::ItemIsDragEnabled : flags;
}

QStringList ResultList::mimeTypes() const
{
    return {QStringLiteral("text/uri-list"), QStringLiteral("text/plain")};
}

// One entry per row, however many of its cells are given.
QMimeData* ResultList::mimeData(const QModelIndexList& indexes) const
{
    QSet<int> seen;
    QList<QByteArray> paths;
    for (const QModelIndex& index : indexes) {
        if (!index.isValid() || index.model() != this || size_t(index.row()) >= shown_ || seen.contains(index.row()))
            continue;
        seen.insert(index.row());
        paths << rows_[size_t(index.row())].pathBytes();
    }
    return paths.isEmpty() ? nullptr : pathsMimeData(paths);
}

void ResultList::append(ResultRow row)
{
    unconfirmed_ += row.unconfirmed;
    rows_.push_back(std::move(row));
}

// Confirmed rows change their colour only (their keys for a sort stay), and those whose size or
// time changed show the new ones.
void ResultList::tellConfirmed()
{
    const int first = confirmedFirst_, last = confirmedLast_, changedFirst = changedFirst_, changedLast = changedLast_;
    confirmedFirst_ = confirmedLast_ = changedFirst_ = changedLast_ = -1;
    if (first >= 0)
        emit dataChanged(index(first, 0), index(last, ColumnCount - 1), {Qt::ForegroundRole});
    if (changedFirst >= 0)
        emit dataChanged(index(changedFirst, SizeColumn), index(changedLast, ModifiedColumn));
}

void ResultList::flush()
{
    tellConfirmed();
    if (!hasWaitingRows())
        return;
    beginInsertRows({}, int(shown_), int(rows_.size()) - 1);
    shown_ = rows_.size();
    endInsertRows();
}

ResultList::~ResultList()
{
    if (disposing_.valid())
        disposing_.wait();
}

// Freeing a million rows' names takes longer than a key's turn: a list that large is handed to a
// thread of its own, which frees what nothing else reads (the rows' shared folder paths count
// their owners atomically) and ends when it is done. One at a time: a list emptied again meanwhile
// waits for the last one first, and the list's destructor waits for it too.
void ResultList::clear()
{
    beginResetModel();
    if (rows_.size() >= kFreedAside) {
        if (disposing_.valid())
            disposing_.wait();
        disposing_ = std::async(std::launch::async, [rows = std::move(rows_)]() mutable { rows = {}; });
        rows_ = {};
    }
    rows_.clear();
    rows_.shrink_to_fit();
    folders_.assign(1, platform::EntryIdentity{});
    shown_ = 0;
    unconfirmed_ = 0;
    confirmedFirst_ = confirmedLast_ = changedFirst_ = changedLast_ = -1;
    endResetModel();
}

uint32_t ResultList::recordFolder(const platform::EntryIdentity& identity)
{
    folders_.push_back(identity);
    return uint32_t(folders_.size() - 1);
}

platform::EntryIdentity ResultList::listedIn(const ResultRow& row) const
{
    return row.listedIn < folders_.size() ? folders_[row.listedIn] : platform::EntryIdentity{};
}

void ResultList::removeResultRow(int row)
{
    if (row < 0 || size_t(row) >= shown_)
        return;
    tellConfirmed();
    beginRemoveRows({}, row, row);
    unconfirmed_ -= rows_[size_t(row)].unconfirmed;
    rows_.erase(rows_.begin() + row);
    --shown_;
    endRemoveRows();
}

int64_t ResultList::removeEntry(QByteArrayView path)
{
    return removeEntries({path.toByteArray()});
}

int64_t ResultList::removeEntries(const std::vector<QByteArray>& paths)
{
    // The entries gone, and by the folders that held them, their names.
    QSet<QByteArray> gonePaths;
    QHash<QByteArray, QSet<QByteArray>> goneNames;
    for (const QByteArray& path : paths) {
        const QByteArray entryPath = platform::withoutTrailingSlashes(path);
        gonePaths.insert(entryPath);
        platform::SplitPath entry = platform::splitPath(entryPath);
        goneNames[entry.folder].insert(entry.name);
    }
    // Rows of one folder share its path: it is judged once for each run of them, by looking up
    // it and each folder above it among the entries gone.
    const QByteArray* judged = nullptr;
    bool below = false;
    const QSet<QByteArray>* namesGone = nullptr;
    const auto gone = [&](const ResultRow& row) {
        if (!judged || row.folder != *judged) {
            judged = &row.folder;
            // The root's entries have the empty folder.
            const QByteArray folder = row.folder.isEmpty() ? QByteArray("/") : platform::withoutTrailingSlashes(row.folder);
            const auto names = goneNames.constFind(folder);
            namesGone = names == goneNames.cend() ? nullptr : &*names;
            below = false;
            for (QByteArray above = folder; !below && !row.folder.isEmpty();) {
                below = gonePaths.contains(above);
                if (above == "/" || !above.contains('/'))
                    break;
                above = platform::containingFolder(above);
            }
        }
        return below || (namesGone && namesGone->contains(row.name.lookupKey()));
    };
    std::vector<Run> runs;
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (!gone(rows_[i]))
            continue;
        if (!runs.empty() && runs.back().end == i && i != shown_)
            ++runs.back().end;
        else
            runs.push_back({i, i + 1});
    }
    return removeRuns(runs);
}

int64_t ResultList::removeRows(const std::vector<int>& rows)
{
    std::vector<Run> runs;
    for (const int row : rows) {
        if (row < 0 || size_t(row) >= shown_)
            continue;
        if (!runs.empty() && runs.back().end == size_t(row))
            ++runs.back().end;
        else
            runs.push_back({size_t(row), size_t(row) + 1});
    }
    return removeRuns(runs);
}

// From the last run to the first, so that the positions of the others hold; the rows that wait
// for a flush go without a word to the view, which does not know them yet.
int64_t ResultList::removeRuns(const std::vector<Run>& runs)
{
    tellConfirmed(); // while the rows are where the spans say
    int64_t removed = 0;
    for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
        const bool shown = run->first < shown_;
        if (shown)
            beginRemoveRows({}, int(run->first), int(run->end) - 1);
        if (unconfirmed_ > 0)
            for (size_t row = run->first; row < run->end; ++row)
                unconfirmed_ -= rows_[row].unconfirmed;
        rows_.erase(rows_.begin() + qsizetype(run->first), rows_.begin() + qsizetype(run->end));
        removed += int64_t(run->end - run->first);
        if (shown) {
            shown_ -= run->end - run->first;
            endRemoveRows();
        }
    }
    return removed;
}

void ResultList::confirmEntry(QByteArrayView path)
{
    const platform::SplitPath entry = platform::splitPath(platform::withoutTrailingSlashes(path.toByteArray()));
    const QByteArray folder = entry.folder == "/" ? QByteArray() : entry.folder;
    for (size_t row = 0; row < shown_; ++row) {
        ResultRow& r = rows_[row];
        if (r.unconfirmed && r.name == entry.name && r.folder == folder) {
            r.unconfirmed = false;
            --unconfirmed_;
            emit dataChanged(index(int(row), 0), index(int(row), ColumnCount - 1), {Qt::ForegroundRole});
        }
    }
}

void ResultList::confirmRow(int row, const ResultRow& listed)
{
    if (row < 0 || size_t(row) >= shown_)
        return;
    ResultRow& r = rows_[size_t(row)];
    const bool changed = r.size != listed.size || r.hasSize != listed.hasSize || r.modified != listed.modified;
    unconfirmed_ -= r.unconfirmed;
    r.unconfirmed = false;
    r.size = listed.size;
    r.hasSize = listed.hasSize;
    r.modified = listed.modified;
    r.isFolder = listed.isFolder;
    r.icon = listed.icon;
    r.listedIn = listed.listedIn;
    const auto widen = [row](int& first, int& last) {
        first = first < 0 ? row : std::min(first, row);
        last = std::max(last, row);
    };
    widen(confirmedFirst_, confirmedLast_);
    if (changed)
        widen(changedFirst_, changedLast_);
}

void ResultList::reorder(const std::vector<int>& newOrder)
{
    if (newOrder.size() != shown_ || rows_.size() != shown_)
        return;
    tellConfirmed();
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    movedTo_.assign(shown_, 0);
    std::deque<ResultRow> reordered;
    for (size_t at = 0; at < newOrder.size(); ++at) {
        movedTo_[size_t(newOrder[at])] = int(at);
        reordered.push_back(std::move(rows_[size_t(newOrder[at])]));
    }
    rows_.swap(reordered);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before)
        after << this->index(movedTo(index.row()), index.column());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    movedTo_.clear();
}

void ResultList::renameResultRow(int row, const QByteArray& newName)
{
    if (row < 0 || size_t(row) >= shown_)
        return;
    rows_[size_t(row)].name = newName;
    emit dataChanged(index(row, NameColumn), index(row, PathColumn));
}

void ResultList::movePrefix(QByteArrayView from, QByteArrayView to)
{
    // Rows of one folder share its path; so do their rewritten ones.
    QByteArray oldFolder, newFolder;
    qsizetype first = -1, last = -1;
    for (size_t i = 0; i < rows_.size(); ++i) {
        QByteArray& folder = rows_[i].folder;
        if (!platform::isSameOrBelow(folder, from))
            continue;
        if (folder != oldFolder) {
            oldFolder = folder;
            newFolder = to.toByteArray() + folder.mid(from.size());
        }
        folder = newFolder;
        if (i < shown_) {
            first = first < 0 ? qsizetype(i) : first;
            last = qsizetype(i);
        }
    }
    if (first >= 0)
        emit dataChanged(index(int(first), PathColumn), index(int(last), PathColumn));
}

} // namespace search
