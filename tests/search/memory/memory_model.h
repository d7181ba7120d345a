// A random tree, walks of it recorded into a memory as the walk records them (breadth-first,
// stops, folders gone or unreadable, folders passed over), and beside the memory the plainest
// reading of what it must remember: each folder's last listing, kept by its path.
#pragma once

#include "search/match/entry_filter.h"
#include "search/memory/memory_answer.h"
#include "search/memory/memory_paths.h"

#include <QByteArray>
#include <QStringList>

#include <deque>
#include <map>
#include <memory>
#include <random>
#include <set>

namespace memorymodel {

struct Random {
    explicit Random(uint32_t seed) : rng(seed) {}
    std::mt19937 rng;
    int below(int n) { return int(rng() % uint32_t(n)); }
    bool chance(int percent) { return below(100) < percent; }
};

struct Folder;

struct Entry {
    QByteArray name;
    search::EntryTraits traits;
    std::optional<int64_t> length, modified;
    std::shared_ptr<Folder> folder; // a directory's contents
    bool passed = false;            // remembered only: the walk did not enter it
};

struct Folder {
    platform::EntryIdentity identity;
    std::vector<Entry> entries;
    bool unreadable = false; // on disk: listing it fails after a few entries
    bool gone = false;       // remembered: the walk found it gone
};

// The tree on disk, changed between walks.
class Tree {
public:
    explicit Tree(Random& random) : random_(random) { root = grow(0); }

    std::shared_ptr<Folder> root;

    std::shared_ptr<Folder> at(QByteArrayView path) const; // below "/r"; nothing where none is
    std::vector<QByteArray> folderPaths() const;
    void change(int changes);

private:
    std::shared_ptr<Folder> grow(int depth);
    std::shared_ptr<Folder> recreated(const Folder& folder);
    Entry entry(int depth, int serial);

    Random& random_;
    uint64_t nextInode_ = 1;
    int serial_ = 0;
};

// What the memory must remember: the last listing of each folder by its path, the folders
// below a listing dropped when they leave it or the folder changed identity, except the
// locations' own roots and what lies below them.
class Model {
public:
    std::map<QByteArray, Folder> folders; // by canonical path
    std::set<QByteArray> roots;

    void listed(const QByteArray& path, const Folder& listing);
    void passOver(const QByteArray& path, uint32_t entry) { folders[path].entries[entry].passed = true; }
    // The expected rows ("folder|name") of an answer from path for the filter.
    QStringList answer(const QByteArray& path, const QByteArray& shownAs, search::EntryFilter filter) const;

private:
    void dropBelow(const QByteArray& path, bool alsoItself);
};

QByteArray canonical(QByteArrayView path);

// One walk of the tree from a folder, recorded into the memory and the model. stopAfter: the
// entries handled before a stop, or -1.
void walk(search::WalkMemory& memory, Model& model, const Tree& tree, const QByteArray& rootPath, Random& random,
          int stopAfter);

// The rows of a memory's answer, slice by slice as a caller takes them.
QStringList answerRows(const search::WalkMemory& memory, const search::RememberedFolder& found,
                       const QByteArray& shownAs, const search::MatchCriteria& request, search::AnswerPolicy policy,
                       size_t slice);

search::MatchCriteria randomRequest(Random& random);

} // namespace memorymodel
