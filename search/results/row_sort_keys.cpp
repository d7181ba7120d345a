#include "search/results/row_sort_keys.h"

#include "platform/files/file_name_text.h"
#include "platform/files/processor_cores.h"
#include "search/results/result_list.h"

#include <algorithm>
#include <limits>
#include <numeric>
#include <thread>

namespace search {
namespace {

// Below this many rows, starting threads costs more than it saves.
constexpr int kRowsPerThread = 32768;
constexpr unsigned kMostThreads = 4;

} // namespace

RowSortKeys::RowSortKeys(const ResultList& list) : list_(list) {}

RowSortKeys::~RowSortKeys() = default;

NameCollator& RowSortKeys::collator()
{
    if (!collator_)
        collator_ = std::make_unique<NameCollator>();
    return *collator_;
}

void RowSortKeys::clear()
{
    column_ = -1;
    count_ = 0;
    arena_.clear();
    nameKeys_.clear();
    folderOf_.clear();
    folderKeys_ = {};
    folderIds_ = {};
    lastFolder_ = {};
}

void RowSortKeys::build(int column)
{
    if (column == column_)
        return;
    clear();
    column_ = column;
    addRows(list_.rowCount() - 1);
}

void RowSortKeys::addRows(int last)
{
    const int first = count_;
    if (last < first || column_ < 0)
        return;
    count_ = last + 1;
    if (keyedByRow())
        return;
    nameKeys_.resize(size_t(count_));
    computeNameKeys(first, last);
    if (column_ != ResultList::PathColumn)
        return;
    folderOf_.resize(size_t(count_));
    for (int row = first; row <= last; ++row)
        folderOf_[size_t(row)] = folderId(list_.row(row).folder);
}

void RowSortKeys::removed(int first, int last)
{
    last = std::min(last, count_ - 1);
    if (last < first)
        return;
    count_ -= last - first + 1;
    if (!nameKeys_.empty())
        nameKeys_.erase(nameKeys_.begin() + first, nameKeys_.begin() + last + 1);
    if (!folderOf_.empty())
        folderOf_.erase(folderOf_.begin() + first, folderOf_.begin() + last + 1);
}

bool RowSortKeys::dependsOn(int firstColumn, int lastColumn) const
{
    const auto within = [&](int column) { return firstColumn <= column && column <= lastColumn; };
    switch (column_) {
    case ResultList::NameColumn:
        return within(ResultList::NameColumn);
    case ResultList::PathColumn:
        return within(ResultList::NameColumn) || within(ResultList::PathColumn);
    case ResultList::SizeColumn:
        return within(ResultList::SizeColumn);
    case ResultList::ModifiedColumn:
        return within(ResultList::ModifiedColumn);
    }
    return false;
}

std::vector<int> RowSortKeys::changed(int first, int last, bool nameChanged)
{
    std::vector<int> moved;
    last = std::min(last, count_ - 1);
    if (keyedByRow()) { // a walk confirming a row refreshes its size and time: the key is the row's
        for (int row = first; row <= last; ++row)
            moved.push_back(row);
        return moved;
    }
    for (int row = first; row <= last; ++row) {
        const ResultRow& r = list_.row(row);
        bool keyChanged = false;
        const std::span<const uint8_t> name = nameChanged ? collator().key(r.nameText()) : nameKey(row);
        if (nameChanged && KeyArena::compare(name, nameKey(row)) != 0) {
            nameKeys_[size_t(row)] = arena_.add(name);
            keyChanged = true;
        }
        if (column_ == ResultList::PathColumn) {
            const uint32_t folder = folderId(r.folder);
            keyChanged = keyChanged || folder != folderOf_[size_t(row)];
            folderOf_[size_t(row)] = folder;
        }
        if (keyChanged)
            moved.push_back(row);
    }
    return moved;
}

int64_t RowSortKeys::sizeKey(int row) const
{
    const ResultRow& r = list_.row(row);
    return r.hasSize ? r.size : std::numeric_limits<int64_t>::min();
}

int RowSortKeys::compare(int a, int b) const
{
    switch (column_) {
    case ResultList::NameColumn:
        return KeyArena::compare(nameKey(a), nameKey(b));
    case ResultList::PathColumn:
        if (folderOf_[size_t(a)] != folderOf_[size_t(b)]) {
            if (const int byFolder = KeyArena::compare(folderKey(a), folderKey(b)))
                return byFolder;
        }
        return KeyArena::compare(nameKey(a), nameKey(b));
    case ResultList::SizeColumn:
        return threeWay(sizeKey(a), sizeKey(b));
    case ResultList::ModifiedColumn:
        return threeWay(modifiedKey(a), modifiedKey(b));
    }
    return 0;
}

// The collation is the costly part of a sort: the rows are shared out between threads, each with
// its own collator and keys, and the keys are gathered afterwards. The list does not change
// meanwhile: the window's thread waits here.
void RowSortKeys::computeNameKeys(int first, int last)
{
    const int count = last - first + 1;
    const unsigned threads = std::clamp(unsigned(count / kRowsPerThread), 1u, std::min(kMostThreads, platform::processorCores()));
    if (threads == 1) {
        for (int row = first; row <= last; ++row)
            nameKeys_[size_t(row)] = arena_.add(collator().key(list_.row(row).nameText()));
        return;
    }
    std::vector<KeyArena> parts(threads);
    std::vector<std::pair<int, int>> ranges;
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < threads; ++t) {
        const int begin = first + int(int64_t(count) * t / threads);
        const int end = first + int(int64_t(count) * (t + 1) / threads);
        ranges.emplace_back(begin, end);
        workers.emplace_back([this, &part = parts[t], begin, end] {
            NameCollator collator;
            for (int row = begin; row < end; ++row)
                nameKeys_[size_t(row)] = part.add(collator.key(list_.row(row).nameText()));
        });
    }
    for (std::thread& worker : workers)
        worker.join();
    for (unsigned t = 0; t < threads; ++t) {
        const KeyArena::Ref shift = arena_.absorb(std::move(parts[t]));
        for (int row = ranges[t].first; row < ranges[t].second; ++row)
            nameKeys_[size_t(row)] += shift;
    }
}

// A folder's key is its parent's key and its own name's key: each folder above the rows is
// collated once, however many rows and folders lie below it.
uint32_t RowSortKeys::folderId(const QByteArray& folder)
{
    if (!lastFolder_.isNull() && folder.constData() == lastFolder_.constData() && folder.size() == lastFolder_.size())
        return lastFolderId_;
    // The folders not yet known, from this one up to the first known one (or the root).
    std::vector<QByteArray> unknown;
    QByteArray path = folder;
    uint32_t known = std::numeric_limits<uint32_t>::max();
    while (true) {
        const auto found = folderIds_.constFind(path);
        if (found != folderIds_.constEnd()) {
            known = *found;
            break;
        }
        unknown.push_back(path);
        const qsizetype slash = path.lastIndexOf('/');
        if (slash < 0 || path.isEmpty())
            break;
        path.truncate(slash);
    }
    uint32_t id = known;
    std::vector<uint8_t> key;
    for (auto folderPath = unknown.rbegin(); folderPath != unknown.rend(); ++folderPath) {
        key.clear();
        if (id != std::numeric_limits<uint32_t>::max()) {
            const std::span<const uint8_t> parent = arena_.at(folderKeys_[id]);
            key.assign(parent.begin(), parent.end());
        }
        const qsizetype slash = folderPath->lastIndexOf('/');
        const QByteArrayView name = QByteArrayView(*folderPath).sliced(slash + 1);
        if (!name.isEmpty()) { // the root, and a doubled "/", add nothing
            const std::span<const uint8_t> own = collator().key(platform::fileNameText(name));
            key.insert(key.end(), own.begin(), own.end());
        }
        id = uint32_t(folderKeys_.size());
        folderKeys_.push_back(arena_.add(key));
        folderIds_.insert(*folderPath, id);
    }
    lastFolder_ = folder;
    lastFolderId_ = id;
    return id;
}

// Folders by key; folders of equal keys share a rank, so their rows sort by name together.
std::vector<uint32_t> RowSortKeys::folderRanks() const
{
    std::vector<uint32_t> byKey(folderKeys_.size());
    std::iota(byKey.begin(), byKey.end(), 0);
    const auto key = [this](uint32_t id) { return arena_.at(folderKeys_[id]); };
    std::sort(byKey.begin(), byKey.end(), [&](uint32_t a, uint32_t b) { return KeyArena::compare(key(a), key(b)) < 0; });
    std::vector<uint32_t> rank(folderKeys_.size());
    uint32_t current = 0;
    for (size_t i = 0; i < byKey.size(); ++i) {
        if (i > 0 && KeyArena::compare(key(byKey[i - 1]), key(byKey[i])) != 0)
            ++current;
        rank[byKey[i]] = current;
    }
    return rank;
}

// By the leading numbers alone first, which reads no key; then each run of equal ones by the
// whole comparison, with the keys of one run few enough to stay in the cache. For the location,
// a row leads meanwhile by its folder's rank and its name's first four bytes: that orders as its
// keys do, but only until another folder is found, so it is not kept.
void RowSortKeys::sortRows(std::span<SortEntry> entries, Qt::SortOrder order) const
{
    const bool byFolderRank = column_ == ResultList::PathColumn;
    const std::vector<uint32_t> rank = byFolderRank ? folderRanks() : std::vector<uint32_t>{};
    for (size_t row = 0; row < entries.size(); ++row) {
        entries[row] = entry(int(row));
        if (byFolderRank)
            entries[row].leading = uint64_t(rank[folderOf_[row]]) << 32 | KeyArena::prefix(nameKey(int(row))) >> 32;
    }
    const Less less = this->less(order);
    std::sort(entries.begin(), entries.end(), [&](const SortEntry& a, const SortEntry& b) { return less.leadingBefore(a, b); });
    for (auto run = entries.begin(); run != entries.end();) {
        const auto end = std::find_if(run, entries.end(), [&](const SortEntry& e) { return e.leading != run->leading; });
        std::sort(run, end, less);
        run = end;
    }
    if (byFolderRank)
        for (SortEntry& e : entries)
            e.leading = 0;
}

uint64_t RowSortKeys::leading(int row) const
{
    switch (column_) {
    case ResultList::NameColumn:
        return KeyArena::prefix(nameKey(row));
    // Its sign bit flipped, a number orders as unsigned as it did signed.
    case ResultList::SizeColumn:
        return uint64_t(sizeKey(row)) ^ (uint64_t(1) << 63);
    case ResultList::ModifiedColumn:
        return uint64_t(modifiedKey(row)) ^ (uint64_t(1) << 63);
    }
    return 0;
}

} // namespace search
