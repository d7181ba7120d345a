#pragma once
// An in-memory file tree that stands in for the disk: a search runs against it exactly as against
// the real one, and a test changes it between or during yields.
#include "platform/files/file_attributes.h"
#include "platform/files/file_name_text.h"
#include "platform/files/file_system.h"
#include "tests/support/qt_printers.h"

#include <QStringList>

#include <cerrno>
#include <functional>
#include <map>
#include <set>
#include <vector>

namespace fakes {

// Folders and files keyed by full path ("/" the root); listings yield "." and ".." first, then
// the children in the order they were added. Every entry has an inode of its own that a rename
// keeps, so an open folder stays the folder it was, as on a disk.
class FakeFileSystem : public platform::FileSystem {
public:
    struct Node {
        bool folder = false;
        int64_t size = 0;
        int64_t modified = 0; // seconds since the epoch
        bool unreadable = false; // attribute and length queries fail, and it cannot be opened
        bool locked = false;     // a folder that can be seen but not opened, as without permission
        uint32_t extraBits = 0;  // e.g. System
        uint64_t volume = 1;
        bool linkToFolder = false; // a link to the folder at linkTarget
        QByteArray linkTarget;
        uint64_t inode = 0;
        std::vector<QByteArray> children;
    };

    FakeFileSystem()
    {
        nodes_["/"].folder = true;
        nodes_["/"].inode = ++lastInode_;
        paths_[lastInode_] = "/";
    }

    // A path ending in "/" is a folder; missing parents are made as folders of the parent's volume.
    Node& add(QByteArray path, int64_t size = 0)
    {
        const bool folder = path.endsWith('/') && path.size() > 1;
        path = key(path);
        if (auto found = nodes_.find(path); found != nodes_.end())
            return found->second;
        const qsizetype slash = path.lastIndexOf('/');
        const QByteArray parent = slash == 0 ? QByteArray("/") : path.left(slash);
        if (!nodes_.count(parent))
            add(parent + '/');
        Node& p = nodes_[parent];
        p.children.push_back(path.mid(slash + 1));
        Node& n = nodes_[path];
        n.folder = folder;
        n.size = size;
        n.volume = p.volume;
        n.inode = ++lastInode_;
        paths_[n.inode] = path;
        return n;
    }

    // A link at path to the folder at target.
    void addLink(const QByteArray& path, const QByteArray& target)
    {
        Node& link = add(path);
        link.linkToFolder = true;
        link.linkTarget = target;
    }

    platform::OpenedFolder openFolder(const QByteArray& path, bool followLink) override
    {
        const QByteArray k = path.isEmpty() ? QByteArray("/") : key(path);
        listed.push_back(k);
        QByteArray resolved = resolve(k);
        const Node* n = find(resolved);
        if (n && n->linkToFolder && followLink)
            n = find(resolved = resolve(n->linkTarget));
        return opened(n);
    }

    platform::OpenedFolder openBelow(const platform::OpenFolder& from, QByteArrayView names) override
    {
        auto base = paths_.find(static_cast<const Open&>(from).inode);
        if (base == paths_.end())
            return {nullptr, ENOENT};
        QByteArray path = base->second;
        const Node* n = nullptr;
        for (const QByteArray& name : QByteArray(names.data(), names.size()).split('/')) {
            path = platform::joinPath(path == "/" ? QByteArray() : path, name);
            n = find(path);
            if (n && n->linkToFolder)
                return {nullptr, ELOOP};
            if (!n || !n->folder)
                break;
        }
        listed.push_back(path);
        return opened(n);
    }

    bool isVirtualVolume(uint64_t volume) override { return virtualVolumes.count(volume) > 0; }

    QByteArray firstMatch(const QByteArray& pattern) override
    {
        if (pattern.isEmpty())
            return ".";
        if (pattern.endsWith('/')) {
            const Node* n = find(pattern);
            return n && n->folder ? QByteArray(".") : QByteArray();
        }
        const qsizetype slash = pattern.lastIndexOf('/');
        const QByteArray last = pattern.mid(slash + 1);
        if (!last.contains('*') && !last.contains('?'))
            return find(pattern) ? last : QByteArray();
        const Node* parent = find(slash <= 0 ? QByteArray("/") : pattern.left(slash));
        if (parent)
            for (const QByteArray& child : parent->children)
                if (glob(child, last))
                    return child;
        return {};
    }

    bool isLinkToFolder(const QByteArray& path) override
    {
        const Node* n = find(path);
        return n && n->linkToFolder;
    }

    std::optional<uint32_t> attributes(const QByteArray& path) override
    {
        const Node* n = find(path);
        if (!n || n->unreadable)
            return std::nullopt;
        const QByteArray k = key(path);
        const bool hidden = k.mid(k.lastIndexOf('/') + 1).startsWith('.');
        return (n->folder ? uint32_t(platform::Directory) : 0u) | (hidden ? uint32_t(platform::Hidden) : 0u)
            | n->extraBits;
    }

    std::optional<int64_t> fileLength(const QByteArray& path)
    {
        const Node* n = find(path);
        if (!n || n->unreadable)
            return std::nullopt;
        return n->size;
    }

    // Removes an entry and everything below it.
    void remove(const QByteArray& path)
    {
        std::erase_if(nodes_, [&](const auto& n) {
            const bool gone = n.first == path || n.first.startsWith(path + '/');
            if (gone)
                paths_.erase(n.second.inode);
            return gone;
        });
        const qsizetype slash = path.lastIndexOf('/');
        std::erase(nodes_[slash == 0 ? QByteArray("/") : path.left(slash)].children, path.mid(slash + 1));
    }

    // Moves an entry and everything below it, keeping its place in its folder's order.
    void rename(const QByteArray& from, const QByteArray& to)
    {
        std::map<QByteArray, Node> moved;
        for (auto it = nodes_.begin(); it != nodes_.end();) {
            if (it->first == from || it->first.startsWith(from + '/')) {
                const QByteArray now = to + it->first.mid(from.size());
                paths_[it->second.inode] = now;
                moved[now] = std::move(it->second);
                it = nodes_.erase(it);
            } else {
                ++it;
            }
        }
        nodes_.merge(moved);
        const qsizetype slash = from.lastIndexOf('/');
        Node& parent = nodes_[slash == 0 ? QByteArray("/") : from.left(slash)];
        for (QByteArray& child : parent.children)
            if (child == from.mid(slash + 1))
                child = to.mid(to.lastIndexOf('/') + 1);
    }

    const Node* find(const QByteArray& path) const
    {
        auto found = nodes_.find(key(path));
        return found == nodes_.end() ? nullptr : &found->second;
    }
    QByteArray pathOf(uint64_t inode) const
    {
        auto found = paths_.find(inode);
        return found == paths_.end() ? QByteArray() : found->second;
    }

    std::vector<QByteArray> listed; // every folder asked for, in order
    std::set<uint64_t> virtualVolumes;

    struct Open : platform::OpenFolder, std::enable_shared_from_this<Open> {
        Open(FakeFileSystem& fs, uint64_t inode, uint64_t volume) : fs(fs), inode(inode), volume(volume) {}
        std::optional<platform::FolderStatus> status() override
        {
            return platform::FolderStatus{{volume, inode}, false};
        }
        std::unique_ptr<platform::FolderListing> list(const std::atomic<bool>*) override
        {
            return std::make_unique<Listing>(fs, fs.pathOf(inode));
        }
        FakeFileSystem& fs;
        uint64_t inode;
        uint64_t volume;
    };

    class Listing : public platform::FolderListing {
    public:
        Listing(FakeFileSystem& fs, QByteArray folder) : fs_(fs), folder_(std::move(folder))
        {
            names_ = {".", ".."};
            if (const Node* n = fs_.find(folder_))
                names_.insert(names_.end(), n->children.begin(), n->children.end());
        }
        bool next() override { return ++at_ < names_.size(); }
        QByteArrayView name() const override { return names_[at_]; }
        std::optional<uint32_t> attributes() override
        {
            return isDot() ? std::optional<uint32_t>(platform::Directory) : fs_.attributes(path());
        }
        std::optional<int64_t> length() override { return fs_.fileLength(path()); }
        std::optional<int64_t> modified() override
        {
            const Node* n = fs_.find(path());
            return n && !n->unreadable ? std::optional<int64_t>(n->modified) : std::nullopt;
        }
        std::optional<platform::EntryIdentity> identity() override
        {
            const Node* n = fs_.find(path());
            if (!n || n->unreadable)
                return std::nullopt;
            return platform::EntryIdentity{n->volume, n->inode};
        }

    private:
        bool isDot() const { return names_[at_] == "." || names_[at_] == ".."; }
        QByteArray path() const { return platform::joinPath(folder_ == "/" ? QByteArray() : folder_, names_[at_]); }
        FakeFileSystem& fs_;
        QByteArray folder_;
        std::vector<QByteArray> names_;
        size_t at_ = size_t(-1);
    };

private:
    platform::OpenedFolder opened(const Node* n)
    {
        if (!n)
            return {nullptr, ENOENT};
        if (n->linkToFolder)
            return {nullptr, ELOOP};
        if (!n->folder)
            return {nullptr, ENOTDIR};
        if (n->unreadable || n->locked)
            return {nullptr, EACCES};
        return {std::make_shared<Open>(*this, n->inode, n->volume), 0};
    }

    // A full path as the system reads one: every link among its folders leads where it leads.
    QByteArray resolve(const QByteArray& path) const
    {
        QByteArray at;
        const QList<QByteArray> parts = path.split('/');
        for (qsizetype i = 0; i < parts.size(); ++i) {
            if (parts[i].isEmpty())
                continue;
            at += '/' + parts[i];
            const Node* n = find(at);
            if (n && n->linkToFolder && i + 1 < parts.size())
                at = resolve(n->linkTarget);
        }
        return at.isEmpty() ? QByteArray("/") : at;
    }

    static QByteArray key(QByteArray path)
    {
        while (path.size() > 1 && path.endsWith('/'))
            path.chop(1);
        return path.isEmpty() ? QByteArray("/") : path;
    }
    static bool glob(QByteArrayView name, QByteArrayView pattern)
    {
        if (pattern.isEmpty())
            return name.isEmpty();
        if (pattern[0] == '*')
            return glob(name, pattern.sliced(1)) || (!name.isEmpty() && glob(name.sliced(1), pattern));
        return !name.isEmpty() && (pattern[0] == '?' || pattern[0] == name[0])
            && glob(name.sliced(1), pattern.sliced(1));
    }

    std::map<QByteArray, Node> nodes_;
    std::map<uint64_t, QByteArray> paths_;
    uint64_t lastInode_ = 0;
};

} // namespace fakes
