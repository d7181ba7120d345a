#include "search/row_confirmation.h"

#include "search/results/result_list.h"

#include <algorithm>

namespace search {
namespace {

// The rows of one folder, and the walk's entries of one folder, share one copy of its path: most
// comparisons are settled without reading it.
bool samePath(const QByteArray& a, const QByteArray& b)
{
    return (a.constData() == b.constData() && a.size() == b.size()) || a == b;
}

} // namespace

RowConfirmation::RowConfirmation(ResultList& list, size_t folders) : list_(list), stale_(list.totalRows() > 0)
{
    // Made room for at once, rather than grown step by step as folders come.
    folders_.reserve(folders);
    folderAt_.reserve(qsizetype(folders));
    turn_.reserve(qsizetype(folders));
    const auto changedOutside = [this] {
        if (!changing_)
            stale_ = mayBeOutOfOrder_ = true;
    };
    watching_.push_back(QObject::connect(&list, &QAbstractItemModel::rowsRemoved, changedOutside));
    watching_.push_back(QObject::connect(&list, &QAbstractItemModel::modelReset, changedOutside));
    watching_.push_back(QObject::connect(&list, &QAbstractItemModel::layoutChanged, changedOutside));
    watching_.push_back(QObject::connect(&list, &QAbstractItemModel::dataChanged,
                                         [changedOutside](const QModelIndex& topLeft, const QModelIndex&, const QList<int>& roles) {
                                             // A rename changes names and paths; a confirmation, colours, sizes and times.
                                             if (topLeft.column() <= ResultList::PathColumn && roles.isEmpty())
                                                 changedOutside();
                                         }));
}

RowConfirmation::~RowConfirmation()
{
    for (const QMetaObject::Connection& connection : watching_)
        QObject::disconnect(connection);
}

// Runs of rows of one folder, among them rows not confirmed yet: the memory's rows of a folder
// come together, and stay together whatever leaves the list.
void RowConfirmation::index()
{
    folders_.clear();
    folderAt_.clear();
    gone_.clear();
    const int count = list_.rowCount();
    for (int row = 0; row < count;) {
        const QByteArray& folder = list_.row(row).folder;
        int end = row;
        bool unconfirmed = false;
        for (; end < count && samePath(list_.row(end).folder, folder); ++end)
            unconfirmed = unconfirmed || list_.row(end).unconfirmed;
        if (unconfirmed && !folderAt_.contains(folder)) {
            folderAt_.insert(folder, folders_.size());
            folders_.push_back({folder, row, end - row});
        }
        row = end;
    }
    stale_ = false;
    rows_ = kNone;
    byName_.clear();
    // The folder being listed takes its rows up again where they are now; which of them came in
    // order is no longer known, so its names keep the order they are listed in.
    if (listing_) {
        takeUpRows();
        outOfOrder_ = true;
    }
}

void RowConfirmation::remembered(int row, const QByteArray& folder)
{
    if (stale_)
        return; // the index is made again from the list, this row with it
    if (!folders_.empty() && samePath(folders_.back().path, folder)
        && folders_.back().first + folders_.back().count == row) {
        ++folders_.back().count;
        return;
    }
    if (folderAt_.contains(folder))
        return; // as index() does: the folder's first run of rows is the one confirmed
    folderAt_.insert(folder, folders_.size());
    folders_.push_back({folder, row, 1});
}

bool RowConfirmation::begun(const QByteArray& folder)
{
    if (!samePath(folder, askedFolder_)) {
        askedFolder_ = folder;
        askedBegun_ = turn_.contains(folder);
    }
    return askedBegun_;
}

void RowConfirmation::takeUpRows()
{
    const auto at = folderAt_.constFind(current_);
    rows_ = at == folderAt_.cend() ? kNone : *at;
    cursor_ = rows_ == kNone ? 0 : folders_[rows_].first;
    lastMatched_ = -1;
    byName_.clear();
    if (rows_ != kNone)
        keepTurn();
}

void RowConfirmation::keepTurn()
{
    if (!turnKept_)
        turn_.insert(current_, turns_ - 1);
    turnKept_ = true;
}

void RowConfirmation::listing(const QByteArray& folder)
{
    if (!listing_ || !samePath(folder, current_))
        begin(folder);
    else if (stale_)
        index();
}

void RowConfirmation::begin(const QByteArray& folder)
{
    end();
    if (stale_)
        index();
    current_ = folder;
    listing_ = true;
    ++turns_;
    turnKept_ = false;
    // While rows still join, begun() asks about every folder; then, of the tens of thousands a
    // walk lists, only those with rows are kept.
    if (!answerShown_)
        keepTurn();
    askedBegun_ = askedBegun_ || samePath(folder, askedFolder_);
    takeUpRows();
    // The memory's folders are taken up in the order their rows joined the list, unless the
    // tree changed since it was recorded.
    if (rows_ != kNone) {
        mayBeOutOfOrder_ = mayBeOutOfOrder_ || (lastRun_ != kNone && rows_ < lastRun_);
        lastRun_ = rows_;
    }
    outOfOrder_ = false;
    listedNames_.clear();
}

// A folder whose rows did not come in the walk's order keeps the order of its names.
void RowConfirmation::end()
{
    if (!listing_)
        return;
    if (outOfOrder_) {
        mayBeOutOfOrder_ = true;
        QHash<QByteArray, uint32_t>& places = placeOf_[current_];
        for (const RowName& name : listedNames_)
            places.insert(name.bytes(), uint32_t(places.size()));
    }
    listing_ = false;
    rows_ = kNone;
    listedNames_.clear();
    byName_.clear();
}

int RowConfirmation::find(QByteArrayView name)
{
    const Folder& folder = folders_[rows_];
    const int end = folder.first + folder.count;
    if (cursor_ < end && list_.row(cursor_).unconfirmed && list_.row(cursor_).name == name)
        return cursor_;
    if (byName_.isEmpty()) {
        for (int row = folder.first; row < end; ++row)
            byName_.insert(list_.row(row).name.bytes(), row);
    }
    const auto at = byName_.constFind(name.toByteArray());
    return at != byName_.cend() && list_.row(*at).unconfirmed ? *at : -1;
}

int RowConfirmation::rowFor(const QByteArray& folder, QByteArrayView name)
{
    listing(folder);
    const int row = rows_ == kNone ? -1 : find(name);
    if (row < 0) {
        mayBeOutOfOrder_ = true; // a new row, at the list's end
        keepTurn();
        listedNames_.emplace_back(name);
        outOfOrder_ = outOfOrder_ || rows_ != kNone; // a new row goes to the list's end, away from its folder's
        return -1;
    }
    listedNames_.emplace_back(name); // inside the vector's own room, as most names fit
    outOfOrder_ = outOfOrder_ || row < lastMatched_;
    lastMatched_ = row;
    cursor_ = row + 1;
    return row;
}

void RowConfirmation::folderDone(const QByteArray& folder)
{
    listing(folder);
    if (rows_ != kNone) {
        const Folder& rows = folders_[rows_];
        for (int row = rows.first; row < rows.first + rows.count; ++row)
            if (list_.row(row).unconfirmed)
                gone_.push_back(row);
    }
    end();
}

void RowConfirmation::removeGone()
{
    if (gone_.empty())
        return;
    if (stale_) { // the list changed meanwhile: what is gone goes when the walk ends
        gone_.clear();
        return;
    }
    std::sort(gone_.begin(), gone_.end());
    changing_ = true;
    list_.removeRows(gone_);
    changing_ = false;
    // The folders after each removed row move up by one; the memory's rows of each folder stay
    // together.
    size_t removedBefore = 0;
    for (Folder& folder : folders_) {
        while (removedBefore < gone_.size() && gone_[removedBefore] < folder.first)
            ++removedBefore;
        size_t within = removedBefore;
        while (within < gone_.size() && gone_[within] < folder.first + folder.count)
            ++within;
        folder.first -= int(removedBefore);
        folder.count -= int(within - removedBefore);
    }
    const auto before = [this](int row) { return int(std::lower_bound(gone_.begin(), gone_.end(), row) - gone_.begin()); };
    cursor_ -= before(cursor_);
    lastMatched_ = lastMatched_ < 0 ? -1 : lastMatched_ - before(lastMatched_);
    byName_.clear();
    gone_.clear();
}

void RowConfirmation::complete()
{
    end();
    gone_.clear();
    std::vector<int> unconfirmed;
    for (int row = 0; row < list_.rowCount() && int64_t(unconfirmed.size()) < list_.unconfirmedRows(); ++row)
        if (list_.row(row).unconfirmed)
            unconfirmed.push_back(row);
    changing_ = true;
    list_.removeRows(unconfirmed);
    if (mayBeOutOfOrder_)
        takeWalkOrder();
    changing_ = false;
    stale_ = true;
}

// Each row's place in the walk's order: its folder's turn, then its place in the folder (its
// row, where the folder's rows came in order). Most walks leave the rows in that order: one pass
// tells, and only a list out of it is sorted.
void RowConfirmation::takeWalkOrder()
{
    const int count = list_.rowCount();
    const QByteArray* folder = nullptr;
    uint64_t turn = 0;
    const QHash<QByteArray, uint32_t>* names = nullptr;
    const auto placeOf = [&](int row) {
        const ResultRow& r = list_.row(row);
        if (!folder || !samePath(r.folder, *folder)) {
            folder = &r.folder;
            turn = uint64_t(turn_.value(r.folder, UINT32_MAX)) << 32;
            const auto at = placeOf_.constFind(r.folder);
            names = at == placeOf_.cend() ? nullptr : &*at;
        }
        return turn | (names ? names->value(r.name.lookupKey(), UINT32_MAX) : uint32_t(row));
    };
    uint64_t previous = 0;
    int row = 0;
    for (; row < count; ++row) {
        const uint64_t place = placeOf(row);
        if (place < previous)
            break;
        previous = place;
    }
    if (row == count)
        return;
    folder = nullptr;
    std::vector<std::pair<uint64_t, int>> places(static_cast<size_t>(count));
    for (row = 0; row < count; ++row)
        places[size_t(row)] = {placeOf(row), row};
    std::sort(places.begin(), places.end());
    std::vector<int> order(places.size());
    std::transform(places.begin(), places.end(), order.begin(), [](const auto& place) { return place.second; });
    list_.reorder(order);
}

} // namespace search
