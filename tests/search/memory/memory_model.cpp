#include "memory_model.h"

#include "platform/files/paths.h"

#include <algorithm>

namespace memorymodel {
namespace {

// Names whose text is not their bytes among them: GB18030 bytes, and "ſ" and "ı", which upper-case
// to "S" and "I".
const char* const kWords[] = {"a", "B", "ab", "x.txt", "Y.TXT", ".h", "报告", "\xb1\xa8", "photo.jpg", "txt",
                              "\xc5\xbf" "ab", "\xc4\xb1" "s"};

bool atOrBelow(const QByteArray& path, const QByteArray& folder)
{
    return path == folder || path.startsWith(folder + '/');
}

} // namespace

QByteArray canonical(QByteArrayView path)
{
    QByteArray out;
    search::PathComponents components(path);
    for (QByteArrayView name; components.next(name);)
        out += '/' + name.toByteArray();
    return out;
}

std::shared_ptr<Folder> Tree::grow(int depth)
{
    auto folder = std::make_shared<Folder>();
    folder->identity = {7, nextInode_++};
    folder->unreadable = random_.chance(4);
    const int count = random_.chance(5) ? 30 : random_.below(7);
    for (int i = 0; i < count; ++i)
        folder->entries.push_back(entry(depth, serial_++));
    return folder;
}

Entry Tree::entry(int depth, int serial)
{
    Entry e;
    // The serial before the extension, so that extensions are matched too.
    const QByteArray word = kWords[random_.below(int(std::size(kWords)))];
    const qsizetype dot = std::max<qsizetype>(word.indexOf('.', 1), 0);
    e.name = word.left(dot ? dot : word.size()) + '_' + QByteArray::number(serial)
        + (dot ? word.mid(dot) : QByteArray());
    const uint32_t hidden = random_.chance(20) ? uint32_t(platform::Hidden) : 0u;
    const int kind = random_.below(100);
    if (kind < 30 && depth < 4) {
        e.traits = search::EntryTraits::fromAttributes(platform::Directory | hidden);
        e.folder = grow(depth + 1);
    } else if (kind < 35) {
        e.traits = search::EntryTraits::fromAttributes(std::nullopt); // queued, but nothing to list
    } else {
        e.traits = search::EntryTraits::fromAttributes(hidden);
    }
    if (random_.chance(70))
        e.length = random_.below(5000) - 10;
    if (random_.chance(70))
        e.modified = int64_t(random_.rng()) - (int64_t(1) << 31);
    return e;
}

// The same names made again: every folder a new one.
std::shared_ptr<Folder> Tree::recreated(const Folder& folder)
{
    auto copy = std::make_shared<Folder>(folder);
    copy->identity = {7, nextInode_++};
    for (Entry& e : copy->entries)
        if (e.folder)
            e.folder = recreated(*e.folder);
    return copy;
}

std::shared_ptr<Folder> Tree::at(QByteArrayView path) const
{
    search::PathComponents components(path);
    QByteArrayView name;
    if (!components.next(name) || name != "r")
        return nullptr;
    std::shared_ptr<Folder> folder = root;
    while (folder && components.next(name)) {
        const auto it = std::find_if(folder->entries.begin(), folder->entries.end(),
                                     [&](const Entry& e) { return e.name == name; });
        folder = it == folder->entries.end() ? nullptr : it->folder;
    }
    return folder;
}

std::vector<QByteArray> Tree::folderPaths() const
{
    std::vector<std::pair<QByteArray, const Folder*>> found{{"/r", root.get()}};
    for (size_t i = 0; i < found.size(); ++i)
        for (const Entry& e : found[i].second->entries)
            if (e.folder)
                found.push_back({found[i].first + '/' + e.name, e.folder.get()});
    std::vector<QByteArray> paths;
    for (const auto& [path, folder] : found)
        paths.push_back(path);
    return paths;
}

void Tree::change(int changes)
{
    const std::vector<QByteArray> paths = folderPaths();
    for (int c = 0; c < changes; ++c) {
        const std::shared_ptr<Folder> changed = at(paths[size_t(random_.below(int(paths.size())))]);
        if (!changed)
            continue; // moved or gone with an earlier change
        Folder& folder = *changed;
        const int what = random_.below(6);
        if (what == 0 || folder.entries.empty()) {
            folder.entries.insert(folder.entries.begin() + random_.below(int(folder.entries.size()) + 1),
                                  entry(3, serial_++));
            continue;
        }
        Entry& e = folder.entries[size_t(random_.below(int(folder.entries.size())))];
        const auto sub =
            std::find_if(folder.entries.begin(), folder.entries.end(), [](const Entry& s) { return s.folder; });
        if (what == 1)
            folder.entries.erase(folder.entries.begin() + (&e - folder.entries.data()));
        else if (what == 2)
            e.name += "~" + QByteArray::number(serial_++); // renamed: a folder keeps its identity
        else if (what == 3 && sub != folder.entries.end())
            sub->folder = random_.chance(50) ? grow(3) : recreated(*sub->folder); // another folder in its place
        else if (what == 4)
            folder.unreadable = !folder.unreadable;
        else
            e.length = e.length.value_or(0) + 1;
    }
}

void Model::listed(const QByteArray& path, const Folder& listing)
{
    const auto old = folders.find(path);
    if (old != folders.end()) {
        if (old->second.identity != listing.identity) {
            dropBelow(path, false);
        } else {
            for (const Entry& e : old->second.entries) {
                const bool stays = std::any_of(listing.entries.begin(), listing.entries.end(), [&](const Entry& n) {
                    return n.name == e.name && n.traits.queued;
                });
                if (e.traits.queued && !stays)
                    dropBelow(path + '/' + e.name, true);
            }
        }
    }
    folders[path] = listing;
}

void Model::dropBelow(const QByteArray& path, bool alsoItself)
{
    const auto inside = [&](const QByteArray& p) { return alsoItself ? atOrBelow(p, path) : p.startsWith(path + '/'); };
    for (auto it = folders.begin(); it != folders.end();) {
        const bool kept = std::any_of(roots.begin(), roots.end(), [&](const QByteArray& root) {
            return inside(root) && atOrBelow(it->first, root);
        });
        it = inside(it->first) && !kept ? folders.erase(it) : std::next(it);
    }
}

QStringList Model::answer(const QByteArray& path, const QByteArray& shownAs, search::EntryFilter filter) const
{
    QStringList rows;
    std::deque<std::pair<QByteArray, QByteArray>> queue{{canonical(path), shownAs}};
    while (!queue.empty()) {
        const auto [at, shown] = queue.front();
        queue.pop_front();
        for (const Entry& e : folders.at(at).entries) {
            if (filter.accepts(e.name, e.traits.queued, e.traits.attributes()))
                rows << QString::fromLatin1(shown + '|' + e.name);
            if (e.traits.queued && !e.passed && folders.count(at + '/' + e.name))
                queue.emplace_back(at + '/' + e.name, platform::joinPath(shown, e.name));
        }
    }
    return rows;
}

void walk(search::WalkMemory& memory, Model& model, const Tree& tree, const QByteArray& rootPath, Random& random,
          int stopAfter)
{
    const std::shared_ptr<Folder> top = tree.at(rootPath);
    if (!top)
        return;
    const uint64_t location = memory.beginLocation(rootPath, false);
    model.roots.insert(canonical(rootPath));
    struct Queued {
        search::MemoryFolder parent;
        uint32_t entry;
        QByteArray path;
        const Folder* folder;
    };
    std::deque<Queued> queue{{{}, 0, canonical(rootPath), top.get()}};
    bool stopped = false;
    for (int handled = 0; !queue.empty() && !stopped;) {
        const Queued q = queue.front();
        queue.pop_front();
        const bool isRoot = !q.parent.valid();
        if (!isRoot && random.chance(5)) {
            memory.passOver(q.parent, q.entry);
            model.passOver(platform::containingFolder(q.path), q.entry);
            continue;
        }
        Folder listing;
        listing.identity = q.folder ? q.folder->identity : platform::EntryIdentity{};
        const search::MemoryFolder folder = isRoot ? memory.beginRoot(location, listing.identity)
                                                   : memory.beginFolder(q.parent, q.entry, listing.identity);
        search::FolderState state = search::FolderState::Listed;
        if (!q.folder) {
            state = search::FolderState::Gone;
        } else {
            const size_t readable = q.folder->unreadable ? size_t(random.below(3)) : q.folder->entries.size();
            if (readable < q.folder->entries.size())
                state = search::FolderState::Unreadable;
            for (size_t i = 0; i < std::min(readable, q.folder->entries.size()); ++i, ++handled) {
                if (handled == stopAfter) {
                    stopped = true;
                    state = search::FolderState::Stopped;
                    break;
                }
                const Entry& e = q.folder->entries[i];
                const uint32_t index = memory.addEntry(e.name, e.traits, e.length, e.modified);
                Entry& kept = listing.entries.emplace_back(e);
                kept.folder = nullptr;
                if (e.traits.queued)
                    queue.push_back({folder, index, q.path + '/' + e.name, e.folder.get()});
            }
        }
        memory.endFolder(state);
        listing.gone = state == search::FolderState::Gone;
        model.listed(q.path, listing);
    }
    memory.endLocation(location, !stopped);
}

QStringList answerRows(const search::WalkMemory& memory, const search::RememberedFolder& found,
                       const QByteArray& shownAs, const search::MatchCriteria& request, search::AnswerPolicy policy,
                       size_t slice)
{
    // Each answer takes the folders of the one before where the memory still has them, as the
    // answers to the keys typed one after another do.
    static std::shared_ptr<search::AnswerFolders> earlier;
    search::MemoryAnswer answer(memory, found.folder, shownAs, request, policy, earlier);
    earlier = answer.sharedFolders();
    std::vector<search::MemoryHit> hits;
    QStringList rows;
    for (bool more = true; more;) {
        const size_t before = hits.size();
        more = answer.next(hits, slice);
        for (size_t i = before; i < hits.size(); ++i) {
            const std::optional<search::RememberedEntry> e = answer.entry(hits[i]);
            if (!e)
                continue;
            rows << QString::fromLatin1(e->folder + '|' + e->name.toByteArray());
            // The live walk finds the folder of the rows it confirms by its path or its identity.
            if (answer.folderAt(e->folder) != hits[i].folder || answer.folderWith(e->listedIn) != hits[i].folder)
                rows << QStringLiteral("(its folder not found by path or identity)");
        }
    }
    return rows;
}

search::MatchCriteria randomRequest(Random& random)
{
    static const char* const patterns[] = {"", "", "a", "B", "ab", "x", "报", "_1", "*_1*", "a?*", "S", "is", "SAB",
                                           "[ab]b_#", "*[]b*", "x.t?t"};
    search::MatchCriteria request;
    request.NamePattern = QString::fromUtf8(patterns[random.below(int(std::size(patterns)))]);
    if (random.chance(20))
        request.ExtPattern = random.chance(50) ? QStringLiteral("txt") : QStringLiteral("TXT");
    request.category = search::categoryAt(random.chance(50) ? 0 : random.below(10));
    request.wholeWord = random.chance(15);
    request.caseSensitive = random.chance(30);
    request.includeHidden = random.chance(50);
    request.pinyin = random.chance(20);
    return request;
}

} // namespace memorymodel
