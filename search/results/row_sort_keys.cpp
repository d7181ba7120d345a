#include "search/results/row_sort_keys.h"

#include "platform/files/file_name_text.h"
#include "search/results/result_list.h"

#include <algorithm>
#include <limits>
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
    nameKeys_ = {};
    folderOf_ = {};
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
    if (column_ == ResultList::SizeColumn)
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
    }
    return false;
}

std::vector<int> RowSortKeys::changed(int first, int last, bool nameChanged)
{
    std::vector<int> moved;
    if (column_ != ResultList::NameColumn && column_ != ResultList::PathColumn)
        return moved; // a size is never rewritten
    last = std::min(last, count_ - 1);
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
    }
    return 0;
}

// The collation is the costly part of a sort: the rows are shared out between threads, each with
// its own collator and keys, and the keys are gathered afterwards. The list does not change
// meanwhile: the window's thread waits here.
void RowSortKeys::computeNameKeys(int first, int last)
{
    const int count = last - first + 1;
    const unsigned threads =
        std::clamp(unsigned(count / kRowsPerThread), 1u, std::min(kMostThreads, std::max(1u, std::thread::hardware_concurrency())));
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
    for (uint32_t id = 0; id < byKey.size(); ++id)
        byKey[id] = id;
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

uint64_t RowSortKeys::leading(int row) const
{
    // A size with its sign bit flipped orders as unsigned as it did signed.
    return column_ == ResultList::SizeColumn ? uint64_t(sizeKey(row)) ^ (uint64_t(1) << 63)
                                             : KeyArena::prefix(nameKey(row));
}

// Each row's number beside the rows: most comparisons end there, without reaching into the rows or
// the arena. The rows themselves are what is sorted, and the numbers then follow them in place, so
// the sort needs little memory beyond what the order keeps.
void RowSortKeys::sortRows(std::vector<int>& rows, std::vector<uint64_t>& leading, Qt::SortOrder order,
                           int count) const
{
    rows.resize(size_t(count));
    leading.clear();
    if (!hasLeading()) {
        sortByFolderThenName(rows, order);
        return;
    }
    leading.resize(size_t(count));
    for (int row = 0; row < count; ++row) {
        rows[size_t(row)] = row;
        leading[size_t(row)] = this->leading(row);
    }
    std::sort(rows.begin(), rows.end(), [&](int a, int b) {
        return before(threeWay(leading[size_t(a)], leading[size_t(b)]), a, b, order);
    });
    // leading[i] = leading[rows[i]], one cycle of the permutation at a time.
    std::vector<bool> done(size_t(count), false);
    for (int start = 0; start < count; ++start) {
        if (done[size_t(start)])
            continue;
        const uint64_t first = leading[size_t(start)];
        int at = start;
        while (true) {
            done[size_t(at)] = true;
            const int from = rows[size_t(at)];
            if (from == start) {
                leading[size_t(at)] = first;
                break;
            }
            leading[size_t(at)] = leading[size_t(from)];
            at = from;
        }
    }
    if (!leadingIsWholeKey())
        sortTiesByLaterBytes(rows, leading, order);
}

// Names often start alike ("IMG_", "report_"), so rows whose first eight bytes tie are sorted
// again by the next eight, and so on: each run of ties, with the bytes in question beside its
// rows, reads each key once more instead of comparing whole keys across the arena. The numbers
// go back to the first eight bytes afterwards.
void RowSortKeys::sortTiesByLaterBytes(std::vector<int>& rows, std::vector<uint64_t>& number, Qt::SortOrder order) const
{
    struct Run {
        size_t first, last; // [first, last) of the order, tied on the bytes before offset
        size_t offset;
    };
    std::vector<Run> runs, tiedAtFirst;
    const auto findRuns = [&](size_t first, size_t last, size_t offset) {
        for (size_t start = first; start < last;) {
            size_t end = start + 1;
            while (end < last && number[end] == number[start])
                ++end;
            bool longer = false; // keys that end within these bytes are equal: the order found stands
            for (size_t i = start; end - start > 1 && !longer && i < end; ++i)
                longer = nameKey(rows[i]).size() > offset;
            if (longer)
                runs.push_back({start, end, offset});
            start = end;
        }
    };
    findRuns(0, rows.size(), 8);
    tiedAtFirst = runs;
    std::vector<std::pair<uint64_t, int>> items;
    while (!runs.empty()) {
        const Run run = runs.back();
        runs.pop_back();
        items.clear();
        for (size_t i = run.first; i < run.last; ++i) {
            const std::span<const uint8_t> key = nameKey(rows[i]);
            items.emplace_back(KeyArena::prefix(key.size() > run.offset ? key.subspan(run.offset) : key.last(0)), rows[i]);
        }
        std::sort(items.begin(), items.end(), [&](const auto& a, const auto& b) {
            return before(threeWay(a.first, b.first), a.second, b.second, order);
        });
        for (size_t i = run.first; i < run.last; ++i)
            std::tie(number[i], rows[i]) = items[i - run.first];
        findRuns(run.first, run.last, run.offset + 8);
    }
    for (const Run& run : tiedAtFirst)
        std::fill(number.begin() + qsizetype(run.first), number.begin() + qsizetype(run.last),
                  KeyArena::prefix(nameKey(rows[run.first])));
}

// The rows are put in their folders' order by counting, which keeps the order found within each
// folder; then each folder's rows are sorted by name. A folder's rows are few, and the sort needs
// no more than the largest folder's share of memory.
void RowSortKeys::sortByFolderThenName(std::vector<int>& rows, Qt::SortOrder order) const
{
    const auto count = int(rows.size());
    const std::vector<uint32_t> rank = folderRanks();
    const uint32_t ranks = rank.empty() ? 0 : *std::max_element(rank.begin(), rank.end()) + 1;
    const auto placeOf = [&](int row) {
        const uint32_t r = rank[folderOf_[size_t(row)]];
        return order == Qt::AscendingOrder ? r : ranks - 1 - r;
    };
    std::vector<int> start(size_t(ranks) + 1, 0);
    for (int row = 0; row < count; ++row)
        ++start[placeOf(row) + 1];
    for (uint32_t r = 0; r < ranks; ++r)
        start[r + 1] += start[r];
    std::vector<int> next(start.begin(), start.end() - 1);
    for (int row = 0; row < count; ++row)
        rows[size_t(next[placeOf(row)]++)] = row;

    std::vector<std::pair<uint64_t, int>> run;
    for (uint32_t r = 0; r < ranks; ++r) {
        const auto first = rows.begin() + start[r], last = rows.begin() + start[r + 1];
        run.clear();
        for (auto row = first; row != last; ++row)
            run.emplace_back(KeyArena::prefix(nameKey(*row)), *row);
        std::sort(run.begin(), run.end(), [&](const auto& a, const auto& b) {
            int byKey = threeWay(a.first, b.first);
            if (byKey == 0)
                byKey = KeyArena::compare(nameKey(a.second), nameKey(b.second));
            return before(byKey, a.second, b.second, order);
        });
        std::transform(run.begin(), run.end(), first, [](const auto& item) { return item.second; });
    }
}

} // namespace search
