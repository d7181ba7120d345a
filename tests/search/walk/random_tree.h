#pragma once
// Random trees for the model tests of walks over the fake file system, and random changes to them.
#include "gated_file_system.h"

#include <QStringList>

#include <random>

namespace randomtree {

struct Rng {
    explicit Rng(uint32_t seed) : rng(seed) {}
    std::mt19937 rng;
    int below(int n) { return int(rng() % uint32_t(n)); }
    bool chance(int percent) { return below(100) < percent; }
};

inline void grow(Rng& r, fakes::FakeFileSystem& tree, const QByteArray& folder, int depth)
{
    const int entries = r.below(7);
    for (int i = 0; i < entries; ++i) {
        const QByteArray path = folder + (r.chance(15) ? "/.h" : r.chance(50) ? "/a" : "/b") + QByteArray::number(i);
        if (depth < 4 && r.chance(35)) {
            tree.add(path + '/');
            grow(r, tree, path, depth + 1);
        } else {
            tree.add(path, i);
        }
    }
}

// Half the time workers that take over at once, in random numbers and chunk sizes.
inline search::ReadAheadPolicy readAhead(Rng& r)
{
    search::ReadAheadPolicy policy;
    policy.workers = 1 + r.below(3);
    policy.entriesPerChunk = 1 + r.below(8);
    policy.slowListing = std::chrono::nanoseconds(0);
    return r.chance(50) ? policy : search::ReadAheadPolicy::off();
}

// A random tree at /r, listed on the walk's own thread most of the time.
inline void plant(Rng& r, fakes::GatedFileSystem& fs)
{
    fs.local = r.chance(70);
    fs.tree.add("/r/");
    grow(r, fs.tree, "/r", 0);
}

inline const QString kPatterns[] = {"*", "a*", "*1*", "b?", ".h*", "*2"};

inline QString pattern(Rng& r)
{
    return kPatterns[r.below(int(std::size(kPatterns)))];
}

inline void change(Rng& r, fakes::GatedFileSystem& fs, const QStringList& paths)
{
    for (int n = r.below(5); n > 0 && !paths.isEmpty(); --n) {
        const QByteArray path = paths[r.below(int(paths.size()))].toUtf8();
        fs.change([&](fakes::FakeFileSystem& tree) {
            if (!tree.find(path))
                return;
            switch (r.below(5)) {
            case 0: tree.remove(path); break;
            case 1: tree.rename(path, path + "m"); break;
            case 2: { // a file grown, or a folder's time changed
                fakes::FakeFileSystem::Node& node = tree.add(path);
                node.size += node.folder ? 0 : 7;
                node.modified += 60;
                break;
            }
            case 3: // a folder swapped for a link to another, which the walk does not follow
                if (tree.find(path)->folder) {
                    tree.remove(path);
                    fakes::FakeFileSystem::Node& link = tree.add(path);
                    link.linkToFolder = true;
                    link.linkTarget = "/r";
                    break;
                }
                [[fallthrough]];
            default: tree.add(platform::containingFolder(path) + "/new" + QByteArray::number(n), 1); break;
            }
        });
    }
}

} // namespace randomtree
